#include "check/http_checker.h"
#include "check/http_client.h"

#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/tls_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using test::HttpServer;
using test::Reply;
using test::TlsServer;

const std::string Accepts = "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                            "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
const std::string ContentType = "Content-type: application/x-www-form-urlencoded\r\n";
// A GET offers compression; a HEAD has no body to compress.
const std::string AcceptEncoding = "Accept-Encoding: gzip, deflate\r\n";

std::string acceptsFor(const std::string& requestLine)
{
    return requestLine.starts_with("GET ") ? Accepts + AcceptEncoding : Accepts;
}
const std::string OkHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

std::string request(const std::string& requestLine, const std::string& host, const std::string& extra = {})
{
    return requestLine + "\r\nHost: " + host + "\r\n" + acceptsFor(requestLine) + extra + ContentType + "\r\n";
}

template <typename Exception = TException, typename F>
std::string failureOf(F&& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.message();
    }
    return "no failure";
}

struct Client : TNMHTTP
{
    Client()
    {
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

// Every test trusts one authority made for it, and nothing else.
class HttpsClient : public ::testing::Test
{
protected:
    HttpsClient()
        : m_trust((authority.writeTrustFile(m_dir.file("trust.pem")), m_dir.file("trust.pem")))
    {
    }

    test::TlsAuthority authority;

private:
    test::TempDir m_dir;
    test::TrustOnly m_trust;
};

} // namespace

TEST_F(HttpsClient, HeadAndGetOverTlsAreFormedAsForHttp)
{
    TlsServer server(authority.issue("localhost"));
    server.script({ OkHead + "<html>head</html>", OkHead + "<html>page</html>" });
    Client client;
    client.Head(server.url("/dir/page.html?q=1", "localhost"));
    EXPECT_TRUE(client.Secure());
    EXPECT_EQ(client.StatusCode(), 200);
    EXPECT_EQ(client.Header, OkHead);
    EXPECT_EQ(client.Body, "<html>head</html>"); // HEAD still reads to the close

    // The scheme is matched in any letter case.
    client.Get("HTTPS://localhost:" + std::to_string(server.port()) + "/");
    EXPECT_EQ(client.Body, "<html>page</html>");
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0], request("HEAD /dir/page.html?q=1 HTTP/1.0", "localhost"));
    EXPECT_EQ(server.requests()[1], request("GET / HTTP/1.0", "localhost"));
    EXPECT_FALSE(client.Connected());
}

TEST_F(HttpsClient, HttpsWithoutAPortUses443)
{
    // Holding 127.0.0.1:443 bound without listening makes sure that a connect to it is refused.
    const int held = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(held, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(443);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(held, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(held);
        GTEST_SKIP() << "127.0.0.1:443 cannot be held here: " << std::strerror(error);
    }
    Client client;
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Get("https://127.0.0.1/"); }), "Connection Failed");
    EXPECT_EQ(client.Port, 443u);
    EXPECT_TRUE(client.Secure());
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Get("http://127.0.0.1:1/"); }), "Connection Failed");
    EXPECT_FALSE(client.Secure());
    ::close(held);
}

TEST_F(HttpsClient, UntrustedPeersFailTheRequestWithTheReason)
{
    TlsServer wrongName(authority.issue("other.example"));
    Client client;
    EXPECT_EQ(failureOf<ETlsError>([&] { client.Get(wrongName.url("/", "localhost")); }),
        "Certificate verify failed: hostname mismatch");
    EXPECT_TRUE(wrongName.requests().empty());

    test::TlsAuthority stranger("Someone Else");
    TlsServer untrusted(stranger.issue("localhost"));
    EXPECT_EQ(failureOf<ETlsError>([&] { client.Get(untrusted.url("/", "localhost")); }),
        "Certificate verify failed: unable to get local issuer certificate");

    // A plain server behind an https URL.
    HttpServer plain({ Reply::ending(Reply::End::Close, OkHead + "plain", false) });
    std::string failure
        = failureOf<ETlsError>([&] { client.Get("https://127.0.0.1:" + std::to_string(plain.port()) + "/"); });
    EXPECT_EQ(failure.rfind("TLS handshake failed: ", 0), 0u) << failure;

    // The client is ready for the next request after each failure.
    TlsServer good(authority.issue("localhost"));
    good.script({ OkHead + "fine" });
    client.Get(good.url("/", "localhost"));
    EXPECT_EQ(client.Body, "fine");
}

TEST_F(HttpsClient, RedirectionsFollowTheSchemeAndKeepHttpsCookiesOffPlainHttp)
{
    HttpServer plain;
    TlsServer secure(authority.issue("127.0.0.1"));
    const std::string secureUrl = secure.url("/secure");
    plain.add("HTTP/1.0 302 Found\r\nSet-Cookie: plain=1\r\nLocation: " + secureUrl + "\r\n\r\n");
    secure.script({ "HTTP/1.0 302 Found\r\nSet-Cookie: secret=2\r\nLocation: " + plain.url("/back") + "\r\n\r\n" });
    plain.add(OkHead + "back on http");

    Client client;
    client.Get(plain.url("/start"));
    EXPECT_EQ(client.Body, "back on http");
    EXPECT_FALSE(client.Secure());
    ASSERT_EQ(secure.requests().size(), 1u);
    // A cookie from plain http may go to the same host over TLS ...
    EXPECT_EQ(secure.requests()[0], request("GET /secure HTTP/1.0", "127.0.0.1", "Cookie: plain=1\r\n"));
    // ... but one that came over TLS never goes back over plain http.
    EXPECT_EQ(plain.request(1), request("GET /back HTTP/1.0", "127.0.0.1"));
}

TEST_F(HttpsClient, RedirectionToABareFileNameStaysOnHttps)
{
    TlsServer server(authority.issue("localhost"));
    server.script({ "HTTP/1.0 302 Found\r\nLocation: next.html\r\n\r\n", OkHead + "next" });
    Client client;
    client.Get(server.url("/first", "localhost"));
    EXPECT_EQ(client.URL(), server.url("/next.html", "localhost"));
    EXPECT_EQ(client.Body, "next");
}

TEST_F(HttpsClient, ProxyOpensATunnelAndGetsThePathOnly)
{
    // The tunnel proxy below answers CONNECT, then speaks TLS itself, as the server at the tunnel's end would.
    TlsServer::Options options;
    options.tunnel = true;
    TlsServer proxy(authority.issue("localhost"), options);
    proxy.script({ OkHead + "through the tunnel" });

    Client client;
    client.Proxy = "127.0.0.1";
    client.ProxyPort = static_cast<int16_t>(proxy.port());
    client.OnAboutToSend = [](TNMHTTP& http) { addUserAgentLine(http.RequestHeaders(), "Vantrel/1.02"); };
    client.Get("https://localhost/page.html");
    EXPECT_EQ(client.Body, "through the tunnel");
    ASSERT_EQ(proxy.tunnelRequests().size(), 1u);
    EXPECT_EQ(proxy.tunnelRequests()[0],
        "CONNECT localhost:443 HTTP/1.0\r\nHost: localhost:443\r\nUser-Agent: Vantrel/1.02\r\n\r\n");
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0],
        "GET /page.html HTTP/1.0\r\nHost: localhost\r\n" + Accepts + AcceptEncoding + ContentType
            + "User-Agent: Vantrel/1.02\r\n\r\n");
}

TEST_F(HttpsClient, ARefusedTunnelFailsTheRequest)
{
    TlsServer::Options options;
    options.tunnel = true;
    options.tunnelReply = "HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n";
    TlsServer proxy(authority.issue("localhost"), options);
    Client client;
    client.Proxy = "127.0.0.1";
    client.ProxyPort = static_cast<int16_t>(proxy.port());
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Head("https://localhost:8443/"); }),
        "Proxy refused the tunnel: HTTP/1.0 403 Forbidden");
    ASSERT_EQ(proxy.tunnelRequests().size(), 1u);
    EXPECT_EQ(proxy.tunnelRequests()[0], "CONNECT localhost:8443 HTTP/1.0\r\nHost: localhost:8443\r\n\r\n");

    // A plain http URL through the same kind of proxy uses no tunnel.
    HttpServer plainProxy({ Reply::bytes(OkHead + "proxied") });
    client.ProxyPort = static_cast<int16_t>(plainProxy.port());
    client.Get("http://localhost/x");
    EXPECT_EQ(plainProxy.request(0).rfind("GET http://localhost/x HTTP/1.0\r\n", 0), 0u);
}

TEST_F(HttpsClient, CancelAndTimeOutEndAStalledHandshake)
{
    TlsServer::Options options;
    options.stallHandshake = true;
    TlsServer stalled(authority.issue("localhost"), options);

    Client client;
    client.onPump = [&] {
        if (client.pumps == 50)
            client.Cancel();
    };
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Get(stalled.url("/", "localhost")); }), "Connection Canceled");
    EXPECT_GE(client.pumps, 50); // the window kept running during the handshake

    client.onPump = nullptr;
    client.TimeOut = 100;
    EXPECT_EQ(failureOf<TSocketError>([&] { client.Get(stalled.url("/", "localhost")); }), "Connection Timed out");
    EXPECT_FALSE(client.Connected());
}

TEST_F(HttpsClient, ACheckOfAnItemOverTlsRecordsTheAnswerOrAnError)
{
    TlsServer good(authority.issue("localhost"));
    good.script({ "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nsafe" });
    TlsServer wrongName(authority.issue("other.example"));

    THTTPChecker checker;
    TCheckItem defaults;
    TCheckItem item;
    item.checkUri() = good.url("/", "localhost");
    item.compareLastModified = 0;
    checkItem(checker, item, defaults);
    EXPECT_NE(item.status, ItemStatus::Error);
    EXPECT_EQ(item.response(), "HTTP/1.0 200 OK");
    EXPECT_EQ(item.contentLengthValue, 4);

    TCheckItem refused = item;
    refused.checkUri() = wrongName.url("/", "localhost");
    checkItem(checker, refused, defaults);
    EXPECT_EQ(refused.status, ItemStatus::Error);
    EXPECT_EQ(refused.contentLengthValue, 4); // the stored values stay for the next comparison
}

TEST_F(HttpsClient, ABodyShorterThanItsContentLengthIsAnIncompleteResponse)
{
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n";
    struct Case
    {
        const char* name;
        bool secure;
        bool get;
        size_t bodyBytes;
        std::string failure; // empty: success
    };
    const Case cases[] = {
        { "http, cut short", false, true, 40, "Incomplete response" },
        { "http, whole", false, true, 100, "" },
        { "http, longer than declared", false, true, 140, "" },
        { "http, HEAD", false, false, 40, "" },
        { "https without close notice, cut short", true, true, 40, "Incomplete response" },
        { "https without close notice, whole", true, true, 100, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string answer = head + std::string(c.bodyBytes, 'x');
        HttpServer plain({ Reply::bytes(answer), Reply::bytes(answer) });
        TlsServer::Options options;
        options.noCloseNotify = true;
        TlsServer secure(authority.issue("localhost"), options);
        secure.script({ answer });
        const std::string url = c.secure ? secure.url("/", "localhost") : plain.url("/");

        Client client;
        std::string failure;
        try {
            c.get ? client.Get(url) : client.Head(url);
            EXPECT_EQ(client.Body.size(), c.bodyBytes);
        } catch (const TException& e) {
            failure = e.message();
        }
        EXPECT_EQ(failure, c.failure);

        THTTPChecker checker;
        TCheckItem item;
        item.checkUri() = url;
        item.useGet = c.get;
        item.compareSize = 1;
        item.bodySize = 7;
        item.contentLengthValue = 7;
        checkItem(checker, item, TCheckItem());
        if (c.failure.empty()) {
            EXPECT_NE(item.status, ItemStatus::Error);
            EXPECT_EQ(item.contentLengthValue, 100);
        } else {
            EXPECT_EQ(item.status, ItemStatus::Error);
            EXPECT_EQ(item.bodySize, 7);
            EXPECT_EQ(item.contentLengthValue, 7);
        }
    }
}

TEST_F(HttpsClient, ASecondRequestToTheSameHostResumesTheSession)
{
    TlsServer server(authority.issue("localhost"));
    server.script({ OkHead + "first", OkHead + "second", OkHead + "third" });
    TlsServer other(authority.issue("localhost"));
    Client client;
    client.Get(server.url("/", "localhost"));
    client.Get(server.url("/again", "localhost"));
    EXPECT_EQ(client.Body, "second");
    EXPECT_EQ(server.resumedConnections(), 1);
    // Another port is another server: it gets a full handshake.
    client.Get(other.url("/", "localhost"));
    EXPECT_EQ(other.resumedConnections(), 0);
    // The certificate of a resumed session was verified for this name only.
    EXPECT_EQ(failureOf<ETlsError>([&] { client.Get(server.url("/", "127.0.0.1")); }),
        "Certificate verify failed: IP address mismatch");
}

TEST_F(HttpsClient, ATunnelToAnIpv6LiteralNamesItInBrackets)
{
    TlsServer::Options options;
    options.tunnel = true;
    TlsServer proxy(authority.issue("::1"), options);
    proxy.script({ OkHead + "six through the tunnel" });
    Client client;
    client.Proxy = "127.0.0.1";
    client.ProxyPort = static_cast<int16_t>(proxy.port());
    client.Get("https://[::1]:8443/p");
    EXPECT_EQ(client.Body, "six through the tunnel");
    ASSERT_EQ(proxy.tunnelRequests().size(), 1u);
    EXPECT_EQ(proxy.tunnelRequests()[0], "CONNECT [::1]:8443 HTTP/1.0\r\nHost: [::1]:8443\r\n\r\n");
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0], request("GET /p HTTP/1.0", "[::1]"));
}
