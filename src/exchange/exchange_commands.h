#pragma once

#include "store/config.h"

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>

enum class TExchangeFormat {
    UriList,
    TabText,
    Xml,
    Html,
};

// What a file dialog of an exchange command shows, in UTF-8. The filter is "name|pattern|name|pattern".
struct TExchangeDialog
{
    std::string title;
    std::string filter;
    std::string defaultExtension;
};

TExchangeDialog exportDialog(TExchangeFormat format);
TExchangeDialog importDialog(TExchangeFormat format);

// Writes the items whose exportMark is set in the format; raises TException when the file cannot be written.
void exportItems(TExchangeFormat format, const std::string& path, const TCheckItems& items, const TConfig& config,
    std::time_t now = std::time(nullptr));

// An export command: marks the items by the exportAll option and the selected rows. With none marked it ends
// at once; otherwise chooseFile is asked for the file name (empty when the user cancels) and the file is
// written. Returns whether a file was written; raises TException when it cannot be.
bool runExportCommand(TExchangeFormat format, TConfig& config, const std::function<bool(size_t)>& selected,
    const std::function<std::string()>& chooseFile, std::time_t now = std::time(nullptr));

// Appends the items of the file in the format; raises TException when it cannot be read (the list is unchanged).
void importItems(TExchangeFormat format, const std::string& path, TCheckItems& items, const TConfig& config);

// An import command: chooseFile gives the file name (empty when the user cancels); the file's items are
// appended to the settings' list. Returns whether a file was read; raises TException when it cannot be.
bool runImportCommand(TExchangeFormat format, TConfig& config, const std::function<std::string()>& chooseFile);

// The list report command: with any item marked, writes the page to the report file of the settings folder
// and returns its path; returns an empty text when no item is marked. Raises TException when it cannot be written.
std::string writeListReport(TConfig& config, const std::function<bool(size_t)>& selected,
    const std::string& settingsDir, std::time_t now = std::time(nullptr));
