#pragma once

#include "history/history_texts.h"
#include "platform/folder_lock.h"
#include "session/ini_settings.h"
#include "store/config.h"

#include <memory>
#include <string>

// The settings folder as one unit, for the window and the headless command alike: the lock that keeps one
// program per folder, the leftovers of writes that were killed, vantrel.cfg and vantrel.ini. Held for the
// program's whole life, so that the lock lasts until the settings are written at the end.
class TSettingsSession
{
public:
    static constexpr const char* SettingsFileName = "vantrel.cfg";
    static constexpr const char* IniFileName = "vantrel.ini";

    // Takes the folder's lock and, once it holds it, removes what killed writes of the settings file left.
    // A folder in use or where no lock can be made is still read and written; the caller decides.
    explicit TSettingsSession(const std::string& folder);
    TSettingsSession(const TSettingsSession&) = delete;
    TSettingsSession& operator=(const TSettingsSession&) = delete;

    TFolderLock::State lockState() const noexcept { return m_lock.state(); }
    // Another program holds the folder.
    bool inUse() const noexcept { return m_lock.state() == TFolderLock::State::InUse; }
    // Ends with "/".
    const std::string& folder() const noexcept { return m_folder; }
    std::string settingsPath() const { return m_folder + SettingsFileName; }
    std::string iniPath() const { return m_folder + IniFileName; }

    // vantrel.cfg, where a file that cannot be read leaves the factory values; then vantrel.ini, whose
    // values of the run the settings take.
    void read(TConfig& config);
    // As read, but a settings file that is there and cannot be used raises TException and leaves `config`
    // unchanged; a missing one leaves the factory values.
    void load(TConfig& config);
    // vantrel.cfg alone; false, with the old file as it was, when it could not be written.
    bool writeSettings(const TConfig& config) const;
    // vantrel.cfg, then vantrel.ini with the settings' values of the run and whatever else it holds; then the
    // history lets go of the items that were deleted.
    bool write(const TConfig& config);

    // The history of the items' page texts beside the settings, with the depth vantrel.ini gives; the file is
    // opened at its first use, so a store that cannot be used only fails the calls that need it.
    THistoryTexts& history();
    // Drops the history of every item that is no longer in the list; a store that cannot be used is left alone.
    void forgetRemovedItems(const TCheckItems& items);

    // The keys of vantrel.ini beyond those of the run, as the window's geometry.
    TIniSettings& ini() noexcept { return m_ini; }
    const TIniSettings& ini() const noexcept { return m_ini; }

private:
    void readIni(TConfig& config);

    std::string m_folder;
    TFolderLock m_lock;
    TIniSettings m_ini;
    std::unique_ptr<THistoryTexts> m_history;
};
