#pragma once

#include <string>
#include <vector>

// One character data file found in the character folders: its display name (Shift_JIS) and full path.
struct TDataFileItem
{
    std::string name;
    std::string path;
};

using TDataFileList = std::vector<TDataFileItem>;
