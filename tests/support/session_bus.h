#pragma once

#include "support/temp_dir.h"

#include <string>
#include <sys/types.h>

namespace test {

// A D-Bus session bus of the test's own: a dbus-daemon child with a configuration that starts no service on
// demand, so that only the services a test registers answer. Ended with the object.
class TSessionBus
{
public:
    TSessionBus();
    ~TSessionBus();
    TSessionBus(const TSessionBus&) = delete;
    TSessionBus& operator=(const TSessionBus&) = delete;

    // The bus's address for DBUS_SESSION_BUS_ADDRESS; empty when dbus-daemon could not be started.
    const std::string& address() const { return m_address; }

private:
    TempDir m_dir;
    pid_t m_pid = -1;
    std::string m_address;
};

} // namespace test
