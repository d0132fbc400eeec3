#include "support/tls_server.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace test {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error("test TLS: " + what);
}

EVP_PKEY* makeKey()
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key)
        fail("key generation");
    return key;
}

std::string pemOf(X509* certificate)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return pem;
}

std::string pemOf(EVP_PKEY* key)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return pem;
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (!extension)
        fail("extension " + value);
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

X509* makeCertificate(EVP_PKEY* key, const std::string& commonName, long fromSeconds, long toSeconds)
{
    static std::atomic<long> serial { 1 };
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate), fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(certificate), toSeconds);
    X509_set_pubkey(certificate, key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate), "CN", MBSTRING_UTF8,
        reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
    return certificate;
}

bool isAddress(const std::string& host)
{
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

constexpr long Day = 24L * 60 * 60;

} // namespace

struct TlsAuthority::Key
{
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
};

TlsAuthority::TlsAuthority(const std::string& commonName)
    : m_key(std::make_unique<Key>())
{
    m_key->key = makeKey();
    m_key->certificate = makeCertificate(m_key->key, commonName, -Day, 365 * Day);
    X509_set_issuer_name(m_key->certificate, X509_get_subject_name(m_key->certificate));
    addExtension(m_key->certificate, m_key->certificate, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(m_key->certificate, m_key->certificate, NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(m_key->certificate, m_key->certificate, NID_subject_key_identifier, "hash");
    if (X509_sign(m_key->certificate, m_key->key, EVP_sha256()) == 0)
        fail("authority signature");
    m_certificatePem = pemOf(m_key->certificate);
}

TlsAuthority::~TlsAuthority()
{
    X509_free(m_key->certificate);
    EVP_PKEY_free(m_key->key);
}

TlsIdentity TlsAuthority::issue(const std::string& host, int validDays) const
{
    EVP_PKEY* key = makeKey();
    long from = validDays < 0 ? (validDays - 30) * Day : -Day;
    long to = static_cast<long>(validDays) * Day;
    X509* certificate = makeCertificate(key, host, from, to);
    X509_set_issuer_name(certificate, X509_get_subject_name(m_key->certificate));
    addExtension(certificate, m_key->certificate, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate, m_key->certificate, NID_ext_key_usage, "serverAuth");
    addExtension(certificate, m_key->certificate, NID_subject_alt_name, (isAddress(host) ? "IP:" : "DNS:") + host);
    if (X509_sign(certificate, m_key->key, EVP_sha256()) == 0)
        fail("certificate signature");
    TlsIdentity identity { pemOf(certificate), pemOf(key) };
    X509_free(certificate);
    EVP_PKEY_free(key);
    return identity;
}

void TlsAuthority::writeTrustFile(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << m_certificatePem;
    if (!out)
        fail("cannot write " + path);
}

TrustOnly::TrustOnly(const std::string& pemFile)
{
    const char* file = std::getenv("SSL_CERT_FILE");
    const char* dir = std::getenv("SSL_CERT_DIR");
    m_hadFile = file != nullptr;
    m_hadDir = dir != nullptr;
    if (file)
        m_oldFile = file;
    if (dir)
        m_oldDir = dir;
    setenv("SSL_CERT_FILE", pemFile.c_str(), 1);
    setenv("SSL_CERT_DIR", "/nonexistent", 1);
}

TrustOnly::~TrustOnly()
{
    if (m_hadFile)
        setenv("SSL_CERT_FILE", m_oldFile.c_str(), 1);
    else
        unsetenv("SSL_CERT_FILE");
    if (m_hadDir)
        setenv("SSL_CERT_DIR", m_oldDir.c_str(), 1);
    else
        unsetenv("SSL_CERT_DIR");
}

TlsServer::TlsServer(TlsIdentity identity)
    : TlsServer(std::move(identity), Options {})
{
}

TlsServer::TlsServer(TlsIdentity identity, Options options)
    : m_identity(std::move(identity))
    , m_options(std::move(options))
    , m_replies { "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok" }
{
    // The library writes alerts with write(2); a client that has already gone must not end the tests.
    std::signal(SIGPIPE, SIG_IGN);
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listener, 16) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::pipe(m_wake) != 0)
        fail("listen");
    m_port = ntohs(address.sin_port);

    m_context = SSL_CTX_new(TLS_server_method());
    BIO* certificateBio = BIO_new_mem_buf(m_identity.certificatePem.data(), -1);
    BIO* keyBio = BIO_new_mem_buf(m_identity.keyPem.data(), -1);
    X509* certificate = PEM_read_bio_X509(certificateBio, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    SSL_CTX_use_certificate(m_context, certificate);
    SSL_CTX_use_PrivateKey(m_context, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    BIO_free(certificateBio);
    BIO_free(keyBio);
    if (m_options.maxVersion != 0 && m_options.maxVersion < TLS1_2_VERSION) {
        // Old protocol versions are refused at the default security level.
        SSL_CTX_set_security_level(m_context, 0);
        SSL_CTX_set_cipher_list(m_context, "DEFAULT:@SECLEVEL=0");
    }
    if (m_options.minVersion)
        SSL_CTX_set_min_proto_version(m_context, m_options.minVersion);
    if (m_options.maxVersion)
        SSL_CTX_set_max_proto_version(m_context, m_options.maxVersion);
    m_thread = std::thread([this] { run(); });
}

TlsServer::~TlsServer()
{
    (void)!::write(m_wake[1], "x", 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    SSL_CTX_free(m_context);
}

void TlsServer::script(std::vector<std::string> replies)
{
    std::lock_guard lock(m_mutex);
    m_replies = std::move(replies);
    m_nextReply = 0;
}

std::vector<std::string> TlsServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<std::string> TlsServer::tunnelRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_tunnelRequests;
}

std::string TlsServer::url(const std::string& path, const std::string& host) const
{
    return "https://" + host + ":" + std::to_string(m_port) + path;
}

std::string TlsServer::nextReply()
{
    std::lock_guard lock(m_mutex);
    if (m_replies.empty())
        return {};
    std::string reply = m_replies[std::min(m_nextReply, m_replies.size() - 1)];
    ++m_nextReply;
    return reply;
}

void TlsServer::run()
{
    for (;;) {
        pollfd fds[2] = { { m_listener, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++m_connections;
        // A client that goes quiet must not hold the server for ever.
        timeval limit { 5, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        serve(fd);
        ::close(fd);
    }
}

namespace {

// Reads up to the blank line that ends a request head, through the given read function.
template <typename Read>
std::string readHead(Read read)
{
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
        int got = read(buffer, sizeof buffer);
        if (got <= 0)
            break;
        head.append(buffer, static_cast<std::size_t>(got));
    }
    return head;
}

} // namespace

void TlsServer::serve(int fd)
{
    if (m_options.stallHandshake) {
        // Until the client gives up (closes) or the server ends.
        pollfd fds[2] = { { fd, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        while (::poll(fds, 2, -1) >= 0 && !fds[1].revents) {
            char buffer[1024];
            if (::recv(fd, buffer, sizeof buffer, 0) <= 0)
                return;
        }
        return;
    }
    if (m_options.tunnel) {
        std::string head = readHead([fd](char* data, int size) {
            return static_cast<int>(::recv(fd, data, static_cast<std::size_t>(size), 0));
        });
        {
            std::lock_guard lock(m_mutex);
            m_tunnelRequests.push_back(head);
        }
        const std::string& reply = m_options.tunnelReply;
        ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        if (reply.compare(0, 10, "HTTP/1.0 2") != 0 && reply.compare(0, 10, "HTTP/1.1 2") != 0)
            return;
    }
    if (m_options.plainAnswer) {
        char buffer[4096];
        (void)::recv(fd, buffer, sizeof buffer, 0);
        std::string reply = nextReply();
        ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        return;
    }

    SSL* ssl = SSL_new(m_context);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
        if (SSL_session_reused(ssl))
            ++m_resumed;
        std::string head = readHead([ssl](char* data, int size) { return SSL_read(ssl, data, size); });
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(head);
        }
        std::string reply = nextReply();
        if (!reply.empty())
            SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
        if (!m_options.noCloseNotify)
            SSL_shutdown(ssl);
    }
    ERR_clear_error();
    SSL_free(ssl);
}

} // namespace test
