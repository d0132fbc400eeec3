#include "check/tunnel_transport.h"

#include "check/powersock.h"

#include <algorithm>
#include <cstring>

TTunnelTransport::TTunnelTransport(TTransport& below, const std::string& target, const std::string& extraLines)
    : m_below(below)
    , m_request("CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n" + extraLines + "\r\n")
{
}

TNeed TTunnelTransport::open()
{
    while (m_sent < m_request.size()) {
        long sent = m_below.send(m_request.data() + m_sent, m_request.size() - m_sent);
        if (sent < 0)
            return m_below.need();
        m_sent += static_cast<size_t>(sent);
    }
    while (!m_open) {
        char piece[4096];
        long received = m_below.receive(piece, sizeof piece);
        if (received < 0)
            return m_below.need();
        if (received == 0)
            throw TSocketError("Proxy closed the tunnel", 0);
        const size_t scanFrom = m_buffer.size() < 3 ? 0 : m_buffer.size() - 3;
        m_buffer.append(piece, static_cast<size_t>(received));
        size_t end = m_buffer.find("\r\n\r\n", scanFrom);
        size_t endLength = 4;
        if (size_t bare = m_buffer.find("\n\n", scanFrom); bare < end) {
            end = bare;
            endLength = 2;
        }
        if (end == std::string::npos) {
            if (m_buffer.size() > MaxAnswerLength)
                throw TSocketError("Proxy tunnel failed: answer too long", 0);
            continue;
        }
        std::string statusLine = m_buffer.substr(0, m_buffer.find('\n'));
        if (!statusLine.empty() && statusLine.back() == '\r')
            statusLine.pop_back();
        int code = statusCodeOf(statusLine);
        if (code < 200 || code > 299)
            throw TSocketError("Proxy refused the tunnel: " + statusLine, 0);
        m_buffer.erase(0, end + endLength);
        m_open = true;
    }
    return TNeed::Nothing;
}

long TTunnelTransport::receive(char* data, size_t size)
{
    if (m_buffer.empty())
        return m_below.receive(data, size);
    size_t take = std::min(size, m_buffer.size());
    std::memcpy(data, m_buffer.data(), take);
    m_buffer.erase(0, take);
    return static_cast<long>(take);
}
