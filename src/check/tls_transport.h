#pragma once

#include "check/tls_session.h"
#include "check/transport.h"

#include <cstdint>
#include <string>

// TLS over the layer below: the bytes given to send leave encrypted, received ones arrive decrypted.
class TTlsTransport : public TTransport
{
public:
    TTlsTransport(TTransport& below, const std::string& host, uint16_t port);

    // Advances the handshake: Nothing when it is done, else what to wait for before the next call.
    TNeed open();
    bool resumed() const { return m_session.resumed(); }

    long send(const char* data, size_t size) override;
    long receive(char* data, size_t size) override;
    size_t pending() const override { return m_session.pending() + m_below.pending(); }
    void closing() override { m_session.close(); }
    TNeed need() const override { return m_need; }
    int socket() const override { return m_below.socket(); }

private:
    TTransport& m_below;
    TTlsSession m_session;
    TNeed m_need = TNeed::Nothing;
};
