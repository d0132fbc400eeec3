#include "character/data_file_list.h"

#include "base/byte_text.h"
#include "base/exception.h"
#include "character/character_data.h"
#include "platform/std_file.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <sys/stat.h>

namespace {

bool hasDatExtension(const std::string& name)
{
    return name.size() > 4 && equalsIgnoringAsciiCase(name.substr(name.size() - 4), ".dat");
}

// The display name of a character file, or false when the file is not a usable one.
bool readName(const std::string& path, std::string& name)
{
    try {
        TStdFile file(path, "rb");
        uint8_t head[TCharactorHeader::Size];
        if (file.read(head, sizeof head) != sizeof head)
            return false;
        const TCharactorHeader header = TCharactorHeader::parse(head);
        if (uint64_t(file.size()) < header.sectionsEnd())
            return false;
        name.assign(header.nameSize, '\0');
        file.seek(header.nameOffset, IFile::Origin::Begin);
        return header.nameSize == 0 || file.read(name.data(), name.size()) == name.size();
    } catch (const TException&) {
        return false;
    }
}

void listFolder(const std::string& folder, TDataFileList& list)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (hasDatExtension(name))
            names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());

    for (const auto& name : names) {
        const std::string path = folder + name;
        struct stat info;
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        TDataFileItem item { {}, path };
        if (readName(path, item.name))
            list.push_back(std::move(item));
    }
}

} // namespace

size_t ListCharacters(TDataFileList& list, const std::string& firstDir, const std::string& secondDir)
{
    list.clear();
    const std::string first = withTrailingSlash(firstDir);
    const std::string second = withTrailingSlash(secondDir);
    listFolder(first, list);
    if (!second.empty() && !equalsIgnoringAsciiCase(first, second))
        listFolder(second, list);
    return list.size();
}

TDataFileList ListCharacters(const std::string& firstDir, const std::string& secondDir)
{
    TDataFileList list;
    ListCharacters(list, firstDir, secondDir);
    return list;
}
