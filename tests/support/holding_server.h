#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace test {

// Counts connections open at once, and the most there ever were; one gauge may be shared by several servers.
class ConnectionGauge
{
public:
    void opened();
    void closed();
    size_t most() const { return m_most; }

private:
    std::atomic<size_t> m_open = 0;
    std::atomic<size_t> m_most = 0;
};

// A real TCP server on 127.0.0.1 that serves any number of connections at once, as a far server does: each
// request head is read whole, its answer is held back for a while and then written, and the connection closed.
// The answer is chosen by the request's path (the default one for a path not given).
class HoldingServer
{
public:
    HoldingServer(std::chrono::milliseconds hold, std::map<std::string, std::string> answers = {},
        ConnectionGauge* shared = nullptr);
    ~HoldingServer();
    HoldingServer(const HoldingServer&) = delete;
    HoldingServer& operator=(const HoldingServer&) = delete;

    static const std::string DefaultAnswer; // 200 with Last-Modified and Content-Length: 0

    std::string url(std::string_view path = "/") const;
    // The paths of the requests in the order their heads arrived.
    std::vector<std::string> paths() const;
    // The most connections this server had open at once.
    size_t mostOpen() const { return m_gauge.most(); }

private:
    struct Connection;

    void run();

    std::chrono::milliseconds m_hold;
    std::map<std::string, std::string> m_answers;
    ConnectionGauge m_gauge;
    ConnectionGauge* m_shared;
    int m_listener = -1;
    int m_wake[2] = { -1, -1 };
    uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_paths;
    std::thread m_thread;
};

} // namespace test
