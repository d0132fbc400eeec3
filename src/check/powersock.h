#pragma once

#include "store/exception.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

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

// The time-out of a lookup or a connect. It runs on its owner's thread: the waits of the socket layer test it at
// every poll, so its handler runs where the flags it sets are read and can never race a wait.
class TThreadTimer
{
public:
    uint32_t Interval = 0; // milliseconds; 0 never fires
    std::function<void()> OnTimer;

    void Start();
    void Stop() noexcept { m_enabled = false; }
    bool Enabled() const noexcept { return m_enabled; }
    // Fires the handler once (and stops) when the interval has passed since Start.
    void Poll();

private:
    bool m_enabled = false;
    std::chrono::steady_clock::time_point m_due;
};

struct TLookupJob;

// The TCP client on which the HTTP client is built. Every wait is one poll(2) of the socket (or of the lookup's
// wake-up) for at most 2 ms followed by one call of Pump, so the owner stays live and a Cancel issued from Pump
// ends the wait at the next poll.
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
    uint32_t RemoteAddress() const noexcept { return m_remoteAddress; } // network order, 0 when none
    int SocketHandle() const noexcept { return m_socket; }

    static constexpr int PollMilliseconds = 2;
    static constexpr size_t PieceSize = 16383;

protected:
    // The byte transport of the connected socket: a subclass can put a secure channel here. Both return the count
    // of bytes moved, or -1 with errno set (EAGAIN when the socket must become ready first); receive gives 0 when
    // the peer closed.
    virtual ssize_t transportSend(const char* data, size_t size);
    virtual ssize_t transportReceive(char* data, size_t size);
    // True when the transport holds received bytes that a poll of the socket would not show.
    virtual bool transportPending() const { return false; }
    // Right after the TCP connect completed, before OnConnect; may wait with waitForSocket.
    virtual void transportConnected() { }
    // Just before the socket is closed.
    virtual void transportClosing() { }

    // One wait step: poll the socket for the events (at most 2 ms), then the timer and Pump.
    short waitForSocket(short events);
    void postStatus(const std::string& text, int32_t level = StatusBasic);
    void setStatusCode(int16_t code) noexcept { m_statusCode = code; }
    bool cancelled() const noexcept { return m_cancelled; }
    // Fails with "Receive Timed out" when nothing moved for TimeOut milliseconds since the connect.
    void checkSilence();
    // Closes the socket without raising and makes the next one; for failures that already propagate.
    void closeQuietly() noexcept;

private:
    void makeSocket();
    void closeSocket() noexcept;
    uint32_t lookUp(const std::string& host);
    void connectTo(uint32_t address, uint16_t port);
    void onTimer();
    bool receiveAvailable();
    void sendQueued();
    void waitForData(short events);
    short pollSocket(short events);
    [[noreturn]] void failSocketCall(int errnoValue);

    int m_socket = -1;
    uint32_t m_remoteAddress = 0;
    int16_t m_statusCode = 0;
    bool m_connected = false;
    bool m_peerClosed = false;
    std::atomic<bool> m_cancelled = false;
    std::atomic<bool> m_timedOut = false;
    std::atomic<bool> m_lookupDone = false;
    bool m_noError = true;
    bool m_allSent = true;
    bool m_capturing = false;
    int m_lastError = 0;
    std::string m_receiveBuffer;
    size_t m_receiveScanned = 0; // bytes of the receive buffer already known to hold no line feed
    std::string m_sendBuffer;
    TThreadTimer m_timer;
    std::shared_ptr<TLookupJob> m_lookup;
    std::chrono::steady_clock::time_point m_lastProgress;
};
