#include "check/tls_session.h"

#include "check/socket_transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <utility>

namespace {

std::string lastErrorText()
{
    unsigned long code = ERR_peek_last_error();
    if (code == 0)
        return {};
    const char* reason = ERR_reason_error_string(code);
    ERR_clear_error();
    return reason ? reason : "error " + std::to_string(code);
}

// The one client context of the process. It holds the trust store, loaded once; tests that name another trust
// file through SSL_CERT_FILE or SSL_CERT_DIR get a context of their own, with no session of the old one.
class TClientContext
{
public:
    static TClientContext& instance()
    {
        // Left to the end of the process: the library tears itself down at exit.
        static auto* context = new TClientContext;
        return *context;
    }

    // A reference to the current context for one connection; the caller frees it.
    ssl_ctx_st* acquire()
    {
        std::lock_guard lock(m_mutex);
        const char* file = std::getenv("SSL_CERT_FILE");
        const char* dir = std::getenv("SSL_CERT_DIR");
        std::string trust = std::string(file ? file : "\n") + '\0' + (dir ? dir : "\n");
        if (!m_context || trust != m_trust) {
            ssl_ctx_st* made = make();
            forgetAll();
            if (m_context)
                SSL_CTX_free(m_context);
            m_context = made;
            m_trust = trust;
        }
        SSL_CTX_up_ref(m_context);
        return m_context;
    }

    void offer(ssl_st* ssl, const std::string& key)
    {
        std::lock_guard lock(m_mutex);
        auto found = m_sessions.find(key);
        if (found != m_sessions.end() && SSL_get_SSL_CTX(ssl) == m_context && SSL_SESSION_is_resumable(found->second))
            SSL_set_session(ssl, found->second);
    }

    // Takes the reference to the session when it keeps it.
    bool keep(ssl_st* ssl, SSL_SESSION* session, const std::string& key)
    {
        std::lock_guard lock(m_mutex);
        if (SSL_get_SSL_CTX(ssl) != m_context)
            return false;
        if (m_sessions.size() >= MaxSessions && !m_sessions.contains(key))
            forgetAll();
        SSL_SESSION*& slot = m_sessions[key];
        if (slot)
            SSL_SESSION_free(slot);
        slot = session;
        return true;
    }

    void forget(const std::string& key)
    {
        std::lock_guard lock(m_mutex);
        auto found = m_sessions.find(key);
        if (found != m_sessions.end()) {
            SSL_SESSION_free(found->second);
            m_sessions.erase(found);
        }
    }

private:
    static constexpr size_t MaxSessions = 1024;

    static ssl_ctx_st* make();

    void forgetAll()
    {
        for (auto& [key, session] : m_sessions)
            SSL_SESSION_free(session);
        m_sessions.clear();
    }

    std::mutex m_mutex;
    ssl_ctx_st* m_context = nullptr;
    std::string m_trust;
    std::map<std::string, SSL_SESSION*> m_sessions;
};

// The library hands every new session here; TLS 1.3 sends them after the handshake, with the first data.
int keepSession(SSL* ssl, SSL_SESSION* session)
{
    auto* key = static_cast<const std::string*>(SSL_get_app_data(ssl));
    return key && TClientContext::instance().keep(ssl, session, *key) ? 1 : 0;
}

ssl_ctx_st* TClientContext::make()
{
    ERR_clear_error();
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context)
        throw ETlsError("TLS error: " + lastErrorText());
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // Pages are read to the close, and many servers close without the TLS close notice.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // The socket layer retries a send from its buffer, which may have moved in the meantime.
    SSL_CTX_set_mode(context, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, keepSession);
    // The system's trusted certificates; SSL_CERT_FILE and SSL_CERT_DIR are honoured here.
    if (SSL_CTX_set_default_verify_paths(context) != 1) {
        SSL_CTX_free(context);
        throw ETlsError("TLS error: " + lastErrorText());
    }
    return context;
}

TTlsSession* sessionOf(BIO* bio)
{
    return static_cast<TTlsSession*>(BIO_get_data(bio));
}

// The library's reads and writes go to the layer below; a failure there must not unwind through the library.
int bioWrite(BIO* bio, const char* data, int size)
{
    BIO_clear_retry_flags(bio);
    TTlsSession* session = sessionOf(bio);
    try {
        long sent = session->below()->send(data, static_cast<std::size_t>(size));
        if (sent < 0)
            BIO_set_retry_write(bio);
        return static_cast<int>(sent);
    } catch (...) {
        session->keepFailure(std::current_exception());
        return -1;
    }
}

int bioRead(BIO* bio, char* data, int size)
{
    BIO_clear_retry_flags(bio);
    TTlsSession* session = sessionOf(bio);
    try {
        long received = session->below()->receive(data, static_cast<std::size_t>(size));
        if (received < 0)
            BIO_set_retry_read(bio);
        if (received == 0)
            session->markEnd();
        return static_cast<int>(received);
    } catch (...) {
        session->keepFailure(std::current_exception());
        return -1;
    }
}

// The library tells the peer's plain close from a broken read by asking for the end of the stream.
long bioControl(BIO* bio, int command, long, void*)
{
    if (command == BIO_CTRL_EOF)
        return sessionOf(bio)->ended() ? 1 : 0;
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* transportMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* created = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "vantrel transport");
        BIO_meth_set_write(created, bioWrite);
        BIO_meth_set_read(created, bioRead);
        BIO_meth_set_ctrl(created, bioControl);
        BIO_meth_set_create(created, bioCreate);
        return created;
    }();
    return method;
}

bool isAddress(const std::string& host)
{
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

uint16_t peerPort(int fd)
{
    sockaddr_storage peer {};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return 0;
    if (peer.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&peer)->sin_port);
}

} // namespace

TTlsSession::TTlsSession() = default;

TTlsSession::~TTlsSession()
{
    if (m_ssl)
        SSL_free(m_ssl);
}

void TTlsSession::start(int fd, const std::string& host)
{
    m_ownBelow = std::make_unique<TSocketTransport>(fd);
    start(*m_ownBelow, host, peerPort(fd));
}

void TTlsSession::start(TTransport& below, const std::string& host, uint16_t port)
{
    m_below = &below;
    m_key = host + ":" + std::to_string(port);
    SSL_CTX* context = TClientContext::instance().acquire();
    m_ssl = SSL_new(context);
    SSL_CTX_free(context); // the connection holds its own reference
    if (!m_ssl)
        throw ETlsError("TLS error: " + lastErrorText());
    SSL_set_app_data(m_ssl, &m_key);
    if (isAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(m_ssl, host.c_str());
        SSL_set1_host(m_ssl, host.c_str());
    }
    BIO* bio = BIO_new(transportMethod());
    if (!bio)
        throw ETlsError("TLS error: " + lastErrorText());
    BIO_set_data(bio, this);
    SSL_set_bio(m_ssl, bio, bio);
    SSL_set_connect_state(m_ssl);
    TClientContext::instance().offer(m_ssl, m_key);
}

void TTlsSession::rethrowBelow()
{
    if (m_failure) {
        ERR_clear_error();
        std::rethrow_exception(std::exchange(m_failure, nullptr));
    }
}

TTlsSession::Need TTlsSession::handshake()
{
    if (!m_ssl)
        throw ETlsError("TLS error: no connection");
    if (m_established)
        return Need::Nothing;
    ERR_clear_error();
    errno = 0;
    int result = SSL_do_handshake(m_ssl);
    if (result == 1) {
        m_established = true;
        return Need::Nothing;
    }
    int error = SSL_get_error(m_ssl, result);
    if (error == SSL_ERROR_WANT_READ)
        return Need::Read;
    if (error == SSL_ERROR_WANT_WRITE)
        return Need::Write;
    TClientContext::instance().forget(m_key);
    rethrowBelow();
    long verify = SSL_get_verify_result(m_ssl);
    if (verify != X509_V_OK) {
        ERR_clear_error();
        throw ETlsError(std::string("Certificate verify failed: ") + X509_verify_cert_error_string(verify));
    }
    std::string reason = lastErrorText();
    if (reason.empty())
        reason = errno != 0 ? std::strerror(errno) : "connection closed";
    throw ETlsError("TLS handshake failed: " + reason);
}

bool TTlsSession::resumed() const
{
    return m_ssl && m_established && SSL_session_reused(m_ssl) == 1;
}

TTlsSession::Need TTlsSession::needFor(int result, const char* what)
{
    int error = SSL_get_error(m_ssl, result);
    if (error == SSL_ERROR_WANT_READ)
        return Need::Read;
    if (error == SSL_ERROR_WANT_WRITE)
        return Need::Write;
    if (error == SSL_ERROR_ZERO_RETURN)
        return Need::Nothing;
    rethrowBelow();
    std::string reason = lastErrorText();
    if (reason.empty())
        reason = errno != 0 ? std::strerror(errno) : "connection closed";
    throw ETlsError(std::string("TLS error: ") + what + ": " + reason);
}

long TTlsSession::send(const char* data, std::size_t size, Need& need)
{
    need = Need::Nothing;
    if (!m_established)
        throw ETlsError("TLS error: no connection");
    if (size == 0)
        return 0;
    ERR_clear_error();
    errno = 0;
    std::size_t written = 0;
    int result = SSL_write_ex(m_ssl, data, size, &written);
    if (result == 1)
        return static_cast<long>(written);
    need = needFor(result, "send");
    if (need == Need::Nothing)
        throw ETlsError("TLS error: send: connection closed");
    return -1;
}

long TTlsSession::receive(char* data, std::size_t size, Need& need)
{
    need = Need::Nothing;
    if (!m_established)
        throw ETlsError("TLS error: no connection");
    if (size == 0)
        return 0;
    ERR_clear_error();
    errno = 0;
    std::size_t read = 0;
    int result = SSL_read_ex(m_ssl, data, size, &read);
    if (result == 1)
        return static_cast<long>(read);
    need = needFor(result, "receive");
    return need == Need::Nothing ? 0 : -1;
}

std::size_t TTlsSession::pending() const
{
    return m_ssl ? static_cast<std::size_t>(SSL_pending(m_ssl)) : 0;
}

void TTlsSession::close()
{
    if (m_ssl && m_established) {
        ERR_clear_error();
        SSL_shutdown(m_ssl);
        ERR_clear_error();
        m_failure = nullptr;
    }
    m_established = false;
}
