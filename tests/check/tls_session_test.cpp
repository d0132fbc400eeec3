#include "check/tls_session.h"

#include "support/temp_dir.h"
#include "support/tls_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A non-blocking socket connected to 127.0.0.1:port.
class Connection
{
public:
    explicit Connection(std::uint16_t port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ADD_FAILURE() << "connect";
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    }
    ~Connection() { ::close(m_fd); }
    int fd() const { return m_fd; }

    // Waits for what the session asked for; false when nothing came in a long time.
    bool await(TTlsSession::Need need) const
    {
        pollfd fd { m_fd, static_cast<short>(need == TTlsSession::Need::Write ? POLLOUT : POLLIN), 0 };
        return ::poll(&fd, 1, 10000) > 0;
    }

private:
    int m_fd = -1;
};

void shake(TTlsSession& session, const Connection& connection)
{
    for (TTlsSession::Need need; (need = session.handshake()) != TTlsSession::Need::Nothing;)
        ASSERT_TRUE(connection.await(need)) << "handshake stalled";
}

std::string exchange(TTlsSession& session, const Connection& connection, const std::string& request)
{
    TTlsSession::Need need;
    std::size_t sent = 0;
    while (sent < request.size()) {
        long n = session.send(request.data() + sent, request.size() - sent, need);
        if (n > 0)
            sent += static_cast<std::size_t>(n);
        else if (!connection.await(need))
            return "send stalled";
    }
    std::string answer;
    char buffer[100]; // small, so that bytes are left pending inside the session
    for (;;) {
        long n = session.receive(buffer, sizeof buffer, need);
        if (n == 0)
            return answer;
        if (n > 0)
            answer.append(buffer, static_cast<std::size_t>(n));
        else if (session.pending() == 0 && !connection.await(need))
            return answer + "[stalled]";
    }
}

// Runs a handshake that must fail, and gives the failure's text.
std::string handshakeFailure(const std::string& host, std::uint16_t port)
{
    Connection connection(port);
    TTlsSession session;
    session.start(connection.fd(), host);
    try {
        shake(session, connection);
    } catch (const ETlsError& error) {
        return error.message();
    }
    return "no failure";
}

class TlsSessionTest : public ::testing::Test
{
protected:
    TlsSessionTest()
        : m_trust((authority.writeTrustFile(m_dir.file("trust.pem")), m_dir.file("trust.pem")))
    {
    }

    test::TlsAuthority authority;

private:
    test::TempDir m_dir;
    test::TrustOnly m_trust;
};

const std::string Page = "HTTP/1.0 200 OK\r\nContent-Length: 300\r\n\r\n" + std::string(300, 'x');

TEST_F(TlsSessionTest, ExchangesBytesWithATrustedServerByNameAndByAddress)
{
    for (std::string host : { "localhost", "127.0.0.1" }) {
        test::TlsServer server(authority.issue(host));
        server.script({ Page });
        Connection connection(server.port());
        TTlsSession session;
        session.start(connection.fd(), host);
        shake(session, connection);
        EXPECT_TRUE(session.established());
        EXPECT_EQ(exchange(session, connection, "GET / HTTP/1.0\r\nHost: " + host + "\r\n\r\n"), Page) << host;
        session.close();
        ASSERT_EQ(server.requests().size(), 1u);
        EXPECT_EQ(server.requests()[0], "GET / HTTP/1.0\r\nHost: " + host + "\r\n\r\n");
    }
}

TEST_F(TlsSessionTest, RefusesPeersThatCannotBeTrusted)
{
    test::TlsServer wrongName(authority.issue("other.example"));
    EXPECT_EQ(handshakeFailure("localhost", wrongName.port()), "Certificate verify failed: hostname mismatch");

    test::TlsServer wrongAddress(authority.issue("127.0.0.2"));
    EXPECT_EQ(handshakeFailure("127.0.0.1", wrongAddress.port()), "Certificate verify failed: IP address mismatch");

    test::TlsAuthority stranger("Someone Else");
    test::TlsServer untrusted(stranger.issue("localhost"));
    EXPECT_EQ(handshakeFailure("localhost", untrusted.port()),
        "Certificate verify failed: unable to get local issuer certificate");

    test::TlsServer expired(authority.issue("localhost", -2));
    EXPECT_EQ(handshakeFailure("localhost", expired.port()), "Certificate verify failed: certificate has expired");
}

TEST_F(TlsSessionTest, RefusesOldProtocolsAndPlainPeers)
{
    test::TlsServer::Options old;
    old.maxVersion = TLS1_1_VERSION;
    test::TlsServer oldServer(authority.issue("localhost"), old);
    std::string failure = handshakeFailure("localhost", oldServer.port());
    EXPECT_EQ(failure.rfind("TLS handshake failed: ", 0), 0u) << failure;

    test::TlsServer::Options plain;
    plain.plainAnswer = true;
    test::TlsServer plainServer(authority.issue("localhost"), plain);
    plainServer.script({ "HTTP/1.0 200 OK\r\n\r\nplain text" });
    EXPECT_EQ(handshakeFailure("localhost", plainServer.port()), "TLS handshake failed: wrong version number");
}

TEST_F(TlsSessionTest, APeerThatClosesDuringTheHandshakeFailsIt)
{
    // A listener that reads the hello and closes: the plain answer is empty.
    test::TlsServer::Options plain;
    plain.plainAnswer = true;
    test::TlsServer server(authority.issue("localhost"), plain);
    server.script({ "" });
    std::string failure = handshakeFailure("localhost", server.port());
    EXPECT_EQ(failure.rfind("TLS handshake failed: ", 0), 0u) << failure;
}

TEST(TlsSession, RefusesUseBeforeTheHandshake)
{
    TTlsSession unstarted;
    EXPECT_THROW(unstarted.handshake(), ETlsError);
    TTlsSession::Need need;
    char byte = 0;
    EXPECT_THROW(unstarted.send(&byte, 1, need), ETlsError);
    EXPECT_THROW(unstarted.receive(&byte, 1, need), ETlsError);
    EXPECT_EQ(unstarted.pending(), 0u);
    unstarted.close();
}

} // namespace
