#pragma once

#include "check/transport.h"

// The bottom layer: a connected non-blocking TCP socket that its owner keeps and closes.
// Failures raise TSocketError with the socket error message of the call.
class TSocketTransport : public TTransport
{
public:
    explicit TSocketTransport(int fd)
        : m_fd(fd)
    {
    }

    long send(const char* data, size_t size) override;
    long receive(char* data, size_t size) override;
    size_t pending() const override { return 0; }
    void closing() override { }
    TNeed need() const override { return m_need; }
    int socket() const override { return m_fd; }

private:
    int m_fd;
    TNeed m_need = TNeed::Nothing;
};
