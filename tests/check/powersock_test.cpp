#include "check/powersock.h"

#include "support/http_server.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using test::HttpServer;
using test::Reply;

// The message of the exception that the call raises, or "" when it raises none.
template <typename Exception = TException, typename F>
std::string failureOf(F&& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.message();
    }
    return {};
}

struct Client : TPowersock
{
    explicit Client(uint16_t port, std::string host = "127.0.0.1")
    {
        Host = std::move(host);
        Port = port;
        TimeOut = 10000;
        Pump = [this] {
            ++pumps;
            if (onPump)
                onPump();
        };
    }
    int pumps = 0;
    std::function<void()> onPump;
};

} // namespace

TEST(Powersock, ErrorMessagesComeFromTheTable)
{
    EXPECT_EQ(socketErrorMessage(10061), "10061:Connection refused");
    EXPECT_EQ(socketErrorMessage(10004), "10004:Interrupted system call");
    EXPECT_EQ(socketErrorMessage(11004), "11004:Valid name, no data record of requested type");
    EXPECT_EQ(socketErrorMessage(0), "0:Unrecognized error code");
    EXPECT_EQ(socketErrorMessage(10072), "Unknown Error No. 10072");
    EXPECT_EQ(socketErrorMessage(-3), "Unknown Error No. -3");

    struct Case
    {
        int errnoValue;
        int code;
    };
    for (Case c : { Case { ECONNREFUSED, 10061 }, { ETIMEDOUT, 10060 }, { ECONNRESET, 10054 }, { EHOSTUNREACH, 10065 },
             { ENETUNREACH, 10051 }, { EWOULDBLOCK, 10035 }, { EINPROGRESS, 10036 }, { EPIPE, 10058 },
             { EMFILE, 10024 }, { EADDRINUSE, 10048 }, { 0, 0 } })
        EXPECT_EQ(socketErrorCode(c.errnoValue), c.code) << c.errnoValue;
    EXPECT_EQ(lookupErrorCode(EAI_NONAME), 11001);
    EXPECT_EQ(lookupErrorCode(EAI_AGAIN), 11002);
    EXPECT_EQ(lookupErrorCode(EAI_FAIL), 11003);
    EXPECT_EQ(lookupErrorCode(EAI_NODATA), 11004);
}

TEST(Powersock, SendsAndReadsLinesThenTheRestToTheClose)
{
    HttpServer server({ Reply::inPieces({ "line one\r\nline ", "two\n", "rest of", " the body" }) });
    Client client(server.port());
    std::vector<std::string> events;
    client.OnConnect = [&](TPowersock&) { events.push_back("connect"); };
    client.OnDisconnect = [&](TPowersock&) { events.push_back("disconnect"); };
    client.OnHostResolved = [&](TPowersock&) { events.push_back("resolved"); };
    int received = 0;
    client.OnPacketRecvd = [&](TPowersock&) { ++received; };

    client.Connect();
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.RemoteAddress(), htonl(INADDR_LOOPBACK));
    client.Send("hello\r\n\r\n");
    EXPECT_EQ(client.ReadLn(), "line one\r\n");
    EXPECT_EQ(client.ReadLn(), "line two\n");
    std::string body = "kept:";
    client.Capture(body);
    EXPECT_EQ(body, "kept:rest of the body");
    EXPECT_TRUE(client.PeerClosed());
    EXPECT_FALSE(client.Connected());
    EXPECT_GE(received, 1);
    client.Disconnect();

    EXPECT_EQ(server.request(0), "hello\r\n\r\n");
    EXPECT_EQ(events, (std::vector<std::string> { "connect", "disconnect" })); // a dotted address needs no lookup
    EXPECT_GT(client.pumps, 0);
}

TEST(Powersock, ReadLnAfterThePeerClosedGivesWhatIsLeft)
{
    HttpServer server({ Reply::bytes("one\nno line end"), Reply::bytes("") });
    Client client(server.port());
    client.Connect();
    client.Send("x\n\n");
    EXPECT_EQ(client.ReadLn(), "one\n");
    EXPECT_EQ(client.ReadLn(), "no line end");
    EXPECT_EQ(client.ReadLn(), "");
    client.Disconnect();

    client.Connect();
    client.Send("y\n\n");
    std::string body;
    client.Capture(body);
    EXPECT_EQ(body, "");
    client.Disconnect();
    EXPECT_EQ(server.requests(), (std::vector<std::string> { "x\n\n", "y\n\n" }));
}

TEST(Powersock, BoundsOnLinesAndCapturedData)
{
    HttpServer server({ Reply::bytes(std::string(100, 'a') + "\n"), Reply::bytes(std::string(100, 'b')),
        Reply::bytes(std::string(40000, 'c')) });
    Client client(server.port());
    client.Connect();
    client.Send("\n\n");
    EXPECT_EQ(failureOf<TLimitError>([&] { client.ReadLn(50); }), "Line too long");
    client.Disconnect();

    client.Connect();
    client.Send("\n\n");
    EXPECT_EQ(failureOf<TLimitError>([&] { client.ReadLn(50); }), "Line too long");
    client.Disconnect();

    client.Connect();
    client.Send("\n\n");
    std::string body = "old";
    EXPECT_EQ(failureOf<TLimitError>([&] { client.Capture(body, 30000); }), "Received data too large");
    EXPECT_EQ(body, "");
    client.Disconnect();
}

TEST(Powersock, RefusedConnectFailsAndTheNextConnectStartsClean)
{
    Client client(test::closedPort());
    int failed = 0;
    client.OnConnectionFailed = [&](TPowersock&) { ++failed; };
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Connect(); }), "Connection Failed");
    EXPECT_EQ(client.LastError(), 10061);
    EXPECT_EQ(client.SocketErrorMessage(), "10061:Connection refused");
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(client.Connected());

    HttpServer server({ Reply::bytes("fine\n") });
    client.Port = server.port();
    client.Connect();
    client.Send("\n\n");
    EXPECT_EQ(client.ReadLn(), "fine\n");
    client.Disconnect();
}

TEST(Powersock, ConnectToAFullAcceptQueueTimesOut)
{
    test::SilentListener listener;
    Client client(listener.port());
    client.TimeOut = 150;
    int failed = 0;
    client.OnConnectionFailed = [&](TPowersock&) { ++failed; };
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Connect(); }), "Connection Timed out");
    EXPECT_EQ(failed, 1);
    EXPECT_GT(client.pumps, 0);

    // The pending connect was dropped with its socket: a fresh connect elsewhere works.
    HttpServer server({ Reply::bytes("ok\n") });
    client.Port = server.port();
    client.Connect();
    client.Send("\n\n");
    EXPECT_EQ(client.ReadLn(), "ok\n");
}

TEST(Powersock, CancelFromThePumpEndsEachWait)
{
    {
        test::SilentListener listener;
        Client client(listener.port());
        client.onPump = [&] {
            if (client.pumps == 3)
                client.Cancel();
        };
        EXPECT_EQ(failureOf<TSocketError>([&] { client.Connect(); }), "Connection Canceled");
    }
    {
        HttpServer server({ Reply::stall("partial") });
        Client client(server.port());
        client.Connect();
        client.Send("\n\n");
        client.onPump = [&] {
            if (client.pumps == 20)
                client.Cancel();
        };
        EXPECT_EQ(failureOf<TAbortError>([&] { client.ReadLn(); }), "Socket readln aborted");
        client.Disconnect();
    }
    {
        HttpServer server({ Reply::stall("partial") });
        Client client(server.port());
        client.Connect();
        client.Send("\n\n");
        std::string body;
        client.onPump = [&] {
            if (body == "partial") // what the server sent before it went silent has arrived
                client.Cancel();
        };
        EXPECT_EQ(failureOf<TAbortError>([&] { client.Capture(body); }), "Socket capture aborted");
        EXPECT_EQ(body, "partial");
        client.Disconnect();
    }
    {
        // A server that reads nothing: the send buffers fill and the send has to wait.
        HttpServer server({ Reply::ending(Reply::End::Ignore, {}, false) });
        Client client(server.port());
        client.Connect();
        client.onPump = [&] { client.Cancel(); };
        EXPECT_EQ(failureOf<TAbortError>([&] { client.Send(std::string(64 << 20, 'x')); }), "Socket send aborted");
        client.Disconnect();
    }
}

TEST(Powersock, CancelDuringTheLookupEndsIt)
{
    HttpServer server;
    Client client(server.port(), "localhost");
    client.OnStatus = [&](TPowersock& sock, const std::string& status) {
        if (status == "Resolve Host")
            sock.Cancel();
    };
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Connect(); }), "Host Lookup Canceled");
    EXPECT_FALSE(client.Connected());
}

TEST(Powersock, UnknownHostAsksOnceThenFails)
{
    HttpServer server({ Reply::bytes("here\n") });
    Client client(server.port(), std::string("no\0host", 7));
    int asked = 0;
    client.OnInvalidHost = [&](TPowersock&, bool& handled) {
        ++asked;
        handled = false;
    };
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Connect(); }), "Null Remote Address");
    EXPECT_EQ(client.LastError(), 11001);
    EXPECT_EQ(asked, 1);

    // A handler that mends the host gets one more lookup.
    client.OnInvalidHost = [&](TPowersock& sock, bool& handled) {
        ++asked;
        sock.Host = "127.0.0.1";
        handled = true;
    };
    client.Connect();
    client.Send("\n\n");
    EXPECT_EQ(client.ReadLn(), "here\n");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Connect(); }), "Already connected");
}

TEST(Powersock, SilenceAfterTheConnectTimesOutButASlowSenderDoesNot)
{
    HttpServer server({ Reply::stall(), Reply::inPieces({ "a", "b", "c", "d", "e", "f\n" }, 60) });
    Client client(server.port());
    client.TimeOut = 200;
    client.Connect();
    client.Send("\n\n");
    EXPECT_EQ(failureOf<TSocketError>([&] { client.ReadLn(); }), "Receive Timed out");
    client.Disconnect();

    client.Connect();
    client.Send("\n\n");
    EXPECT_EQ(client.ReadLn(), "abcdef\n");
    client.Disconnect();
}

TEST(Powersock, ResetByThePeerIsAFailure)
{
    HttpServer server({ Reply::ending(Reply::End::Reset) });
    Client client(server.port());
    client.Connect();
    client.Send("\n\n");
    std::string body;
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Capture(body); }), "10054:Connection reset by peer");
    EXPECT_EQ(client.LastError(), 10054);
}

TEST(Powersock, StatusTextsFollowTheReportLevel)
{
    HttpServer server({ Reply::bytes("x\n") });
    Client client(server.port());
    std::vector<std::string> texts;
    client.OnStatus = [&](TPowersock&, const std::string& text) { texts.push_back(text); };
    client.ReportLevel = TPowersock::StatusBasic;
    client.Connect();
    client.ReportLevel = TPowersock::StatusRoutines;
    client.Send("\n\n");
    client.ReadLn();
    client.ReportLevel = TPowersock::StatusBasic;
    client.Disconnect();
    EXPECT_EQ(texts, (std::vector<std::string> { "Connecting", "Sending Buffer", "ReadLn", "Disconnecting" }));
}

TEST(Powersock, LookupStillPendingWhenTheTimeOutIsDueTimesOut)
{
    Client client(1, "localhost");
    client.TimeOut = 30;
    // A window busy for longer than the time-out right after the lookup started.
    client.OnStatus = [](TPowersock&, const std::string& status) {
        if (status == "Resolve Host")
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
    };
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Connect(); }), "Host Lookup Timed Out");
}

TEST(Powersock, NoSocketLeftFailsTheMaking)
{
    // UBSan checks the first use of a type through a pipe, so the types meet it while descriptors are free.
    {
        Client first(1);
        try {
            throw TSocketError(std::string());
        } catch (const TSocketError&) {
        }
    }
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::vector<int> used;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        used.push_back(fd);
    std::string failure;
    int code = 0;
    try {
        Client client(1);
    } catch (const TSocketError& e) {
        failure = e.message();
        code = e.code();
    }
    for (int fd : used)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(failure, "Initializaton of windows sockets failed");
    EXPECT_EQ(code, 10024);
}
