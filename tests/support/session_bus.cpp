#include "support/session_bus.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

TSessionBus::TSessionBus()
{
    const std::string config = m_dir.file("session.conf");
    writeFile(config,
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><type>session</type><listen>unix:dir="
            + m_dir.path()
            + "</listen><auth>EXTERNAL</auth>"
              "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    const std::string configOption = "--config-file=" + config;
    m_pid = ::fork();
    if (m_pid == 0) {
        // The daemon ends with the test program however it ends, and holds none of its output open.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::close(fds[0]);
        ::dup2(fds[1], 3);
        ::execlp("dbus-daemon", "dbus-daemon", configOption.c_str(), "--nofork", "--print-address=3", nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    // The daemon prints its address once it listens; a missing daemon closes the pipe without a line.
    std::string line;
    pollfd wait = { fds[0], POLLIN, 0 };
    while (line.find('\n') == std::string::npos && ::poll(&wait, 1, 10000) > 0) {
        char buffer[256];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (line.find('\n') != std::string::npos)
        m_address = line.substr(0, line.find('\n'));
}

TSessionBus::~TSessionBus()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
}

} // namespace test
