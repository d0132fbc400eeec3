#include "check/powersock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

struct TErrorEntry
{
    int code;
    const char* text;
};

constexpr TErrorEntry ErrorTable[] = {
    { 10004, "Interrupted system call" },
    { 10009, "Bad file number" },
    { 10013, "Permission denied" },
    { 10014, "Bad address" },
    { 10022, "Invalid argument" },
    { 10024, "Too many open files" },
    { 10035, "Operation would block" },
    { 10036, "Operation now in progress" },
    { 10037, "Operation already in progress" },
    { 10038, "Socket operation on non-socket" },
    { 10039, "Destination address required" },
    { 10040, "Message too long" },
    { 10041, "Wrong protocol type for socket" },
    { 10042, "Bad protocol option" },
    { 10043, "Protocol not supported" },
    { 10044, "Socket type not supported" },
    { 10045, "Operation not supported on socket" },
    { 10046, "Protocol family not supported" },
    { 10047, "Address family not supported by protocol family" },
    { 10048, "Address already in use" },
    { 10049, "Can't assign requested address" },
    { 10050, "Network is down" },
    { 10051, "Network is unreachable" },
    { 10052, "Network dropped connection or reset" },
    { 10053, "Software caused connection abort" },
    { 10054, "Connection reset by peer" },
    { 10055, "No buffer space available" },
    { 10056, "Socket is already connected" },
    { 10057, "Socket is not connected" },
    { 10058, "Can't send after socket shutdown" },
    { 10059, "Too many references, can't splice" },
    { 10060, "Connection timed out" },
    { 10061, "Connection refused" },
    { 10062, "Too many levels of symbolic links" },
    { 10063, "File name too long" },
    { 10064, "Host is down" },
    { 10065, "No route to Host" },
    { 10066, "Directory not empty" },
    { 10067, "Too many processes" },
    { 10068, "Too many users" },
    { 10069, "Disc quota exceeded" },
    { 10070, "Stale NFS file handle" },
    { 10071, "Too many levels of remote in path" },
    { 10091, "Network subsystem is unavailable" },
    { 10092, "Incompatible version of WINSOCK.DLL" },
    { 10093, "Successful WSAStartup not yet performed" },
    { 11001, "Host not found" },
    { 11002, "Non-Authoritative Host not found" },
    { 11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP" },
    { 11004, "Valid name, no data record of requested type" },
    { 0, "Unrecognized error code" },
};
static_assert(std::size(ErrorTable) == 51);

using Clock = std::chrono::steady_clock;

bool wouldBlock(int e)
{
    return e == EAGAIN || e == EWOULDBLOCK;
}

} // namespace

std::string socketErrorMessage(int code)
{
    for (const TErrorEntry& entry : ErrorTable) {
        if (entry.code == code)
            return std::to_string(code) + ":" + entry.text;
    }
    return "Unknown Error No. " + std::to_string(code);
}

int socketErrorCode(int e)
{
    // errno values that mean what an entry of the table means; EPIPE is a send after the peer shut down.
    static constexpr std::pair<int, int> Codes[] = {
        { EINTR, 10004 },
        { EBADF, 10009 },
        { EACCES, 10013 },
        { EPERM, 10013 },
        { EFAULT, 10014 },
        { EINVAL, 10022 },
        { EMFILE, 10024 },
        { EWOULDBLOCK, 10035 },
        { EINPROGRESS, 10036 },
        { EALREADY, 10037 },
        { ENOTSOCK, 10038 },
        { EDESTADDRREQ, 10039 },
        { EMSGSIZE, 10040 },
        { EPROTOTYPE, 10041 },
        { ENOPROTOOPT, 10042 },
        { EPROTONOSUPPORT, 10043 },
        { ESOCKTNOSUPPORT, 10044 },
        { EOPNOTSUPP, 10045 },
        { EPFNOSUPPORT, 10046 },
        { EAFNOSUPPORT, 10047 },
        { EADDRINUSE, 10048 },
        { EADDRNOTAVAIL, 10049 },
        { ENETDOWN, 10050 },
        { ENETUNREACH, 10051 },
        { ENETRESET, 10052 },
        { ECONNABORTED, 10053 },
        { ECONNRESET, 10054 },
        { ENOBUFS, 10055 },
        { EISCONN, 10056 },
        { ENOTCONN, 10057 },
        { ESHUTDOWN, 10058 },
        { EPIPE, 10058 },
        { ETOOMANYREFS, 10059 },
        { ETIMEDOUT, 10060 },
        { ECONNREFUSED, 10061 },
        { ELOOP, 10062 },
        { ENAMETOOLONG, 10063 },
        { EHOSTDOWN, 10064 },
        { EHOSTUNREACH, 10065 },
        { ENOTEMPTY, 10066 },
        { EUSERS, 10068 },
        { EDQUOT, 10069 },
        { ESTALE, 10070 },
        { EREMOTE, 10071 },
    };
    for (auto [value, code] : Codes) {
        if (value == e)
            return code;
    }
    return e;
}

int lookupErrorCode(int gaiValue)
{
    switch (gaiValue) {
    case 0:
        return 0;
    case EAI_NONAME:
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_FAIL:
        return 11003;
    case EAI_NODATA:
        return 11004;
    case EAI_ADDRFAMILY:
        return 11004;
    case EAI_FAMILY:
        return 10047;
    case EAI_SOCKTYPE:
        return 10044;
    case EAI_MEMORY:
        return 10055;
    case EAI_SYSTEM:
        return socketErrorCode(errno);
    default:
        return gaiValue;
    }
}

void TThreadTimer::Start()
{
    m_enabled = Interval > 0;
    m_due = Clock::now() + std::chrono::milliseconds(Interval);
}

void TThreadTimer::Poll()
{
    if (!m_enabled || Clock::now() < m_due)
        return;
    m_enabled = false;
    if (OnTimer)
        OnTimer();
}

// The answer of one host-name lookup. The worker thread and the waiting client share it; a client that gives up
// drops its share and the worker finishes alone, its answer going nowhere.
struct TLookupJob
{
    int wake[2] = { -1, -1 };
    std::mutex mutex;
    bool done = false;
    bool failed = false;
    uint32_t address = 0;
    int error = 0;

    ~TLookupJob()
    {
        if (wake[0] >= 0)
            ::close(wake[0]);
        if (wake[1] >= 0)
            ::close(wake[1]);
    }
};

TPowersock::TPowersock()
{
    makeSocket();
    m_timer.OnTimer = [this] { onTimer(); };
}

TPowersock::~TPowersock()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

void TPowersock::makeSocket()
{
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        m_lastError = socketErrorCode(errno);
        throw TSocketError("Initializaton of windows sockets failed", m_lastError);
    }
    // Closing resets the connection at once instead of lingering.
    linger noLinger { 1, 0 };
    ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &noLinger, sizeof(noLinger));
}

void TPowersock::closeSocket() noexcept
{
    if (m_socket >= 0) {
        try {
            transportClosing();
        } catch (...) {
        }
        ::close(m_socket);
        m_socket = -1;
    }
    m_connected = false;
    m_receiveBuffer.clear();
    m_receiveScanned = 0;
    m_sendBuffer.clear();
    m_allSent = true;
}

void TPowersock::closeQuietly() noexcept
{
    closeSocket();
    try {
        makeSocket();
    } catch (...) {
        // The next Connect tries again and reports it.
    }
}

void TPowersock::postStatus(const std::string& text, int32_t level)
{
    if (OnStatus && level <= ReportLevel)
        OnStatus(*this, text);
}

void TPowersock::failSocketCall(int errnoValue)
{
    m_lastError = socketErrorCode(errnoValue);
    postStatus("Checking Error In Error Manager", StatusDebug);
    postStatus("Looking Up Error Message", StatusDebug);
    throw TSocketError(SocketErrorMessage(), m_lastError);
}

void TPowersock::Cancel()
{
    m_lookupDone = true;
    m_cancelled = true;
    postStatus("Canceling");
}

void TPowersock::onTimer()
{
    postStatus("Timer Triggered");
    m_timedOut = true;
    Cancel();
}

void TPowersock::Connect()
{
    postStatus("Connecting");
    m_cancelled = false;
    m_timedOut = false;
    if (m_connected)
        throw TSocketError("Already connected", m_lastError);
    if (m_socket < 0)
        makeSocket();

    const bool viaProxy = !Proxy.empty();
    uint32_t address = lookUp(viaProxy ? Proxy : Host);
    if (address == 0 && OnInvalidHost) {
        bool handled = false;
        OnInvalidHost(*this, handled);
        if (handled)
            address = lookUp(viaProxy ? Proxy : Host);
    }
    if (address == 0)
        throw TSocketError("Null Remote Address", m_lastError);
    m_remoteAddress = address;
    connectTo(address, viaProxy ? static_cast<uint16_t>(ProxyPort) : static_cast<uint16_t>(Port));
}

// The address in network order, or 0 when the lookup answered with an error (the last error says which).
uint32_t TPowersock::lookUp(const std::string& host)
{
    m_remoteAddress = 0;
    in_addr dotted {};
    if (host.find('\0') == std::string::npos && ::inet_pton(AF_INET, host.c_str(), &dotted) == 1)
        return dotted.s_addr;

    auto job = std::make_shared<TLookupJob>();
    if (::pipe2(job->wake, O_CLOEXEC | O_NONBLOCK) != 0)
        failSocketCall(errno);
    m_lookupDone = false;
    if (host.find('\0') != std::string::npos) {
        job->done = true;
        job->failed = true;
        job->error = lookupErrorCode(EAI_NONAME);
    } else {
        try {
            std::thread([job, host] {
                addrinfo hints {};
                hints.ai_family = AF_INET;
                hints.ai_socktype = SOCK_STREAM;
                addrinfo* answer = nullptr;
                int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &answer);
                uint32_t address = 0;
                if (result == 0) {
                    for (addrinfo* a = answer; a; a = a->ai_next) {
                        if (a->ai_family == AF_INET) {
                            address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
                            break;
                        }
                    }
                    ::freeaddrinfo(answer);
                    if (address == 0)
                        result = EAI_NODATA;
                }
                int code = result == 0 ? 0 : lookupErrorCode(result); // here, where errno belongs to the call
                std::lock_guard lock(job->mutex);
                job->address = address;
                job->failed = result != 0;
                job->error = code;
                job->done = true;
                char one = 1;
                (void)!::write(job->wake[1], &one, 1);
            }).detach();
        } catch (const std::system_error&) {
            job->done = true;
            job->failed = true;
            job->error = lookupErrorCode(EAI_AGAIN);
        }
    }
    m_lookup = job;

    m_timer.Interval = TimeOut;
    m_timer.Start();
    postStatus("Timer On", StatusRoutines);
    postStatus("Resolve Host");
    for (;;) {
        // The time-out is tested first: a lookup that answers only after it was due has still timed out.
        m_timer.Poll();
        {
            std::lock_guard lock(job->mutex);
            if (job->done)
                m_lookupDone = true;
        }
        if (m_lookupDone)
            break;
        pollfd wake { job->wake[0], POLLIN, 0 };
        ::poll(&wake, 1, PollMilliseconds);
        if (Pump)
            Pump();
    }
    m_timer.Stop();
    postStatus("Timer Off", StatusRoutines);
    m_lookup.reset();

    if (m_timedOut)
        throw TSocketError("Host Lookup Timed Out", socketErrorCode(ETIMEDOUT));
    if (m_cancelled)
        throw TSocketError("Host Lookup Canceled", m_lastError);
    std::lock_guard lock(job->mutex);
    if (job->failed) {
        m_lastError = job->error;
        return 0;
    }
    if (OnHostResolved)
        OnHostResolved(*this);
    return job->address;
}

void TPowersock::connectTo(uint32_t address, uint16_t port)
{
    m_receiveBuffer.clear();
    m_receiveScanned = 0;
    m_sendBuffer.clear();
    m_allSent = true;
    m_peerClosed = false;
    m_noError = true;

    sockaddr_in target {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    bool done = ::connect(m_socket, reinterpret_cast<sockaddr*>(&target), sizeof(target)) == 0;
    if (!done) {
        int e = errno;
        if (e == EINPROGRESS || wouldBlock(e) || e == EINTR) {
            // completes in the background
        } else if (e == ECONNREFUSED || e == ETIMEDOUT || e == ENETUNREACH || e == EHOSTUNREACH) {
            // the answer a completed connect would have carried
            m_noError = false;
            m_lastError = socketErrorCode(e);
        } else {
            closeQuietly();
            failSocketCall(e);
        }
    }

    m_timer.Interval = TimeOut;
    m_timer.Start();
    postStatus("Timer On", StatusRoutines);
    while (!done && m_noError && !m_cancelled) {
        short ready = pollSocket(POLLOUT);
        if (ready & (POLLOUT | POLLERR | POLLHUP)) {
            int error = 0;
            socklen_t length = sizeof(error);
            if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
            if (error == 0) {
                done = true;
            } else {
                m_noError = false;
                m_lastError = socketErrorCode(error);
            }
        }
        m_timer.Poll();
        if (Pump)
            Pump();
    }
    m_timer.Stop();
    postStatus("Timer Off", StatusRoutines);

    if (!done) {
        if (OnConnectionFailed)
            OnConnectionFailed(*this);
        // A connect left pending would make the next request fail; start that one on a fresh socket.
        closeQuietly();
        if (m_timedOut)
            throw TSocketError("Connection Timed out", socketErrorCode(ETIMEDOUT));
        if (m_cancelled)
            throw TSocketError("Connection Canceled", m_lastError);
        throw TSocketError("Connection Failed", m_lastError);
    }

    m_connected = true;
    m_lastProgress = Clock::now();
    try {
        transportConnected();
    } catch (...) {
        closeQuietly();
        throw;
    }
    if (OnConnect)
        OnConnect(*this);
}

short TPowersock::pollSocket(short events)
{
    pollfd p { m_socket, events, 0 };
    const bool pending = transportPending();
    int result = ::poll(&p, 1, pending ? 0 : PollMilliseconds);
    short ready = result > 0 ? p.revents : 0;
    if (pending)
        ready |= POLLIN;
    return ready;
}

short TPowersock::waitForSocket(short events)
{
    short ready = pollSocket(events);
    m_timer.Poll();
    if (Pump)
        Pump();
    return ready;
}

void TPowersock::waitForData(short events)
{
    if (m_peerClosed)
        events &= ~POLLIN;
    short ready = pollSocket(events);
    if (ready & (POLLIN | POLLHUP | POLLERR))
        receiveAvailable();
    if ((ready & (POLLOUT | POLLERR)) && !m_sendBuffer.empty())
        sendQueued();
    m_timer.Poll();
    if (Pump)
        Pump();
}

// Takes what the socket holds, in pieces; a bounded number per call so that a flood is met at the next check.
bool TPowersock::receiveAvailable()
{
    char piece[PieceSize];
    bool progress = false;
    for (int count = 0; count < 64 && !m_peerClosed;) {
        ssize_t n = transportReceive(piece, PieceSize);
        if (n > 0) {
            m_receiveBuffer.append(piece, static_cast<size_t>(n));
            m_lastProgress = Clock::now();
            progress = true;
            if (m_capturing && OnPacketRecvd)
                OnPacketRecvd(*this);
            if (static_cast<size_t>(n) < PieceSize && !transportPending())
                break;
            ++count;
            continue;
        }
        if (n == 0) {
            m_peerClosed = true;
            m_connected = false;
            break;
        }
        int e = errno;
        if (e == EINTR)
            continue;
        if (wouldBlock(e))
            break;
        // A reset loses what the peer meant to send: that is a failure, not the end of the data.
        failSocketCall(e);
    }
    return progress;
}

void TPowersock::sendQueued()
{
    size_t offset = 0;
    while (offset < m_sendBuffer.size()) {
        size_t size = std::min(PieceSize, m_sendBuffer.size() - offset);
        ssize_t n = transportSend(m_sendBuffer.data() + offset, size);
        if (n > 0) {
            offset += static_cast<size_t>(n);
            m_lastProgress = Clock::now();
            if (m_capturing && OnPacketSent)
                OnPacketSent(*this);
            continue;
        }
        int e = n < 0 ? errno : EPIPE;
        if (e == EINTR)
            continue;
        if (wouldBlock(e))
            break;
        m_sendBuffer.clear();
        failSocketCall(e);
    }
    m_sendBuffer.erase(0, offset);
    m_allSent = m_sendBuffer.empty();
}

ssize_t TPowersock::transportSend(const char* data, size_t size)
{
    return ::send(m_socket, data, size, MSG_NOSIGNAL);
}

ssize_t TPowersock::transportReceive(char* data, size_t size)
{
    return ::recv(m_socket, data, size, 0);
}

void TPowersock::checkSilence()
{
    if (TimeOut > 0 && Clock::now() - m_lastProgress >= std::chrono::milliseconds(TimeOut)) {
        m_lastError = socketErrorCode(ETIMEDOUT);
        throw TSocketError("Receive Timed out", m_lastError);
    }
}

void TPowersock::Send(std::string_view bytes)
{
    postStatus("Sending Buffer", StatusRoutines);
    m_sendBuffer.append(bytes);
    m_allSent = m_sendBuffer.empty();
    if (!m_allSent)
        sendQueued();
    while (!m_allSent) {
        if (m_cancelled) {
            m_cancelled = false;
            throw TAbortError("Socket send aborted", m_lastError);
        }
        checkSilence();
        waitForData(POLLOUT | POLLIN);
    }
}

std::string TPowersock::ReadLn(size_t maxLength)
{
    postStatus("ReadLn", StatusRoutines);
    for (;;) {
        size_t lineFeed = m_receiveBuffer.find('\n', m_receiveScanned);
        if (lineFeed != std::string::npos) {
            if (lineFeed >= maxLength) {
                m_receiveBuffer.clear();
                m_receiveScanned = 0;
                throw TLimitError("Line too long", m_lastError);
            }
            std::string line = m_receiveBuffer.substr(0, lineFeed + 1);
            m_receiveBuffer.erase(0, lineFeed + 1);
            m_receiveScanned = 0;
            return line;
        }
        m_receiveScanned = m_receiveBuffer.size();
        if (m_receiveBuffer.size() > maxLength) {
            m_receiveBuffer.clear();
            m_receiveScanned = 0;
            throw TLimitError("Line too long", m_lastError);
        }
        if (m_peerClosed) {
            std::string rest = std::move(m_receiveBuffer);
            m_receiveBuffer.clear();
            m_receiveScanned = 0;
            return rest;
        }
        if (m_cancelled)
            throw TAbortError("Socket readln aborted", m_lastError);
        checkSilence();
        waitForData(POLLIN);
    }
}

void TPowersock::Capture(std::string& out, size_t maxLength)
{
    postStatus("Capture String", StatusRoutines);
    m_capturing = true;
    struct EndCapture
    {
        bool& flag;
        ~EndCapture() { flag = false; }
    } endCapture { m_capturing };
    for (;;) {
        if (!m_receiveBuffer.empty()) {
            if (m_receiveBuffer.size() > maxLength || out.size() > maxLength - m_receiveBuffer.size()) {
                out.clear();
                m_receiveBuffer.clear();
                m_receiveScanned = 0;
                throw TLimitError("Received data too large", m_lastError);
            }
            out.append(m_receiveBuffer);
            m_receiveBuffer.clear();
            m_receiveScanned = 0;
        }
        if (m_peerClosed)
            return;
        if (m_cancelled) {
            m_cancelled = false;
            throw TAbortError("Socket capture aborted", m_lastError);
        }
        checkSilence();
        waitForData(POLLIN);
    }
}

void TPowersock::Disconnect()
{
    postStatus("Disconnecting");
    postStatus("Request Close Socket", StatusRoutines);
    m_connected = false;
    if (m_socket >= 0) {
        try {
            transportClosing();
        } catch (...) {
            closeQuietly();
            throw;
        }
        int result = ::close(m_socket);
        int e = errno;
        m_socket = -1;
        m_receiveBuffer.clear();
        m_receiveScanned = 0;
        m_sendBuffer.clear();
        m_allSent = true;
        if (result != 0 && !wouldBlock(e) && e != EINTR) {
            closeQuietly();
            failSocketCall(e);
        }
    }
    if (OnDisconnect)
        OnDisconnect(*this);
    makeSocket();
}
