#include "check/powersock.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <span>
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

bool wouldBlock(int e)
{
    return e == EAGAIN || e == EWOULDBLOCK;
}

TAddress addressOf(const sockaddr* address)
{
    TAddress result;
    result.family = address->sa_family;
    if (address->sa_family == AF_INET6)
        std::memcpy(result.bytes.data(), &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
    else
        std::memcpy(result.bytes.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
    return result;
}

socklen_t socketAddress(const TAddress& address, uint16_t port, sockaddr_storage& out)
{
    out = {};
    if (address.family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&out);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        std::memcpy(&v6->sin6_addr, address.bytes.data(), 16);
        return sizeof(sockaddr_in6);
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&out);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    std::memcpy(&v4->sin_addr, address.bytes.data(), 4);
    return sizeof(sockaddr_in);
}

// getaddrinfo for both families, in the resolver's order, each address once.
int resolveBothFamilies(const std::string& host, std::vector<TAddress>& addresses)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &answer);
    if (result != 0)
        return result;
    for (addrinfo* a = answer; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6)
            continue;
        TAddress address = addressOf(a->ai_addr);
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    }
    ::freeaddrinfo(answer);
    return addresses.empty() ? EAI_NODATA : 0;
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

int16_t statusCodeOf(std::string_view statusLine)
{
    size_t at = statusLine.find_first_not_of(' ');
    at = statusLine.find(' ', at == std::string_view::npos ? statusLine.size() : at);
    at = statusLine.find_first_not_of(' ', at == std::string_view::npos ? statusLine.size() : at);
    if (at == std::string_view::npos)
        return 0;
    size_t end = statusLine.find(' ', at);
    std::string_view field = statusLine.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (field.empty() || field.size() > 5
        || !std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    int value = 0;
    for (char c : field)
        value = value * 10 + (c - '0');
    return value > 32767 ? 0 : static_cast<int16_t>(value);
}

std::optional<TAddress> addressLiteral(std::string_view host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty() || host.size() >= INET6_ADDRSTRLEN || host.find('\0') != std::string_view::npos)
        return std::nullopt;
    const std::string text(host);
    TAddress address;
    if (::inet_pton(AF_INET, text.c_str(), address.bytes.data()) == 1) {
        address.family = AF_INET;
        return address;
    }
    if (::inet_pton(AF_INET6, text.c_str(), address.bytes.data()) == 1) {
        address.family = AF_INET6;
        return address;
    }
    return std::nullopt;
}

std::vector<TAddress> connectOrder(const std::vector<TAddress>& addresses)
{
    std::vector<TAddress> v6, v4, order;
    for (const TAddress& a : addresses)
        (a.family == AF_INET6 ? v6 : v4).push_back(a);
    for (size_t i = 0; i < std::max(v6.size(), v4.size()); ++i) {
        if (i < v6.size())
            order.push_back(v6[i]);
        if (i < v4.size())
            order.push_back(v4[i]);
    }
    return order;
}

// The answer of one host-name lookup. The worker thread and the waiting client share it; a client that gives up
// drops its share and the worker finishes alone, its answer going nowhere.
struct TLookupJob
{
    int wake[2] = { -1, -1 };
    std::mutex mutex;
    bool failed = false;
    std::vector<TAddress> addresses;
    int error = 0;

    ~TLookupJob()
    {
        if (wake[0] >= 0)
            ::close(wake[0]);
        if (wake[1] >= 0)
            ::close(wake[1]);
    }

    void answer(int result, std::vector<TAddress> found)
    {
        int code = result == 0 ? 0 : lookupErrorCode(result); // here, where errno belongs to the call
        std::lock_guard lock(mutex);
        addresses = std::move(found);
        failed = result != 0;
        error = code;
        char one = 1;
        (void)!::write(wake[1], &one, 1);
    }
};

// One connect in flight, on its own socket.
struct TPowersock::TAttempt
{
    int fd;
    TAddress address;
};

TPowersock::TPowersock()
{
    makeSocket();
}

TPowersock::~TPowersock()
{
    closeSocket();
}

namespace {

int makeStreamSocket(int family)
{
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        // Closing resets the connection at once instead of lingering.
        linger noLinger { 1, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &noLinger, sizeof(noLinger));
    }
    return fd;
}

} // namespace

void TPowersock::makeSocket()
{
    m_socket = makeStreamSocket(AF_INET);
    if (m_socket < 0) {
        m_lastError = socketErrorCode(errno);
        throw TSocketError("Initializaton of windows sockets failed", m_lastError);
    }
}

void TPowersock::closeSocket() noexcept
{
    if (m_socket >= 0) {
        try {
            if (m_top)
                m_top->closing();
        } catch (...) {
        }
        ::close(m_socket);
        m_socket = -1;
    }
    m_tlsLayer.reset();
    m_tunnelLayer.reset();
    m_socketLayer.reset();
    m_top = nullptr;
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

void TPowersock::noteFailure(int code)
{
    m_lastError = code;
    postStatus("Checking Error In Error Manager", StatusDebug);
    postStatus("Looking Up Error Message", StatusDebug);
}

void TPowersock::failSocketCall(int errnoValue)
{
    noteFailure(socketErrorCode(errnoValue));
    throw TSocketError(SocketErrorMessage(), m_lastError);
}

void TPowersock::Cancel()
{
    m_cancelled = true;
    postStatus("Canceling");
}

void TPowersock::onTimedOut()
{
    postStatus("Timer Triggered");
    m_timedOut = true;
    Cancel();
}

void TPowersock::setSecure(bool secure, std::string tunnelLines)
{
    m_secure = secure;
    m_tunnelLines = std::move(tunnelLines);
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
    std::vector<TAddress> addresses = lookUp(viaProxy ? Proxy : Host);
    if (addresses.empty() && OnInvalidHost) {
        bool handled = false;
        OnInvalidHost(*this, handled);
        if (handled)
            addresses = lookUp(viaProxy ? Proxy : Host);
    }
    if (addresses.empty())
        throw TSocketError("Null Remote Address", m_lastError);
    connectTo(connectOrder(addresses), viaProxy ? static_cast<uint16_t>(ProxyPort) : static_cast<uint16_t>(Port));
}

// The addresses of the host, empty when the lookup answered with an error (the last error says which).
std::vector<TAddress> TPowersock::lookUp(const std::string& host)
{
    m_remoteAddress = 0;
    if (std::optional<TAddress> literal = addressLiteral(host))
        return { *literal };

    auto job = std::make_shared<TLookupJob>();
    if (::pipe2(job->wake, O_CLOEXEC | O_NONBLOCK) != 0)
        failSocketCall(errno);
    if (host.find('\0') != std::string::npos) {
        job->answer(EAI_NONAME, {});
    } else {
        try {
            std::thread([job, host, resolve = Resolve] {
                std::vector<TAddress> found;
                int result = resolve ? resolve(host, found) : resolveBothFamilies(host, found);
                if (result == 0 && found.empty())
                    result = EAI_NODATA;
                job->answer(result, std::move(found));
            }).detach();
        } catch (const std::system_error&) {
            job->answer(EAI_AGAIN, {});
        }
    }

    const TDeadline deadline = TDeadline::after(TimeOut);
    postStatus("Timer On", StatusRoutines);
    postStatus("Resolve Host");
    pollfd wake { job->wake[0], POLLIN, 0 };
    const TWaitEnd end = waitFor(std::span(&wake, 1), deadline, m_cancelled, Pump);
    postStatus("Timer Off", StatusRoutines);
    if (end == TWaitEnd::TimedOut) {
        onTimedOut();
        throw TSocketError("Host Lookup Timed Out", socketErrorCode(ETIMEDOUT));
    }
    if (end == TWaitEnd::Cancelled)
        throw TSocketError("Host Lookup Canceled", m_lastError);
    std::lock_guard lock(job->mutex);
    if (job->failed) {
        m_lastError = job->error;
        return {};
    }
    if (OnHostResolved)
        OnHostResolved(*this);
    return job->addresses;
}

// Starts a connect to the address; true when it completed at once. An answer that a completed connect would have
// carried closes the attempt and becomes the last error; any other failure raises.
bool TPowersock::startAttempt(std::vector<TAttempt>& attempts, const TAddress& address, uint16_t port)
{
    int fd;
    if (address.family == AF_INET && m_socket >= 0) {
        fd = std::exchange(m_socket, -1); // the socket kept ready between requests
    } else {
        fd = makeStreamSocket(address.family);
        if (fd < 0)
            failSocketCall(errno);
    }
    sockaddr_storage target;
    socklen_t length = socketAddress(address, port, target);
    attempts.push_back({ fd, address });
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), length) == 0)
        return true;
    int e = errno;
    if (e == EINPROGRESS || wouldBlock(e) || e == EINTR)
        return false;
    attempts.pop_back();
    ::close(fd);
    if (e == ECONNREFUSED || e == ETIMEDOUT || e == ENETUNREACH || e == EHOSTUNREACH || e == EADDRNOTAVAIL
        || e == EAFNOSUPPORT) {
        m_lastError = socketErrorCode(e);
        return false;
    }
    failSocketCall(e);
}

void TPowersock::connectTo(const std::vector<TAddress>& addresses, uint16_t port)
{
    clearBuffers();
    const TDeadline deadline = TDeadline::after(TimeOut);
    postStatus("Timer On", StatusRoutines);
    TWaitEnd end = TWaitEnd::Ready;
    std::optional<TAttempt> winner = raceAttempts(addresses, port, deadline, end);
    postStatus("Timer Off", StatusRoutines);
    if (!winner)
        failConnect(end);
    adoptConnection(*winner);
}

void TPowersock::clearBuffers() noexcept
{
    m_receiveBuffer.clear();
    m_receiveScanned = 0;
    m_sendBuffer.clear();
    m_allSent = true;
    m_peerClosed = false;
}

// Happy Eyeballs: the first address gets AttemptDelay to answer before the next is tried beside it, a failed
// attempt hands over at once, and the first connect that completes wins. Without a winner, `end` tells whether
// the time ran out or the wait was cancelled; every loser is closed.
std::optional<TPowersock::TAttempt> TPowersock::raceAttempts(
    const std::vector<TAddress>& addresses, uint16_t port, const TDeadline& deadline, TWaitEnd& end)
{
    std::vector<TAttempt> attempts;
    std::optional<TAttempt> winner;
    size_t next = 0;
    TDeadline nextAttempt = TDeadline::at(TDeadline::Clock::now());
    auto dropAll = [&] {
        for (const TAttempt& attempt : attempts)
            ::close(attempt.fd);
        attempts.clear();
    };

    try {
        while (!winner) {
            if (next < addresses.size() && (attempts.empty() || nextAttempt.passed())) {
                if (startAttempt(attempts, addresses[next++], port)) {
                    winner = attempts.back();
                    attempts.pop_back();
                    break;
                }
                nextAttempt = TDeadline::after(static_cast<uint32_t>(AttemptDelay.count()));
                continue;
            }
            if (attempts.empty())
                break; // every address refused
            std::vector<pollfd> fds;
            fds.reserve(attempts.size());
            for (const TAttempt& attempt : attempts)
                fds.push_back({ attempt.fd, POLLOUT, 0 });
            end = waitFor(
                fds, next < addresses.size() ? TDeadline::earlier(deadline, nextAttempt) : deadline, m_cancelled, Pump);
            if (end == TWaitEnd::Cancelled || (end == TWaitEnd::TimedOut && deadline.passed()))
                break;
            end = TWaitEnd::Ready;
            winner = settleAttempts(attempts, fds, nextAttempt);
        }
    } catch (...) {
        dropAll();
        closeQuietly();
        throw;
    }
    dropAll();
    return winner;
}

// Looks at the attempts that the wait found ready: the first that connected is taken out and returned; each that
// failed is closed and lets the next address start at once.
std::optional<TPowersock::TAttempt> TPowersock::settleAttempts(
    std::vector<TAttempt>& attempts, const std::vector<pollfd>& fds, TDeadline& nextAttempt)
{
    for (size_t i = fds.size(); i-- > 0;) {
        if (!(fds[i].revents & (POLLOUT | POLLERR | POLLHUP)))
            continue;
        int error = 0;
        socklen_t length = sizeof(error);
        if (::getsockopt(fds[i].fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error == 0) {
            TAttempt winner = attempts[i];
            attempts.erase(attempts.begin() + static_cast<ptrdiff_t>(i));
            return winner;
        }
        m_lastError = socketErrorCode(error);
        ::close(fds[i].fd);
        attempts.erase(attempts.begin() + static_cast<ptrdiff_t>(i));
        nextAttempt = TDeadline::at(TDeadline::Clock::now());
    }
    return std::nullopt;
}

void TPowersock::failConnect(TWaitEnd end)
{
    if (end == TWaitEnd::TimedOut)
        onTimedOut();
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

void TPowersock::adoptConnection(const TAttempt& winner)
{
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = winner.fd;
    m_connectedAddress = winner.address;
    m_remoteAddress = 0;
    if (winner.address.family == AF_INET)
        std::memcpy(&m_remoteAddress, winner.address.bytes.data(), 4);
    m_connected = true;
    m_silence = TDeadline::after(TimeOut);
    try {
        stackLayers();
    } catch (...) {
        closeQuietly();
        throw;
    }
    if (OnConnect)
        OnConnect(*this);
}

// Waits for the layer's set-up to finish; the connect's time-out and Cancel end it as they end a connect.
template <typename Layer>
void TPowersock::openLayer(Layer& layer, const TDeadline& deadline)
{
    for (TNeed need; (need = layer.open()) != TNeed::Nothing;) {
        pollfd p { m_socket, pollEventsFor(need), 0 };
        TWaitEnd end = waitFor(std::span(&p, 1), deadline, m_cancelled, Pump, layer.pending() > 0);
        if (end == TWaitEnd::Cancelled)
            throw TSocketError("Connection Canceled", m_lastError);
        if (end == TWaitEnd::TimedOut)
            throw TSocketError("Connection Timed out", socketErrorCode(ETIMEDOUT));
    }
}

void TPowersock::stackLayers()
{
    m_socketLayer = std::make_unique<TSocketTransport>(m_socket);
    m_top = m_socketLayer.get();
    if (!m_secure)
        return;
    const TDeadline deadline = TDeadline::after(TimeOut);
    std::string host = Host;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (!Proxy.empty()) {
        const bool bare6 = addressLiteral(host) && addressLiteral(host)->family == AF_INET6;
        const std::string target = (bare6 ? "[" + host + "]" : host) + ":" + std::to_string(Port);
        m_tunnelLayer = std::make_unique<TTunnelTransport>(*m_top, target, m_tunnelLines);
        openLayer(*m_tunnelLayer, deadline);
        m_top = m_tunnelLayer.get();
    }
    m_tlsLayer = std::make_unique<TTlsTransport>(*m_top, host, static_cast<uint16_t>(Port));
    openLayer(*m_tlsLayer, deadline);
    m_top = m_tlsLayer.get();
}

// Waits until the socket is ready for the events or the top layer holds data, then moves what can be moved.
TWaitEnd TPowersock::exchange(short events)
{
    if (m_peerClosed)
        events &= ~POLLIN;
    const bool held = m_top->pending() > 0;
    pollfd p { m_socket, events, 0 };
    TWaitEnd end = waitFor(std::span(&p, 1), m_silence, m_cancelled, Pump, held);
    if (end != TWaitEnd::Ready)
        return end;
    short ready = p.revents | (held ? POLLIN : 0);
    if (ready & (POLLIN | POLLHUP | POLLERR))
        receiveAvailable();
    if ((ready & (POLLOUT | POLLERR)) && !m_sendBuffer.empty())
        sendQueued();
    return TWaitEnd::Ready;
}

// Takes what the connection holds, in pieces; a bounded number per call so that a flood is met at the next check.
bool TPowersock::receiveAvailable()
{
    char piece[PieceSize];
    bool progress = false;
    try {
        for (int count = 0; count < 64 && !m_peerClosed;) {
            long n = m_top->receive(piece, PieceSize);
            if (n > 0) {
                m_receiveBuffer.append(piece, static_cast<size_t>(n));
                m_silence = TDeadline::after(TimeOut);
                progress = true;
                if (m_capturing && OnPacketRecvd)
                    OnPacketRecvd(*this);
                if (static_cast<size_t>(n) < PieceSize && m_top->pending() == 0)
                    break;
                ++count;
                continue;
            }
            if (n == 0) {
                m_peerClosed = true;
                m_connected = false;
            }
            break;
        }
    } catch (const TSocketError& e) {
        // A reset loses what the peer meant to send: that is a failure, not the end of the data.
        noteFailure(e.code());
        throw;
    }
    return progress;
}

void TPowersock::sendQueued()
{
    size_t offset = 0;
    try {
        while (offset < m_sendBuffer.size()) {
            size_t size = std::min(PieceSize, m_sendBuffer.size() - offset);
            long n = m_top->send(m_sendBuffer.data() + offset, size);
            if (n <= 0)
                break;
            offset += static_cast<size_t>(n);
            m_silence = TDeadline::after(TimeOut);
            if (m_capturing && OnPacketSent)
                OnPacketSent(*this);
        }
    } catch (const TSocketError& e) {
        m_sendBuffer.clear();
        m_allSent = true;
        noteFailure(e.code());
        throw;
    } catch (...) {
        m_sendBuffer.clear();
        m_allSent = true;
        throw;
    }
    m_sendBuffer.erase(0, offset);
    m_allSent = m_sendBuffer.empty();
}

void TPowersock::Send(std::string_view bytes)
{
    postStatus("Sending Buffer", StatusRoutines);
    if (!m_top)
        throw TSocketError(socketErrorMessage(10057), 10057);
    m_sendBuffer.append(bytes);
    m_allSent = m_sendBuffer.empty();
    if (!m_allSent)
        sendQueued();
    while (!m_allSent) {
        switch (exchange(POLLOUT | POLLIN)) {
        case TWaitEnd::Cancelled:
            m_cancelled = false;
            throw TAbortError("Socket send aborted", m_lastError);
        case TWaitEnd::TimedOut:
            noteFailure(socketErrorCode(ETIMEDOUT));
            throw TSocketError("Receive Timed out", m_lastError);
        case TWaitEnd::Ready:
            break;
        }
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
        if (m_peerClosed || !m_top) {
            std::string rest = std::move(m_receiveBuffer);
            m_receiveBuffer.clear();
            m_receiveScanned = 0;
            return rest;
        }
        switch (exchange(POLLIN)) {
        case TWaitEnd::Cancelled:
            throw TAbortError("Socket readln aborted", m_lastError);
        case TWaitEnd::TimedOut:
            noteFailure(socketErrorCode(ETIMEDOUT));
            throw TSocketError("Receive Timed out", m_lastError);
        case TWaitEnd::Ready:
            break;
        }
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
        if (m_peerClosed || !m_top)
            return;
        switch (exchange(POLLIN)) {
        case TWaitEnd::Cancelled:
            m_cancelled = false;
            throw TAbortError("Socket capture aborted", m_lastError);
        case TWaitEnd::TimedOut:
            noteFailure(socketErrorCode(ETIMEDOUT));
            throw TSocketError("Receive Timed out", m_lastError);
        case TWaitEnd::Ready:
            break;
        }
    }
}

void TPowersock::Disconnect()
{
    postStatus("Disconnecting");
    postStatus("Request Close Socket", StatusRoutines);
    m_connected = false;
    if (m_socket >= 0) {
        try {
            if (m_top)
                m_top->closing();
        } catch (...) {
            closeQuietly();
            throw;
        }
        m_tlsLayer.reset();
        m_tunnelLayer.reset();
        m_socketLayer.reset();
        m_top = nullptr;
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
