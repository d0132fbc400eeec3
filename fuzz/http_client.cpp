// Arbitrary bytes as a server's whole answer to a GET, through a real loopback connection: the client must end
// every request, raise only its own failures and keep its buffers within bounds.
#include "check/http_client.h"

#include "support/http_server.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    test::HttpServer server({ test::Reply::bytes(std::string(reinterpret_cast<const char*>(data), size)) });
    TNMHTTP client;
    client.TimeOut = 5000;
    // Redirections are not followed: a Location could name any address.
    client.OnRedirect = [](TNMHTTP&, bool& handled) { handled = true; };
    try {
        client.Get(server.url("/page.html"));
        if (client.Header.size() > TNMHTTP::MaxHeadLength || client.Body.size() > size)
            std::abort();
        if (client.Header.size() + client.Body.size() > size)
            std::abort();
    } catch (const TException&) {
        // every failure of a broken answer is one of the client's own
    }
    return 0;
}
