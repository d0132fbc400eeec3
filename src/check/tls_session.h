#pragma once

#include "base/exception.h"
#include "check/transport.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

struct ssl_st;

// A certificate that does not verify, a handshake that fails or a broken TLS record.
class ETlsError : public TException
{
public:
    using TException::TException;
};

// The client end of one TLS connection over a transport the caller owns and waits on.
// Every call returns at once; the caller polls the socket for what the session needs and calls again.
// All sessions share one client context, made on first use with the trust store, and resume the last session
// made with the same host and port.
class TTlsSession
{
public:
    using Need = TNeed;

    TTlsSession();
    ~TTlsSession();
    TTlsSession(const TTlsSession&) = delete;
    TTlsSession& operator=(const TTlsSession&) = delete;

    // Binds the session to the layer below; host is sent as SNI (for a name) and verified against the peer's
    // certificate (as a name or an IP address).
    void start(TTransport& below, const std::string& host, uint16_t port);
    // The same over a connected non-blocking socket that stays the caller's.
    void start(int fd, const std::string& host);

    // Advances the handshake: Nothing when it is done, else what to wait for before the next call.
    // Throws ETlsError when the peer cannot be trusted or the handshake fails.
    Need handshake();
    bool established() const { return m_established; }
    // Whether the handshake took up an earlier session instead of a full exchange.
    bool resumed() const;

    // Like send(2) and recv(2) on a non-blocking socket: -1 with Need set when nothing can move yet,
    // receive returns 0 when the peer has closed. Throws ETlsError on a broken connection.
    long send(const char* data, std::size_t size, Need& need);
    long receive(char* data, std::size_t size, Need& need);

    // Decrypted bytes that wait inside the session and will not show as readable on the socket.
    std::size_t pending() const;

    // Sends the close notice if it can without waiting; the socket stays the caller's.
    void close();

    // The layer below failed inside the library; its exception is kept for the caller of the library.
    void keepFailure(std::exception_ptr failure) { m_failure = std::move(failure); }
    TTransport* below() const { return m_below; }
    // The layer below has seen the peer close.
    void markEnd() { m_ended = true; }
    bool ended() const { return m_ended; }

private:
    Need needFor(int result, const char* what);
    void rethrowBelow();

    ssl_st* m_ssl = nullptr;
    TTransport* m_below = nullptr;
    std::unique_ptr<TTransport> m_ownBelow;
    std::exception_ptr m_failure;
    std::string m_key; // host and port, under which the session is kept for resumption
    bool m_established = false;
    bool m_ended = false;
};
