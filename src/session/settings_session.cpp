#include "session/settings_session.h"

#include "base/byte_text.h"
#include "base/exception.h"
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
    if (written)
        forgetRemovedItems(config.items);
    return written;
}

THistoryTexts& TSettingsSession::history()
{
    if (!m_history)
        m_history = std::make_unique<THistoryTexts>(m_folder, m_ini.historyDepth());
    return *m_history;
}

void TSettingsSession::forgetRemovedItems(const TCheckItems& items)
{
    // A folder without a history has nothing to forget; none is made for it.
    if (!m_history && !fileExists(m_folder + THistoryStore::FileName))
        return;
    std::vector<std::string> ids;
    ids.reserve(items.count());
    for (const TCheckItem& item : items)
        ids.push_back(item.id());
    try {
        history().store().retainItems(ids);
    } catch (const TException&) {
        // The history is beside the settings, never in their way: what it cannot drop now it drops next time.
    }
}
