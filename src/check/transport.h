#pragma once

#include <cstddef>
#include <poll.h>

// What a layer needs from the socket before its next call can move bytes.
enum class TNeed { Nothing, Read, Write };

// One layer of a connection: the plain socket at the bottom, a CONNECT tunnel or TLS stacked on the layer below.
// Every call returns at once. A layer reaches the network only through the layer below it.
class TTransport
{
public:
    virtual ~TTransport() = default;

    // Like send(2) and recv(2) on a non-blocking socket: the count of bytes moved, or -1 when nothing can move
    // until the socket is ready for need(); receive gives 0 when the peer closed. Failures are exceptions.
    virtual long send(const char* data, size_t size) = 0;
    virtual long receive(char* data, size_t size) = 0;
    // Received bytes held inside this layer or those below it, which a poll of the socket would not show.
    virtual size_t pending() const = 0;
    // Just before the socket is closed: the layer's goodbye, sent only when it needs no wait.
    virtual void closing() = 0;
    // What the last call that returned -1 waits for.
    virtual TNeed need() const = 0;
    // The socket at the bottom of the stack, the one to poll.
    virtual int socket() const = 0;
};

// The poll events that a need waits for.
constexpr short pollEventsFor(TNeed need)
{
    return need == TNeed::Write ? POLLOUT : POLLIN;
}
