#include "check/tls_transport.h"

TTlsTransport::TTlsTransport(TTransport& below, const std::string& host, uint16_t port)
    : m_below(below)
{
    m_session.start(below, host, port);
}

TNeed TTlsTransport::open()
{
    m_need = m_session.handshake();
    return m_need;
}

long TTlsTransport::send(const char* data, size_t size)
{
    return m_session.send(data, size, m_need);
}

long TTlsTransport::receive(char* data, size_t size)
{
    return m_session.receive(data, size, m_need);
}
