#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

namespace test {

// A certificate with its private key, both PEM.
struct TlsIdentity
{
    std::string certificatePem;
    std::string keyPem;
};

// A certificate authority made at run time, so no key or certificate is kept in the repository.
class TlsAuthority
{
public:
    explicit TlsAuthority(const std::string& commonName = "Vantrel Test Authority");
    ~TlsAuthority();
    TlsAuthority(const TlsAuthority&) = delete;
    TlsAuthority& operator=(const TlsAuthority&) = delete;

    // A server certificate for a host name or an IP address; validDays < 0 makes one that expired
    // that many days ago.
    TlsIdentity issue(const std::string& host, int validDays = 30) const;
    const std::string& certificatePem() const { return m_certificatePem; }
    void writeTrustFile(const std::string& path) const;

private:
    struct Key;
    std::unique_ptr<Key> m_key;
    std::string m_certificatePem;
};

// Makes the client trust exactly the certificates in one PEM file while it lives.
class TrustOnly
{
public:
    explicit TrustOnly(const std::string& pemFile);
    ~TrustOnly();
    TrustOnly(const TrustOnly&) = delete;
    TrustOnly& operator=(const TrustOnly&) = delete;

private:
    std::string m_oldFile, m_oldDir;
    bool m_hadFile, m_hadDir;
};

// A TLS server on 127.0.0.1 that answers each connection with the next scripted reply (the last one
// repeats) and records the request heads it reads. One server context serves every connection, so a client
// can resume its session. It can also act as a proxy that opens CONNECT tunnels
// to itself, stall the handshake, or answer in plain text.
class TlsServer
{
public:
    struct Options
    {
        int minVersion = 0; // TLS1_x_VERSION values; 0 leaves the library's choice
        int maxVersion = 0;
        bool stallHandshake = false; // accept, then never answer
        bool plainAnswer = false; // answer the first reply without TLS
        bool tunnel = false; // expect "CONNECT ..." first, answer tunnelReply, then TLS
        bool noCloseNotify = false; // end each answer by closing the socket without the TLS close notice
        std::string tunnelReply = "HTTP/1.0 200 Connection established\r\n\r\n";
    };

    explicit TlsServer(TlsIdentity identity);
    TlsServer(TlsIdentity identity, Options options);
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    void script(std::vector<std::string> replies);
    std::vector<std::string> requests() const;
    std::vector<std::string> tunnelRequests() const;
    int connections() const { return m_connections.load(); }
    // Connections whose handshake resumed an earlier session.
    int resumedConnections() const { return m_resumed.load(); }
    std::uint16_t port() const { return m_port; }
    std::string url(const std::string& path = "/", const std::string& host = "127.0.0.1") const;

private:
    void run();
    void serve(int fd);
    std::string nextReply();

    TlsIdentity m_identity;
    Options m_options;
    int m_listener = -1;
    int m_wake[2] = { -1, -1 };
    std::uint16_t m_port = 0;
    std::atomic<int> m_connections { 0 };
    std::atomic<int> m_resumed { 0 };
    ::ssl_ctx_st* m_context = nullptr;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_replies;
    std::size_t m_nextReply = 0;
    std::vector<std::string> m_requests;
    std::vector<std::string> m_tunnelRequests;
    std::thread m_thread;
};

} // namespace test
