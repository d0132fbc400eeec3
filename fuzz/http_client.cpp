// Arbitrary bytes as a server's whole answer, through a real loopback connection: the client must end every
// request, raise only its own failures and keep its buffers within bounds. An input that starts with byte 1 is
// instead a proxy's answer to the CONNECT of an https URL whose host is a bracketed IPv6 literal, so the tunnel
// reads it and TLS meets whatever follows it.
#include "check/http_client.h"

#include "support/http_server.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const bool tunnel = size > 0 && data[0] == 1;
    const std::string answer(reinterpret_cast<const char*>(data) + (tunnel ? 1 : 0), size - (tunnel ? 1 : 0));
    test::HttpServer server({ test::Reply::bytes(answer) });
    TNMHTTP client;
    client.TimeOut = 5000;
    // Redirections are not followed: a Location could name any address.
    client.OnRedirect = [](TNMHTTP&, bool& handled) { handled = true; };
    try {
        if (tunnel) {
            client.Proxy = "127.0.0.1";
            client.ProxyPort = static_cast<int16_t>(server.port());
            client.Get("https://[::1]:8443/page.html");
        } else {
            client.Get(server.url("/page.html"));
        }
        if (client.Header.size() > TNMHTTP::MaxHeadLength || client.Body.size() > size)
            std::abort();
        if (client.Header.size() + client.Body.size() > size)
            std::abort();
    } catch (const TException&) {
        // every failure of a broken answer is one of the client's own
    }
    return 0;
}
