#include "session/settings_session.h"

#include "base/byte_text.h"
#include "platform/safe_file.h"
#include "store/store_file.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

bool fileExists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 || errno != ENOENT;
}

} // namespace

TSettingsSession::TSettingsSession(const std::string& folder)
    : m_folder(withTrailingSlash(folder))
    , m_lock(m_folder)
{
    // Only the holder of the lock may take the temporaries for leftovers: another program may be writing them.
    if (m_lock.state() == TFolderLock::State::Held)
        removeLeftoverTemporaries(settingsPath());
}

void TSettingsSession::read(TConfig& config)
{
    readSettingsFile(config, settingsPath());
    readIni(config);
}

void TSettingsSession::load(TConfig& config)
{
    if (fileExists(settingsPath()))
        loadSettingsFile(config, settingsPath());
    readIni(config);
}

void TSettingsSession::readIni(TConfig& config)
{
    m_ini.read(iniPath());
    config.concurrentChecks = m_ini.concurrentChecks();
    config.checkInterval = m_ini.checkInterval();
    config.checkAtStart = m_ini.checkAtStart() ? 1 : 0;
}

bool TSettingsSession::writeSettings(const TConfig& config) const
{
    return writeSettingsFile(config, settingsPath());
}

bool TSettingsSession::write(const TConfig& config)
{
    const bool written = writeSettings(config);
    m_ini.setConcurrentChecks(config.concurrentChecks);
    m_ini.setCheckInterval(config.checkInterval);
    m_ini.setCheckAtStart(config.checkAtStart != 0);
    m_ini.write(iniPath());
    return written;
}
