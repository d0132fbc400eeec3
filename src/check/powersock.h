#pragma once

#include "base/exception.h"

#include "check/socket_transport.h"
#include "check/tls_session.h"
#include "check/tls_transport.h"
#include "check/transport.h"
#include "check/tunnel_transport.h"
#include "check/wait.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// The kinds of failure of the socket layer and the HTTP client; all carry the last socket error code.
class TSocketError : public TException
{
public:
    using TException::TException;
};

// A bound on received data was passed; what was received is dropped.
class TLimitError : public TSocketError
{
public:
    using TSocketError::TSocketError;
};

class TAbortError : public TException
{
public:
    using TException::TException;
};

class TConvertError : public TException
{
public:
    using TException::TException;
};

// The message for a socket error code: "<code>:<text>", or "Unknown Error No. <code>".
std::string socketErrorMessage(int code);
// errno values and getaddrinfo results on the codes of the socket error table (0 stays 0).
int socketErrorCode(int errnoValue);
int lookupErrorCode(int gaiValue);

// The status code of an HTTP status line: its second blank-separated field as a decimal number, 0 when it is none.
int16_t statusCodeOf(std::string_view statusLine);

// One address of a host, IPv4 or IPv6, in network order.
struct TAddress
{
    int family = 0; // AF_INET or AF_INET6
    std::array<uint8_t, 16> bytes {};

    bool operator==(const TAddress&) const = default;
};

// A dotted IPv4 or an IPv6 address, the latter with or without its URL brackets; nullopt for a name.
std::optional<TAddress> addressLiteral(std::string_view host);
// The order in which a connect tries the addresses: the resolver's order within each family, the families taking
// turns, IPv6 first.
std::vector<TAddress> connectOrder(const std::vector<TAddress>& addresses);

// The TCP client on which the HTTP client is built. Every wait is waitFor: poll(2) of the socket (or of the
// lookup's wake-up) for at most 2 ms followed by one call of Pump, so the owner stays live and a Cancel issued from
// Pump ends the wait at the next poll. The connection is a stack of transports: the socket, a CONNECT tunnel
// through the proxy for a secure connection, and TLS; reading and writing go to the top of it.
class TPowersock
{
public:
    using TNotify = std::function<void(TPowersock&)>;

    enum StatusLevel : int32_t {
        StatusBasic = 1,
        StatusRoutines = 2,
        StatusDebug = 3,
    };

    TPowersock();
    virtual ~TPowersock();
    TPowersock(const TPowersock&) = delete;
    TPowersock& operator=(const TPowersock&) = delete;

    std::string Host;
    uint32_t Port = 0;
    std::string Proxy;
    int16_t ProxyPort = 0;
    uint32_t TimeOut = 0; // milliseconds for the lookup, the connect and any silence after it; 0 is no limit
    int32_t ReportLevel = StatusBasic;

    TNotify OnConnect;
    TNotify OnDisconnect;
    TNotify OnHostResolved;
    std::function<void(TPowersock&, bool& handled)> OnInvalidHost;
    TNotify OnConnectionFailed;
    std::function<void(TPowersock&, const std::string& status)> OnStatus;
    TNotify OnPacketRecvd;
    TNotify OnPacketSent;
    // Called after every poll of every wait; the window processes its pending events here.
    std::function<void()> Pump;
    // The name lookup, run on the lookup's own thread: fills the addresses in the resolver's order and returns 0,
    // or returns a getaddrinfo error. Unset, getaddrinfo is asked for both families.
    std::function<int(const std::string& host, std::vector<TAddress>& addresses)> Resolve;

    void Connect();
    // Queues the bytes and waits until all are sent.
    void Send(std::string_view bytes);
    // The next line with its line end. When the peer closed first: what is left (no line feed, maybe empty).
    // A line longer than maxLength fails without keeping it.
    std::string ReadLn(size_t maxLength = std::string::npos);
    // Appends everything received until the peer closes to out. Beyond maxLength it fails and empties out.
    void Capture(std::string& out, size_t maxLength = std::string::npos);
    void Disconnect();
    // Ends the wait in progress at its next poll; safe to call from Pump or a handler.
    void Cancel();

    bool Connected() const noexcept { return m_connected; }
    bool PeerClosed() const noexcept { return m_peerClosed; }
    int LastError() const noexcept { return m_lastError; }
    std::string SocketErrorMessage() const { return socketErrorMessage(m_lastError); }
    int16_t StatusCode() const noexcept { return m_statusCode; }
    uint32_t RemoteAddress() const noexcept { return m_remoteAddress; } // network order, 0 when none or IPv6
    const TAddress& ConnectedAddress() const noexcept { return m_connectedAddress; }
    int SocketHandle() const noexcept { return m_socket; }

    static constexpr int PollMilliseconds = ::PollMilliseconds;
    static constexpr size_t PieceSize = 16383;
    // How long a connect attempt has alone before the next address is tried beside it.
    static constexpr std::chrono::milliseconds AttemptDelay { 250 };

protected:
    // Whether the next connect goes over TLS to Host (through the proxy, inside a CONNECT tunnel whose request
    // carries tunnelLines, whole header lines with CR LF).
    void setSecure(bool secure, std::string tunnelLines = {});
    void postStatus(const std::string& text, int32_t level = StatusBasic);
    void setStatusCode(int16_t code) noexcept { m_statusCode = code; }
    bool cancelled() const noexcept { return m_cancelled; }
    // Closes the socket without raising and makes the next one; for failures that already propagate.
    void closeQuietly() noexcept;

private:
    struct TAttempt;

    void makeSocket();
    void closeSocket() noexcept;
    std::vector<TAddress> lookUp(const std::string& host);
    void connectTo(const std::vector<TAddress>& addresses, uint16_t port);
    void clearBuffers() noexcept;
    std::optional<TAttempt> raceAttempts(
        const std::vector<TAddress>& addresses, uint16_t port, const TDeadline& deadline, TWaitEnd& end);
    std::optional<TAttempt> settleAttempts(
        std::vector<TAttempt>& attempts, const std::vector<pollfd>& fds, TDeadline& nextAttempt);
    [[noreturn]] void failConnect(TWaitEnd end);
    void adoptConnection(const TAttempt& winner);
    bool startAttempt(std::vector<TAttempt>& attempts, const TAddress& address, uint16_t port);
    void stackLayers();
    template <typename Layer>
    void openLayer(Layer& layer, const TDeadline& deadline);
    void onTimedOut();
    bool receiveAvailable();
    void sendQueued();
    TWaitEnd exchange(short events);
    [[noreturn]] void failSocketCall(int errnoValue);
    void noteFailure(int code);

    int m_socket = -1;
    uint32_t m_remoteAddress = 0;
    TAddress m_connectedAddress;
    int16_t m_statusCode = 0;
    bool m_connected = false;
    bool m_peerClosed = false;
    std::atomic<bool> m_cancelled = false;
    std::atomic<bool> m_timedOut = false;
    bool m_allSent = true;
    bool m_capturing = false;
    int m_lastError = 0;
    std::string m_receiveBuffer;
    size_t m_receiveScanned = 0; // bytes of the receive buffer already known to hold no line feed
    std::string m_sendBuffer;
    TDeadline m_silence; // when the connection has been quiet for TimeOut
    bool m_secure = false;
    std::string m_tunnelLines;
    std::unique_ptr<TSocketTransport> m_socketLayer;
    std::unique_ptr<TTunnelTransport> m_tunnelLayer;
    std::unique_ptr<TTlsTransport> m_tlsLayer;
    TTransport* m_top = nullptr;
};
