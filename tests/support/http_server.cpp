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

socklen_t loopbackAddress(Loopback loopback, uint16_t port, sockaddr_storage& address)
{
    address = {};
    if (loopback == Loopback::V6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_loopback;
        v6->sin6_port = htons(port);
        return sizeof(sockaddr_in6);
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    v4->sin_port = htons(port);
    return sizeof(sockaddr_in);
}

// A socket bound to the loopback address (listening unless backlog < 0); port 0 takes a free one.
int loopbackSocket(uint16_t& port, int backlog, Loopback loopback = Loopback::V4)
{
    int fd = ::socket(loopback == Loopback::V6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    int on = 1;
    if (loopback == Loopback::V6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
    sockaddr_storage address;
    socklen_t length = loopbackAddress(loopback, port, address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || (backlog >= 0 && ::listen(fd, backlog) != 0)
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error(loopback == Loopback::V6 ? "cannot listen on ::1" : "cannot listen on 127.0.0.1");
    }
    port = ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port); // the same place in both families
    return fd;
}

bool headEnded(std::string_view bytes)
{
    return bytes.find("\r\n\r\n") != std::string_view::npos || bytes.find("\n\n") != std::string_view::npos;
}

} // namespace

bool ipv6LoopbackAvailable()
{
    try {
        uint16_t port = 0;
        ::close(loopbackSocket(port, 1, Loopback::V6));
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

HttpServer::HttpServer()
    : HttpServer(std::vector<Reply> {})
{
}

HttpServer::HttpServer(std::vector<Reply> script, Loopback loopback)
    : m_loopback(loopback)
    , m_script(std::move(script))
{
    m_listener = loopbackSocket(m_port, 64, loopback);
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
    return (m_loopback == Loopback::V6 ? "[::1]:" : "127.0.0.1:") + std::to_string(m_port);
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

SilentListener::SilentListener(Loopback loopback, uint16_t port)
    : m_port(port)
{
    m_listener = loopbackSocket(m_port, 0, loopback);
    sockaddr_storage address;
    socklen_t length = loopbackAddress(loopback, m_port, address);
    // Connect until one connect no longer completes: from then on the accept queue is full and the kernel drops
    // every further connection request silently.
    for (int i = 0; i < 16; ++i) {
        int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        m_fillers.push_back(fd);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0)
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
