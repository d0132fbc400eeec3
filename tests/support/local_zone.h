#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace test {

// Tue Dec 08 03:32:10 2026 in Japan, where the writers' dates are checked.
inline constexpr std::time_t ExportMoment = 1796668330;
inline constexpr const char* ExportDate = "Tue Dec 08 03:32:10 2026";

inline void useJapanTime()
{
    ::setenv("TZ", "JST-9", 1);
    ::tzset();
}

// Puts the process in the given time zone (a POSIX TZ text such as "UTC0" or "JST-9") for the guard's life.
class LocalZone
{
public:
    explicit LocalZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~LocalZone()
    {
        if (m_old)
            ::setenv("TZ", m_old->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    std::optional<std::string> m_old;
};

} // namespace test
