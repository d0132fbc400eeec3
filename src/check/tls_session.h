#pragma once

#include "store/exception.h"

#include <cstddef>
#include <string>

struct ssl_st;
struct ssl_ctx_st;

// A certificate that does not verify, a handshake that fails or a broken TLS record.
class ETlsError : public TException
{
public:
    using TException::TException;
};

// The client end of one TLS connection over a non-blocking socket the caller owns and waits on.
// Every call returns at once; the caller polls the socket for what the session needs and calls again.
class TTlsSession
{
public:
    enum class Need { Nothing, Read, Write };

    TTlsSession();
    ~TTlsSession();
    TTlsSession(const TTlsSession&) = delete;
    TTlsSession& operator=(const TTlsSession&) = delete;

    // Binds the session to a connected socket; host is sent as SNI (for a name) and verified
    // against the peer's certificate (as a name or an IP address).
    void start(int fd, const std::string& host);

    // Advances the handshake: Nothing when it is done, else what to wait for before the next call.
    // Throws ETlsError when the peer cannot be trusted or the handshake fails.
    Need handshake();
    bool established() const { return m_established; }

    // Like send(2) and recv(2) on a non-blocking socket: -1 with Need set when nothing can move yet,
    // receive returns 0 when the peer has closed. Throws ETlsError on a broken connection.
    long send(const char* data, std::size_t size, Need& need);
    long receive(char* data, std::size_t size, Need& need);

    // Decrypted bytes that wait inside the session and will not show as readable on the socket.
    std::size_t pending() const;

    // Sends the close notice if it can without waiting; the socket stays the caller's.
    void close();

private:
    Need needFor(int result, const char* what);

    ssl_ctx_st* m_context = nullptr;
    ssl_st* m_ssl = nullptr;
    bool m_established = false;
};
