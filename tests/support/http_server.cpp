#include "support/http_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace test {

namespace {

int loopbackSocket(uint16_t& port, int backlog)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || (backlog >= 0 && ::listen(fd, backlog) != 0)
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool headEnded(std::string_view bytes)
{
    return bytes.find("\r\n\r\n") != std::string_view::npos || bytes.find("\n\n") != std::string_view::npos;
}

} // namespace

HttpServer::HttpServer()
    : HttpServer(std::vector<Reply> {})
{
}

HttpServer::HttpServer(std::vector<Reply> script)
    : m_script(std::move(script))
{
    m_listener = loopbackSocket(m_port, 64);
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        ::close(m_listener);
        throw std::runtime_error("pipe failed");
    }
    m_thread = std::thread([this] { run(); });
}

HttpServer::~HttpServer()
{
    char stop = 1;
    (void)!::write(m_wake[1], &stop, 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

std::string HttpServer::url(std::string_view path) const
{
    return "http://" + hostPort() + std::string(path);
}

std::string HttpServer::hostPort() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

void HttpServer::add(Reply reply)
{
    std::lock_guard lock(m_mutex);
    m_script.push_back(std::move(reply));
}

std::vector<std::string> HttpServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::string HttpServer::request(size_t index) const
{
    std::lock_guard lock(m_mutex);
    return index < m_requests.size() ? m_requests[index] : std::string();
}

size_t HttpServer::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

void HttpServer::appendReceived(size_t index, std::string_view bytes)
{
    std::lock_guard lock(m_mutex);
    m_requests[index].append(bytes);
}

void HttpServer::run()
{
    for (;;) {
        pollfd fds[2] = { { m_listener, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        Reply reply;
        bool scripted = false;
        size_t index;
        {
            std::lock_guard lock(m_mutex);
            index = m_requests.size();
            m_requests.emplace_back();
            if (index < m_script.size()) {
                reply = m_script[index];
                scripted = true;
            }
        }
        if (scripted)
            serve(fd, reply, index);
        ::close(fd);
    }
}

// Reads what the client sends into the record of the connection; true once the request head is complete
// (when asked for), false when the client closed or the server stops.
bool HttpServer::readUntil(int fd, size_t index, bool toHeadEnd)
{
    char buffer[16384];
    for (;;) {
        if (toHeadEnd && headEnded(request(index)))
            return true;
        pollfd fds[2] = { { fd, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (fds[1].revents)
            return false;
        ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        appendReceived(index, std::string_view(buffer, static_cast<size_t>(n)));
    }
}

void HttpServer::serve(int fd, const Reply& reply, size_t index)
{
    if (reply.readRequest && !readUntil(fd, index, true))
        return;
    bool first = true;
    for (const std::string& piece : reply.pieces) {
        if (!first && reply.pauseMs > 0) {
            pollfd wake { m_wake[0], POLLIN, 0 };
            if (::poll(&wake, 1, reply.pauseMs) > 0)
                return;
        }
        first = false;
        size_t sent = 0;
        while (sent < piece.size()) {
            ssize_t n = ::send(fd, piece.data() + sent, piece.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }
    if (reply.end == Reply::End::Stall) {
        readUntil(fd, index, false);
        return;
    }
    if (reply.end == Reply::End::Ignore) {
        pollfd wake { m_wake[0], POLLIN, 0 };
        while (::poll(&wake, 1, -1) < 0 && errno == EINTR) { }
        return;
    }
    if (reply.end == Reply::End::Reset) {
        linger reset { 1, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
        return;
    }
    // Take what the client still sent, so that the close is an orderly one and not a reset.
    char buffer[4096];
    while (::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT) > 0) { }
    ::shutdown(fd, SHUT_WR);
}

SilentListener::SilentListener()
{
    m_listener = loopbackSocket(m_port, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_port);
    // Connect until one connect no longer completes: from then on the accept queue is full and the kernel drops
    // every further connection request silently.
    for (int i = 0; i < 16; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        m_fillers.push_back(fd);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
            continue;
        pollfd p { fd, POLLOUT, 0 };
        if (::poll(&p, 1, 200) == 0)
            break;
    }
}

SilentListener::~SilentListener()
{
    for (int fd : m_fillers)
        ::close(fd);
    ::close(m_listener);
}

uint16_t closedPort()
{
    uint16_t port = 0;
    int fd = loopbackSocket(port, -1);
    ::close(fd);
    return port;
}

} // namespace test
