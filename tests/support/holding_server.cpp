#include "support/holding_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

namespace test {

using Clock = std::chrono::steady_clock;

const std::string HoldingServer::DefaultAnswer
    = "HTTP/1.0 200 OK\r\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT\r\nContent-Length: 0\r\n\r\n";

void ConnectionGauge::opened()
{
    const size_t now = ++m_open;
    size_t most = m_most;
    while (now > most && !m_most.compare_exchange_weak(most, now)) { }
}

void ConnectionGauge::closed()
{
    --m_open;
}

struct HoldingServer::Connection
{
    int fd = -1;
    std::string received;
    std::optional<Clock::time_point> due; // set once the head is complete
    std::string answer;
    bool counted = true;
};

HoldingServer::HoldingServer(
    std::chrono::milliseconds hold, std::map<std::string, std::string> answers, ConnectionGauge* shared)
    : m_hold(hold)
    , m_answers(std::move(answers))
    , m_shared(shared)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::listen(m_listener, 128) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        if (m_listener >= 0)
            ::close(m_listener);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

HoldingServer::~HoldingServer()
{
    const char stop = 0;
    [[maybe_unused]] const ssize_t put = ::write(m_wake[1], &stop, 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

std::string HoldingServer::url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

std::vector<std::string> HoldingServer::paths() const
{
    std::lock_guard lock(m_mutex);
    return m_paths;
}

void HoldingServer::run()
{
    std::vector<Connection> connections;
    // A connection stops counting before its answer goes out: the client may start its next check as soon as the
    // answer arrives, and that check must never find this one still counted.
    auto uncount = [&](Connection& c) {
        if (!c.counted)
            return;
        c.counted = false;
        m_gauge.closed();
        if (m_shared)
            m_shared->closed();
    };
    auto closeConnection = [&](Connection& c) {
        uncount(c);
        ::close(c.fd);
        c.fd = -1;
    };
    for (;;) {
        std::vector<pollfd> fds { { m_wake[0], POLLIN, 0 }, { m_listener, POLLIN, 0 } };
        int timeout = -1;
        const auto now = Clock::now();
        for (const Connection& c : connections) {
            fds.push_back({ c.fd, static_cast<short>(c.due ? 0 : POLLIN), 0 });
            if (c.due) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(*c.due - now).count();
                timeout = std::max<int>(0, timeout < 0 ? static_cast<int>(left) : std::min<int>(timeout, left));
            }
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            for (int fd; (fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                connections.push_back(Connection { fd, {}, {}, {}, true });
                m_gauge.opened();
                if (m_shared)
                    m_shared->opened();
            }
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            Connection& c = connections[i - 2];
            if (!c.due && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[4096];
                const ssize_t got = ::read(c.fd, buffer, sizeof buffer);
                if (got <= 0) {
                    closeConnection(c);
                    continue;
                }
                c.received.append(buffer, static_cast<size_t>(got));
                if (c.received.find("\r\n\r\n") != std::string::npos) {
                    const size_t start = c.received.find(' ') + 1;
                    const std::string path = c.received.substr(start, c.received.find(' ', start) - start);
                    auto found = m_answers.find(path);
                    c.answer = found != m_answers.end() ? found->second : DefaultAnswer;
                    c.due = Clock::now() + m_hold;
                    std::lock_guard lock(m_mutex);
                    m_paths.push_back(path);
                }
            }
        }
        const auto later = Clock::now();
        for (Connection& c : connections) {
            if (c.fd >= 0 && c.due && *c.due <= later) {
                uncount(c);
                // Small answers: the socket's buffer takes them whole.
                [[maybe_unused]] const ssize_t put = ::send(c.fd, c.answer.data(), c.answer.size(), MSG_NOSIGNAL);
                closeConnection(c);
            }
        }
        std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });
    }
    for (Connection& c : connections)
        closeConnection(c);
}

} // namespace test
