#include "check/http_client.h"

#include "check/content_coding.h"
#include "check/http_response.h"

#include <algorithm>
#include <optional>

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

// The body length that the head declares, for a status that has a body; nullopt when it declares none that can
// be read.
std::optional<size_t> declaredLength(int code, const THTTPResponse& response)
{
    if ((code >= 100 && code < 200) || code == 204 || code == 304)
        return std::nullopt;
    std::string_view value = response.value("Content-Length:");
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
        value.remove_suffix(1);
    if (value.empty() || value.size() > 18
        || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    size_t length = 0;
    for (char c : value)
        length = length * 10 + static_cast<size_t>(c - '0');
    return length;
}

// A kept value that is empty or would break the request into lines of its own is not sent.
bool fitsOneLine(std::string_view value)
{
    return !value.empty() && value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
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
    m_redirected = false;
    // Each transaction starts from the port and scheme its URL gives, not from those the previous request left.
    Port = 0;
    m_secure = false;
    for (int redirections = 0;; ++redirections) {
        sendRequest(redirections == 0);
        receiveAnswer();
        const int code = StatusCode();
        announceAnswer(code);
        if (isRedirection(code) && followRedirection())
            return;
        if (code == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(*this);
        if (isFinal(code))
            return;
        // A cancel that came while the answer was completing must not be lost to the next connect.
        if (cancelled())
            throw TAbortError("Socket capture aborted", LastError());
        if (redirections + 1 > MaxRedirections)
            throw TException("Too many redirections");
        m_redirected = m_redirected || isRedirection(code);
    }
}

std::string TNMHTTP::FinalURL() const
{
    const uint32_t usual = m_secure ? 443 : 80;
    return (m_secure ? "https://" : "http://") + Host + (Port != usual ? ":" + std::to_string(Port) : std::string())
        + m_path;
}

bool TNMHTTP::isRedirection(int code) noexcept
{
    return code >= 300 && code <= 398 && code != NotModified;
}

bool TNMHTTP::isFinal(int code) noexcept
{
    return code < 299 || code > 399 || code == NotModified;
}

void TNMHTTP::sendRequest(bool first)
{
    parseURL();
    if (first) {
        m_startHost = Host;
        m_startPort = Port;
        m_startSecure = m_secure;
    }
    formRequest();
    if (OnAboutToSend)
        OnAboutToSend(*this);
    // A proxy's tunnel is asked for with the request's own User-Agent line.
    ptrdiff_t agent = m_requestHeaders.IndexOfName("User-Agent");
    setSecure(m_secure, agent >= 0 ? m_requestHeaders[static_cast<size_t>(agent)] + "\r\n" : std::string());
    Connect();
    try {
        Send(m_requestHeaders.Text());
    } catch (...) {
        closeQuietly();
        throw;
    }
}

void TNMHTTP::receiveAnswer()
{
    try {
        readHead();
        readBody();
    } catch (...) {
        closeQuietly();
        throw;
    }
}

void TNMHTTP::readBody()
{
    Body.clear();
    try {
        Capture(Body, MaxBodyLength);
    } catch (const TLimitError&) {
        Body.clear();
        throw TSocketError("Response body too large", LastError());
    }
    const THTTPResponse response(Header);
    // A page cut short would pass for a changed page.
    std::optional<size_t> declared
        = m_kind == CmdGET ? declaredLength(StatusCode(), response) : std::optional<size_t>();
    if (declared && Body.size() < *declared) {
        Body.clear();
        throw TSocketError("Incomplete response", LastError());
    }
    // Only a page that is looked at is decoded; an error page or a redirection's note is not.
    if (m_kind == CmdGET && StatusCode() >= 200 && StatusCode() < 299) {
        try {
            Body = decodeContent(response.value("Content-Encoding:"), Body, MaxBodyLength);
        } catch (const TLimitError&) {
            Body.clear();
            throw TSocketError("Response body too large", LastError());
        } catch (...) {
            Body.clear();
            throw;
        }
    }
}

void TNMHTTP::announceAnswer(int code)
{
    if (code < 299 || code == NotModified) {
        if (OnSuccess)
            OnSuccess(*this, m_kind);
        postStatus("Transaction Completed");
    } else if (code > 399) {
        if (OnFailure)
            OnFailure(*this, m_kind);
    }
    Disconnect();
}

// True when the OnRedirect handler ended the transaction here.
bool TNMHTTP::followRedirection()
{
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
            return true;
    }
    // A bare file name stays on the server that named it, port included.
    if (m_url.find('/') == std::string::npos) {
        const uint32_t usual = m_secure ? 443 : 80;
        m_url = (m_secure ? "https://" : "http://") + Host
            + (Port != usual ? ":" + std::to_string(Port) : std::string()) + "/" + m_url;
    }
    return false;
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
    if (!hostText.empty() && hostText.front() == '[') {
        // An IPv6 literal keeps its brackets in Host, as the Host line and a CONNECT write it.
        size_t close = hostText.find(']');
        portColon = close != std::string::npos && close + 1 < hostText.size() && hostText[close + 1] == ':'
            ? close + 1
            : std::string::npos;
    }
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
    if (m_kind == CmdGET)
        h.Add("Accept-Encoding: gzip, deflate");
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
    if (m_kind == CmdGET) {
        if (fitsOneLine(HeaderInfo.IfModifiedSince))
            h.SetValue("If-Modified-Since", HeaderInfo.IfModifiedSince);
        if (fitsOneLine(HeaderInfo.IfNoneMatch))
            h.SetValue("If-None-Match", HeaderInfo.IfNoneMatch);
    }
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
