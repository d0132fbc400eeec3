#include "check/http_client.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace {

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == upper(y); });
}

std::string withoutLineEnd(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return std::string(line);
}

// Position of the n-th "/" (1-based), or npos.
size_t nthSlash(std::string_view text, int n)
{
    size_t at = std::string_view::npos;
    for (size_t from = 0; n > 0; --n, from = at + 1) {
        at = text.find('/', from);
        if (at == std::string_view::npos)
            return at;
    }
    return at;
}

uint32_t portNumber(const std::string& text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw TConvertError("'" + text + "' is not a valid integer value");
    if (text.size() > 5 || std::stoul(text) > 65535)
        throw TConvertError("'" + text + "' is out of the port range");
    return static_cast<uint32_t>(std::stoul(text));
}

// The second blank-separated field of the status line as a decimal number; 0 when it is none.
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

constexpr const char* AcceptLine1 = "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff";
constexpr const char* AcceptLine2 = "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript";

} // namespace

void TExStringList::Insert(size_t index, std::string line)
{
    m_lines.insert(m_lines.begin() + static_cast<ptrdiff_t>(std::min(index, m_lines.size())), std::move(line));
}

ptrdiff_t TExStringList::IndexOfName(std::string_view name) const
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        size_t colon = m_lines[i].find(':');
        if (colon != std::string::npos && equalsNoCase(std::string_view(m_lines[i]).substr(0, colon), name))
            return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

void TExStringList::SetValue(std::string_view name, std::string_view value)
{
    std::string line = std::string(name) + ": " + std::string(value);
    ptrdiff_t index = IndexOfName(name);
    if (index >= 0)
        m_lines[static_cast<size_t>(index)] = std::move(line);
    else
        m_lines.push_back(std::move(line));
}

std::string TExStringList::Text() const
{
    std::string text;
    for (const std::string& line : m_lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string TNMUUProcessor::Encode(std::string_view bytes)
{
    static constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8
            | static_cast<uint8_t>(bytes[i + 2]);
        out += Alphabet[group >> 18 & 63];
        out += Alphabet[group >> 12 & 63];
        out += Alphabet[group >> 6 & 63];
        out += Alphabet[group & 63];
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
        if (rest == 2)
            group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        out += Alphabet[group >> 18 & 63];
        out += Alphabet[group >> 12 & 63];
        out += rest == 2 ? Alphabet[group >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

void addUserAgentLine(TExStringList& headers, std::string_view userAgent)
{
    if (userAgent.empty())
        return;
    std::string line = "User-Agent: " + std::string(userAgent);
    const auto& lines = headers.Lines();
    auto empty = std::find(lines.begin(), lines.end(), std::string());
    if (empty != lines.end() && empty != lines.begin()) {
        headers.Insert(static_cast<size_t>(empty - lines.begin()), std::move(line));
    } else {
        headers.Add(std::move(line));
        headers.Add(std::string());
    }
}

void TNMHTTP::Get(const std::string& url)
{
    transaction(CmdGET, url);
}

void TNMHTTP::Head(const std::string& url)
{
    transaction(CmdHEAD, url);
}

void TNMHTTP::transaction(CmdType kind, const std::string& url)
{
    if (InputFileMode || OutputFileMode)
        throw TException("File mode is not supported");
    m_kind = kind;
    m_url = url;
    // Each transaction starts from the port and scheme its URL gives, not from those the previous request left.
    Port = 0;
    m_secure = false;
    for (int redirections = 0;; ++redirections) {
        parseURL();
        if (redirections == 0) {
            m_startHost = Host;
            m_startPort = Port;
            m_startSecure = m_secure;
        }
        formRequest();
        if (OnAboutToSend)
            OnAboutToSend(*this);
        Connect();
        try {
            Send(m_requestHeaders.Text());
            readHead();
            Body.clear();
            try {
                Capture(Body, MaxBodyLength);
            } catch (const TLimitError&) {
                Body.clear();
                throw TSocketError("Response body too large", LastError());
            }
        } catch (...) {
            closeQuietly();
            throw;
        }

        const int code = StatusCode();
        if (code < 299) {
            if (OnSuccess)
                OnSuccess(*this, kind);
            postStatus("Transaction Completed");
        } else if (code > 399) {
            if (OnFailure)
                OnFailure(*this, kind);
        }
        Disconnect();

        if (code >= 300 && code <= 398) {
            if (!m_cookieReceived.empty()) {
                HeaderInfo.Cookie = m_cookieReceived;
                m_storedCookie = m_cookieReceived;
                m_cookieHost = Host;
                m_cookieSecure = m_secure;
            }
            if (OnRedirect) {
                bool handled = false;
                OnRedirect(*this, handled);
                if (handled)
                    return;
            }
            // A bare file name stays on the server that named it, port included.
            if (m_url.find('/') == std::string::npos) {
                const uint32_t usual = m_secure ? 443 : 80;
                m_url = (m_secure ? "https://" : "http://") + Host
                    + (Port != usual ? ":" + std::to_string(Port) : std::string()) + "/" + m_url;
            }
        }
        if (code == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(*this);
        if (code < 299 || code > 399)
            return;
        // A cancel that came while the answer was completing must not be lost to the next connect.
        if (cancelled())
            throw TAbortError("Socket capture aborted", LastError());
        if (redirections + 1 > MaxRedirections)
            throw TException("Too many redirections");
    }
}

void TNMHTTP::parseURL()
{
    if (m_url.empty())
        throw TException("Empty URL");
    if (m_url.size() > MaxURLLength)
        throw TException("URL too long");
    // These would break the request text into lines that the URL's author chose.
    if (m_url.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        throw TException("Invalid character in URL");
    if (Port == 0)
        Port = 80;

    const bool doubleSlash = m_url.find("//") != std::string::npos;
    const size_t firstSlash = m_url.find('/');
    if (doubleSlash) {
        size_t third = nthSlash(m_url, 3);
        m_path = third == std::string::npos ? std::string() : m_url.substr(third);
    } else {
        m_path = firstSlash == std::string::npos ? std::string() : m_url.substr(firstSlash);
    }

    size_t colon = m_url.find(':');
    if (colon != std::string::npos) {
        std::string scheme = m_url.substr(0, colon);
        std::transform(scheme.begin(), scheme.end(), scheme.begin(), lower);
        m_secure = scheme == "https";
        Port = scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : m_secure ? 443 : 80;
    }

    std::string hostText;
    if (doubleSlash) {
        size_t second = nthSlash(m_url, 2);
        size_t third = nthSlash(m_url, 3);
        hostText = m_url.substr(second + 1, third == std::string::npos ? std::string::npos : third - second - 1);
    } else if (m_url.front() != '/') {
        hostText = m_url.substr(0, firstSlash);
    }
    size_t portColon = hostText.find(':');
    if (portColon != std::string::npos) {
        Port = portNumber(hostText.substr(portColon + 1));
        hostText.resize(portColon);
    }
    if (!hostText.empty())
        Host = hostText;
    if (m_path.empty()) {
        m_path = "/";
        m_url += "/";
    }
}

bool TNMHTTP::mayCarryCredentials() const
{
    return equalsNoCase(Host, m_startHost) && Port == m_startPort && m_secure == m_startSecure;
}

void TNMHTTP::formRequest()
{
    TExStringList& h = m_requestHeaders;
    h.Clear();
    // Through a tunnel the request reaches the server itself, so it is formed as without a proxy.
    const bool proxyForm = !Proxy.empty() && !m_secure;
    h.Add(std::string(m_kind == CmdHEAD ? "HEAD " : "GET ") + (proxyForm ? m_url : m_path) + " HTTP/1.0");
    if (proxyForm) {
        h.Add("Proxy-Connection: Keep-Alive");
        h.Add("Host: " + Host);
    }
    h.SetValue("Host", Host);
    h.Add(AcceptLine1);
    h.Add(AcceptLine2);
    if (!HeaderInfo.LocalMailAddress.empty())
        h.SetValue("User-Agent", HeaderInfo.LocalMailAddress);
    if (!HeaderInfo.LocalProgram.empty())
        h.SetValue("From", HeaderInfo.LocalProgram);
    // A cookie that came with a redirection goes back only to the host that sent it.
    const bool cookieFromServer = !m_cookieHost.empty() && HeaderInfo.Cookie == m_storedCookie;
    if (!HeaderInfo.Cookie.empty()
        && (!cookieFromServer || (equalsNoCase(Host, m_cookieHost) && (m_secure || !m_cookieSecure))))
        h.SetValue("Cookie", HeaderInfo.Cookie);
    if (!HeaderInfo.Referer.empty())
        h.SetValue("Referer", HeaderInfo.Referer);
    // Credentials are meant for the host the user named, not for wherever a redirection points.
    if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty() && mayCarryCredentials())
        h.SetValue("Authorization", "Basic " + TNMUUProcessor::Encode(HeaderInfo.UserId + ":" + HeaderInfo.Password));
    h.Add("Content-type: application/x-www-form-urlencoded");
    h.Add(std::string());
}

void TNMHTTP::readHead()
{
    Header.clear();
    m_cookieReceived.clear();
    auto readLine = [this] {
        std::string line;
        try {
            line = ReadLn(MaxHeadLineLength);
        } catch (const TLimitError&) {
            Header.clear();
            throw TSocketError("Response header line too long", LastError());
        }
        // The peer closed before the blank line that ends the head.
        if (line.empty() || line.back() != '\n') {
            Header.clear();
            throw TSocketError("Incomplete response", LastError());
        }
        if (Header.size() + line.size() > MaxHeadLength) {
            Header.clear();
            throw TSocketError("Response header too large", LastError());
        }
        Header += line;
        return line;
    };

    std::string statusLine = readLine();
    setStatusCode(statusCodeOf(withoutLineEnd(statusLine)));
    for (;;) {
        std::string line = readLine();
        if (line == "\n" || line == "\r\n")
            return;
        std::string field = line.substr(0, line.find(' '));
        std::transform(field.begin(), field.end(), field.begin(), upper);
        if (field == "SET-COOKIE:") {
            // A carriage return inside the value would start a line of the server's choosing in our next request.
            std::string cookie = withoutLineEnd(std::string_view(line).substr(12));
            m_cookieReceived = cookie.substr(0, cookie.find('\r'));
        } else if (field == "LOCATION:")
            m_url = withoutLineEnd(std::string_view(line).substr(10));
    }
}

ssize_t TNMHTTP::transportSend(const char* data, size_t size)
{
    if (!m_tls || !m_tls->established())
        return TPowersock::transportSend(data, size);
    TTlsSession::Need need;
    long sent = m_tls->send(data, size, need);
    if (sent < 0)
        errno = EAGAIN;
    return sent;
}

ssize_t TNMHTTP::transportReceive(char* data, size_t size)
{
    if (!m_tls || !m_tls->established())
        return TPowersock::transportReceive(data, size);
    TTlsSession::Need need;
    long received = m_tls->receive(data, size, need);
    if (received < 0)
        errno = EAGAIN;
    return received;
}

bool TNMHTTP::transportPending() const
{
    return m_tls && m_tls->pending() > 0;
}

// The wait of the tunnel and the handshake: the connect's time-out and Cancel end it as they end a connect.
void TNMHTTP::awaitSocket(short events, std::chrono::steady_clock::time_point deadline)
{
    if (cancelled())
        throw TSocketError("Connection Canceled", LastError());
    if (TimeOut > 0 && std::chrono::steady_clock::now() >= deadline)
        throw TSocketError("Connection Timed out", socketErrorCode(ETIMEDOUT));
    waitForSocket(events);
}

void TNMHTTP::transportConnected()
{
    m_tls.reset();
    if (!m_secure)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeOut);
    if (!Proxy.empty())
        openTunnel(deadline);
    auto session = std::make_unique<TTlsSession>();
    session->start(SocketHandle(), Host);
    for (;;) {
        TTlsSession::Need need = session->handshake();
        if (need == TTlsSession::Need::Nothing)
            break;
        awaitSocket(need == TTlsSession::Need::Write ? POLLOUT : POLLIN, deadline);
    }
    m_tls = std::move(session);
}

void TNMHTTP::transportClosing()
{
    if (m_tls) {
        m_tls->close();
        m_tls.reset();
    }
}

// Asks the proxy for a tunnel to Host and Port and reads its answer exactly to the blank line, so that no byte of
// the server's TLS stream is taken with it.
void TNMHTTP::openTunnel(std::chrono::steady_clock::time_point deadline)
{
    const std::string target = Host + ":" + std::to_string(Port);
    std::string request = "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n";
    ptrdiff_t agent = m_requestHeaders.IndexOfName("User-Agent");
    if (agent >= 0)
        request += m_requestHeaders[static_cast<size_t>(agent)] + "\r\n";
    request += "\r\n";

    for (size_t sent = 0; sent < request.size();) {
        ssize_t n = TPowersock::transportSend(request.data() + sent, request.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            awaitSocket(POLLOUT, deadline);
        } else {
            throw TSocketError(
                socketErrorMessage(socketErrorCode(n < 0 ? errno : EPIPE)), socketErrorCode(n < 0 ? errno : EPIPE));
        }
    }

    std::string head;
    for (;;) {
        char piece[4096];
        ssize_t n = ::recv(SocketHandle(), piece, sizeof piece, MSG_PEEK);
        if (n == 0)
            throw TSocketError("Proxy closed the tunnel", LastError());
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                throw TSocketError(socketErrorMessage(socketErrorCode(errno)), socketErrorCode(errno));
            awaitSocket(POLLIN, deadline);
            continue;
        }
        std::string seen = head + std::string(piece, static_cast<size_t>(n));
        size_t end = seen.find("\r\n\r\n");
        size_t endLength = 4;
        if (size_t bare = seen.find("\n\n"); bare < end) {
            end = bare;
            endLength = 2;
        }
        size_t take = end == std::string::npos ? static_cast<size_t>(n) : end + endLength - head.size();
        ssize_t taken = ::recv(SocketHandle(), piece, take, 0);
        if (taken != static_cast<ssize_t>(take))
            throw TSocketError("Proxy tunnel failed", LastError());
        head.append(piece, take);
        if (end != std::string::npos)
            break;
        if (head.size() > MaxTunnelHeadLength)
            throw TSocketError("Proxy tunnel failed: answer too long", LastError());
    }
    std::string statusLine = withoutLineEnd(head.substr(0, head.find('\n') + 1));
    int code = statusCodeOf(statusLine);
    if (code < 200 || code > 299)
        throw TSocketError("Proxy refused the tunnel: " + statusLine, LastError());
}
