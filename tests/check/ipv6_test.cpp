#include "check/http_client.h"

#include "support/http_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netdb.h>
#include <string>
#include <vector>

namespace {

using test::HttpServer;
using test::Loopback;
using test::Reply;
using Clock = std::chrono::steady_clock;

const std::string OkHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

TAddress address(const char* text)
{
    return *addressLiteral(text);
}

#define SKIP_WITHOUT_IPV6()                                                                                            \
    if (!test::ipv6LoopbackAvailable())                                                                                \
    GTEST_SKIP() << "this machine cannot listen on the IPv6 loopback ::1"

} // namespace

TEST(Ipv6, LiteralsAndTheOrderOfAttempts)
{
    EXPECT_EQ(address("[::1]"), address("::1"));
    EXPECT_EQ(address("::1").family, AF_INET6);
    EXPECT_EQ(address("127.0.0.1").family, AF_INET);
    for (const char* name : { "localhost", "[localhost]", "[127.0.0.1]x", "", "[]" })
        EXPECT_FALSE(addressLiteral(name)) << name;

    const TAddress a4 = address("192.0.2.1"), b4 = address("192.0.2.2"), a6 = address("2001:db8::1"),
                   b6 = address("2001:db8::2");
    EXPECT_EQ(connectOrder({ a4, b4, a6 }), (std::vector<TAddress> { a6, a4, b4 }));
    EXPECT_EQ(connectOrder({ a4, a6, b6, b4 }), (std::vector<TAddress> { a6, a4, b6, b4 }));
    EXPECT_EQ(connectOrder({ b4, a4 }), (std::vector<TAddress> { b4, a4 }));
}

TEST(Ipv6, BracketedLiteralIsConnectedAndNamedSoInTheHostLine)
{
    SKIP_WITHOUT_IPV6();
    HttpServer server({ Reply::bytes(OkHead + "over six") }, Loopback::V6);
    TNMHTTP client;
    client.TimeOut = 10000;
    client.Get("http://[::1]:" + std::to_string(server.port()) + "/p");
    EXPECT_EQ(client.Body, "over six");
    EXPECT_EQ(client.Host, "[::1]");
    EXPECT_EQ(client.ConnectedAddress(), address("::1"));
    EXPECT_EQ(client.RemoteAddress(), 0u);
    EXPECT_EQ(server.request(0),
        "GET /p HTTP/1.0\r\nHost: [::1]\r\n"
        "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
        "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
        "Accept-Encoding: gzip, deflate\r\n"
        "Content-type: application/x-www-form-urlencoded\r\n\r\n");
}

// "localhost" with an IPv6 port that black-holes the connect and an IPv4 one that answers: the IPv4 attempt
// starts after the IPv6 one had its delay, whatever order the resolver gave.
TEST(Ipv6, ANameWithBothFamiliesFallsBackAfterTheAttemptDelay)
{
    SKIP_WITHOUT_IPV6();
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    bool bothFamilies = false;
    if (::getaddrinfo("localhost", nullptr, &hints, &answer) == 0) {
        bool v4 = false, v6 = false;
        for (addrinfo* a = answer; a; a = a->ai_next)
            (a->ai_family == AF_INET6 ? v6 : v4) = true;
        bothFamilies = v4 && v6;
        ::freeaddrinfo(answer);
    }

    struct Case
    {
        const char* name;
        std::vector<TAddress> resolved; // empty: the machine's resolver
    };
    std::vector<Case> cases = { { "IPv4 first", { address("127.0.0.1"), address("::1") } },
        { "IPv6 first", { address("::1"), address("127.0.0.1") } } };
    if (bothFamilies)
        cases.push_back({ "the machine's resolver", {} });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server({ Reply::bytes(OkHead + "four") });
        test::SilentListener blackHole(Loopback::V6, server.port());
        TNMHTTP client;
        client.TimeOut = 5000;
        if (!c.resolved.empty())
            client.Resolve = [resolved = c.resolved](const std::string& host, std::vector<TAddress>& addresses) {
                EXPECT_EQ(host, "localhost");
                addresses = resolved;
                return 0;
            };
        const auto start = Clock::now();
        client.Get("http://localhost:" + std::to_string(server.port()) + "/");
        const auto took = Clock::now() - start;
        EXPECT_EQ(client.Body, "four");
        EXPECT_EQ(client.ConnectedAddress(), address("127.0.0.1"));
        EXPECT_GE(took, TPowersock::AttemptDelay);
        EXPECT_LT(took, std::chrono::milliseconds(client.TimeOut));
    }
}

TEST(Ipv6, TimeOutAndCancelCoverEveryAttempt)
{
    SKIP_WITHOUT_IPV6();
    test::SilentListener blackHole4;
    test::SilentListener blackHole6(Loopback::V6, blackHole4.port());
    struct Case
    {
        const char* name;
        uint32_t timeOut;
        int cancelAtPump; // 0: never
        std::string failure;
    };
    const Case cases[] = {
        { "time-out", 400, 0, "Connection Timed out" },
        { "cancel after both started", 0, 200, "Connection Canceled" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TNMHTTP client;
        client.TimeOut = c.timeOut;
        client.Resolve = [](const std::string&, std::vector<TAddress>& addresses) {
            addresses = { address("::1"), address("127.0.0.1") };
            return 0;
        };
        int pumps = 0, failed = 0;
        client.Pump = [&] {
            if (++pumps == c.cancelAtPump)
                client.Cancel();
        };
        client.OnConnectionFailed = [&](TPowersock&) { ++failed; };
        std::string failure;
        const auto start = Clock::now();
        try {
            client.Get("http://localhost:" + std::to_string(blackHole4.port()) + "/");
        } catch (const TSocketError& e) {
            failure = e.message();
        }
        EXPECT_EQ(failure, c.failure);
        EXPECT_EQ(failed, 1);
        EXPECT_GE(Clock::now() - start, c.timeOut ? std::chrono::milliseconds(c.timeOut) : TPowersock::AttemptDelay);
        EXPECT_FALSE(client.Connected());
    }
}
