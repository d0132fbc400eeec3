#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One character data file found in the character folders: its display name (Shift_JIS) and full path.
struct TDataFileItem
{
    std::string name;
    std::string path;
};

using TDataFileList = std::vector<TDataFileItem>;

// Empties `list` and fills it with the character files ("*.dat") of the first folder, then of the second
// unless it is empty or the same folder spelt with other letter case; returns the number of entries.
// Folders are taken with or without their trailing '/'. Files too short for their sections, unreadable
// files and folders are skipped; a missing folder lists nothing. Within a folder files come in name
// order, so the first character found does not depend on the file system's enumeration order.
size_t ListCharacters(TDataFileList& list, const std::string& firstDir, const std::string& secondDir);
TDataFileList ListCharacters(const std::string& firstDir, const std::string& secondDir);
