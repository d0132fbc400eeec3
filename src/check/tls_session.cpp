#include "check/tls_session.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

namespace {

// OpenSSL's own socket BIO writes with write(2), which raises SIGPIPE on a peer that has gone;
// this one sends with MSG_NOSIGNAL so a closed connection is an error, not the end of the program.
int socketOf(BIO* bio)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int bioWrite(BIO* bio, const char* data, int size)
{
    BIO_clear_retry_flags(bio);
    ssize_t sent;
    do
        sent = ::send(socketOf(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int bioRead(BIO* bio, char* data, int size)
{
    BIO_clear_retry_flags(bio);
    ssize_t received;
    do
        received = ::recv(socketOf(bio), data, static_cast<std::size_t>(size), 0);
    while (received < 0 && errno == EINTR);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_read(bio);
    return static_cast<int>(received);
}

long bioControl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* socketMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* created = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "vantrel socket");
        BIO_meth_set_write(created, bioWrite);
        BIO_meth_set_read(created, bioRead);
        BIO_meth_set_ctrl(created, bioControl);
        BIO_meth_set_create(created, bioCreate);
        return created;
    }();
    return method;
}

std::string lastErrorText()
{
    unsigned long code = ERR_peek_last_error();
    if (code == 0)
        return {};
    const char* reason = ERR_reason_error_string(code);
    ERR_clear_error();
    return reason ? reason : "error " + std::to_string(code);
}

bool isAddress(const std::string& host)
{
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

} // namespace

TTlsSession::TTlsSession() = default;

TTlsSession::~TTlsSession()
{
    if (m_ssl)
        SSL_free(m_ssl);
    if (m_context)
        SSL_CTX_free(m_context);
}

void TTlsSession::start(int fd, const std::string& host)
{
    ERR_clear_error();
    m_context = SSL_CTX_new(TLS_client_method());
    if (!m_context)
        throw ETlsError("TLS error: " + lastErrorText());
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    // Pages are read to the close, and many servers close without the TLS close notice.
    SSL_CTX_set_options(m_context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // The socket layer retries a send from its buffer, which may have moved in the meantime.
    SSL_CTX_set_mode(m_context, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
    // The system's trusted certificates; SSL_CERT_FILE and SSL_CERT_DIR are honoured here.
    if (SSL_CTX_set_default_verify_paths(m_context) != 1)
        throw ETlsError("TLS error: " + lastErrorText());

    m_ssl = SSL_new(m_context);
    if (!m_ssl)
        throw ETlsError("TLS error: " + lastErrorText());
    if (isAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(m_ssl, host.c_str());
        SSL_set1_host(m_ssl, host.c_str());
    }
    BIO* bio = BIO_new(socketMethod());
    if (!bio)
        throw ETlsError("TLS error: " + lastErrorText());
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    SSL_set_bio(m_ssl, bio, bio);
    SSL_set_connect_state(m_ssl);
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

TTlsSession::Need TTlsSession::needFor(int result, const char* what)
{
    int error = SSL_get_error(m_ssl, result);
    if (error == SSL_ERROR_WANT_READ)
        return Need::Read;
    if (error == SSL_ERROR_WANT_WRITE)
        return Need::Write;
    if (error == SSL_ERROR_ZERO_RETURN)
        return Need::Nothing;
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
    }
    m_established = false;
}
