#include "check/socket_transport.h"

#include "check/powersock.h"

#include <cerrno>
#include <sys/socket.h>

namespace {

// The one place where a send or receive interrupted by a signal is repeated.
template <typename Call>
ssize_t retried(Call call)
{
    ssize_t result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

[[noreturn]] void fail(int errnoValue)
{
    int code = socketErrorCode(errnoValue);
    throw TSocketError(socketErrorMessage(code), code);
}

} // namespace

long TSocketTransport::send(const char* data, size_t size)
{
    m_need = TNeed::Nothing;
    ssize_t sent = retried([&] { return ::send(m_fd, data, size, MSG_NOSIGNAL); });
    if (sent > 0 || (sent == 0 && size == 0))
        return sent;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        m_need = TNeed::Write;
        return -1;
    }
    fail(sent < 0 ? errno : EPIPE);
}

long TSocketTransport::receive(char* data, size_t size)
{
    m_need = TNeed::Nothing;
    ssize_t received = retried([&] { return ::recv(m_fd, data, size, 0); });
    if (received >= 0)
        return received;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        m_need = TNeed::Read;
        return -1;
    }
    fail(errno);
}
