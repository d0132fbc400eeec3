#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace test {

// What the server does on one accepted connection.
struct Reply
{
    enum class End : uint8_t {
        Close, // close after the last piece (the usual end of an HTTP/1.0 answer)
        Stall, // keep the connection open and silent until the client closes or the server stops
        Ignore, // like Stall, but read nothing more either, so the client's sending comes to a halt
        Reset, // close with a reset instead of an orderly close
    };

    std::vector<std::string> pieces; // each piece is written on its own, in order
    End end = End::Close;
    bool readRequest = true; // wait for the blank line that ends the request head before answering
    int pauseMs = 0; // gap between pieces, so the client really receives them apart

    // The usual case: the whole answer at once, then close.
    static Reply bytes(std::string answer) { return Reply { { std::move(answer) } }; }
    static Reply inPieces(std::vector<std::string> pieces, int pauseMs = 5)
    {
        return Reply { std::move(pieces), End::Close, true, pauseMs };
    }
    // Sends what is given (possibly nothing), then holds the connection open without a sound.
    static Reply stall(std::string first = {}) { return Reply { { std::move(first) }, End::Stall }; }
    static Reply ending(End end, std::string first = {}, bool readRequest = true)
    {
        return Reply { { std::move(first) }, end, readRequest };
    }
};

// Which loopback address a server listens on.
enum class Loopback : uint8_t { V4, V6 };

// Whether the machine can listen on ::1; IPv6 tests skip themselves without it.
bool ipv6LoopbackAvailable();

// A real TCP server on 127.0.0.1 (or ::1) on a free port, on its own thread. Connections are served one after another,
// each with the next scripted Reply; a connection beyond the script is closed without an answer. Every byte
// that a connection sent is recorded as it came.
class HttpServer
{
public:
    HttpServer();
    explicit HttpServer(std::vector<Reply> script, Loopback loopback = Loopback::V4);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    uint16_t port() const { return m_port; }
    // "http://127.0.0.1:<port>" (or "http://[::1]:<port>") followed by the path.
    std::string url(std::string_view path = "/") const;
    // "127.0.0.1:<port>" (or "[::1]:<port>"), for URLs written without a scheme.
    std::string hostPort() const;

    void add(Reply reply);
    void add(std::string answer) { add(Reply::bytes(std::move(answer))); }

    // The bytes received on each accepted connection so far, in the order of the connections.
    std::vector<std::string> requests() const;
    std::string request(size_t index) const;
    size_t connectionCount() const;

private:
    void run();
    void serve(int fd, const Reply& reply, size_t index);
    bool readUntil(int fd, size_t index, bool toHeadEnd);
    void appendReceived(size_t index, std::string_view bytes);

    int m_listener = -1;
    int m_wake[2] = { -1, -1 };
    uint16_t m_port = 0;
    Loopback m_loopback;
    mutable std::mutex m_mutex;
    std::vector<Reply> m_script;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// A listener on 127.0.0.1 (or ::1) whose accept queue is full and never served: a connect to it neither completes
// nor is refused, so it waits until the client's time-out. Port 0 takes a free port.
class SilentListener
{
public:
    explicit SilentListener(Loopback loopback = Loopback::V4, uint16_t port = 0);
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    uint16_t port() const { return m_port; }

private:
    int m_listener = -1;
    std::vector<int> m_fillers;
    uint16_t m_port = 0;
};

// A port on 127.0.0.1 with nothing listening on it, so a connect there is refused.
uint16_t closedPort();

} // namespace test
