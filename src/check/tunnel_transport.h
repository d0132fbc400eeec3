#pragma once

#include "check/transport.h"

#include <cstddef>
#include <string>

// A CONNECT tunnel through an HTTP proxy over the layer below. Once open, bytes pass through unchanged; whatever
// came after the proxy's answer in the same read is handed out first.
class TTunnelTransport : public TTransport
{
public:
    static constexpr size_t MaxAnswerLength = size_t { 64 } * 1024;

    // target is "host:port" as the request names it; extraLines are whole header lines, each with CR LF.
    TTunnelTransport(TTransport& below, const std::string& target, const std::string& extraLines);

    // Sends the request and reads the proxy's answer: Nothing when the tunnel stands, else what to wait for.
    // A refusal or a broken answer raises TSocketError.
    TNeed open();

    long send(const char* data, size_t size) override { return m_below.send(data, size); }
    long receive(char* data, size_t size) override;
    size_t pending() const override { return m_buffer.size() + m_below.pending(); }
    void closing() override { m_below.closing(); }
    TNeed need() const override { return m_below.need(); }
    int socket() const override { return m_below.socket(); }

private:
    TTransport& m_below;
    std::string m_request;
    size_t m_sent = 0;
    std::string m_buffer; // the answer while it is read, then the bytes that followed it
    bool m_open = false;
};
