#pragma once

#include "check/powersock.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The optional values of a request's header lines.
struct THeaderInfo
{
    std::string LocalMailAddress;
    std::string LocalProgram;
    std::string Cookie;
    std::string Referer;
    std::string UserId;
    std::string Password;
    // Conditions of a GET (a HEAD sends none): the validators the page's last answer gave; empty sends none.
    std::string IfNoneMatch;
    std::string IfModifiedSince;
};

// The header lines of a request being formed, with lookup by header name.
class TExStringList
{
public:
    size_t Count() const noexcept { return m_lines.size(); }
    const std::string& operator[](size_t index) const { return m_lines[index]; }
    std::string& operator[](size_t index) { return m_lines[index]; }
    const std::vector<std::string>& Lines() const noexcept { return m_lines; }

    void Add(std::string line) { m_lines.push_back(std::move(line)); }
    void Insert(size_t index, std::string line);
    void Clear() noexcept { m_lines.clear(); }
    // Index of the first line whose text before its first ":" equals name, ignoring ASCII case; -1 when none.
    // A line without ":" never matches.
    ptrdiff_t IndexOfName(std::string_view name) const;
    // "name: value" replaces the line of that name, or is appended.
    void SetValue(std::string_view name, std::string_view value);
    // Every line followed by CR LF.
    std::string Text() const;

private:
    std::vector<std::string> m_lines;
};

// Base64 with the standard alphabet and "=" padding, as one unbroken line.
class TNMUUProcessor
{
public:
    static std::string Encode(std::string_view bytes);
};

// The program's HTTP/1.0 client: GET and HEAD, directly or through a proxy, following redirections.
// An "https" URL asks the connection for TLS (through a proxy, inside a CONNECT tunnel); the host of a URL may be
// an IPv6 literal in brackets. A GET whose body ends before its declared Content-Length fails. A GET accepts
// gzip and deflate, and a 2xx answer's Body is decoded (TDecodeError when it does not decode, a TSocketError when
// it would pass MaxBodyLength). A 304 answer ends the transaction as a success, with no body.
// Failures are exceptions (TSocketError, TAbortError, TConvertError, ETlsError or TException); an error status
// is none.
class TNMHTTP : public TPowersock
{
public:
    enum CmdType : int {
        CmdGET = 0,
        CmdHEAD = 2,
    };
    using THTTPNotify = std::function<void(TNMHTTP&)>;
    using TCmdNotify = std::function<void(TNMHTTP&, CmdType)>;

    // Bounds against a hostile or broken server.
    static constexpr size_t MaxURLLength = 8192;
    static constexpr size_t MaxHeadLineLength = size_t { 64 } * 1024;
    static constexpr size_t MaxHeadLength = size_t { 1024 } * 1024;
    static constexpr size_t MaxBodyLength = size_t { 64 } * 1024 * 1024;
    static constexpr int MaxRedirections = 20;
    static constexpr int NotModified = 304;

    std::string
        Header; // status line and header lines of the last response, each with its line end, then the empty line
    std::string Body; // body bytes of the last response, decoded when they came compressed
    THeaderInfo HeaderInfo;
    bool InputFileMode = false; // file transfer is not offered: a request with either set fails
    bool OutputFileMode = false;

    THTTPNotify OnAboutToSend; // may edit RequestHeaders()
    TCmdNotify OnSuccess;
    TCmdNotify OnFailure;
    std::function<void(TNMHTTP&, bool& handled)> OnRedirect; // handled = true ends the transaction there
    THTTPNotify OnAuthenticationNeeded;

    void Get(const std::string& url);
    void Head(const std::string& url);

    const std::string& URL() const noexcept { return m_url; }
    const std::string& Path() const noexcept { return m_path; }
    TExStringList& RequestHeaders() noexcept { return m_requestHeaders; }
    const TExStringList& RequestHeaders() const noexcept { return m_requestHeaders; }
    const std::string& CookieReceived() const noexcept { return m_cookieReceived; }
    CmdType RequestKind() const noexcept { return m_kind; }
    // Whether the request in progress (or the last one) goes over TLS.
    bool Secure() const noexcept { return m_secure; }
    // Whether the last transaction followed a redirection; FinalURL() is then where it led.
    bool Redirected() const noexcept { return m_redirected; }
    // The absolute URL of the last request: scheme, host, the port when it is not the scheme's own, and path.
    std::string FinalURL() const;

private:
    void transaction(CmdType kind, const std::string& url);
    static bool isRedirection(int code) noexcept;
    static bool isFinal(int code) noexcept;
    void sendRequest(bool first);
    void receiveAnswer();
    void readBody();
    void announceAnswer(int code);
    bool followRedirection();
    void parseURL();
    void formRequest();
    void readHead();
    bool mayCarryCredentials() const;

    std::string m_url;
    std::string m_path;
    TExStringList m_requestHeaders;
    std::string m_cookieReceived;
    std::string m_cookieHost; // host that sent the cookie now in HeaderInfo.Cookie
    std::string m_storedCookie; // that cookie, to tell it from one the owner set
    bool m_cookieSecure = false; // it came over TLS, so it never goes over plain http
    std::string m_startHost;
    uint32_t m_startPort = 0;
    bool m_startSecure = false;
    bool m_secure = false;
    bool m_redirected = false;
    CmdType m_kind = CmdGET;
};

// The User-Agent line that a check's OnAboutToSend adds: nothing for an empty text; otherwise "User-Agent: " and
// the text, inserted before the first empty line when that is at the second position or later, else appended
// together with an empty line.
void addUserAgentLine(TExStringList& headers, std::string_view userAgent);
