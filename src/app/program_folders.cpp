#include "app/program_folders.h"

#include "base/byte_text.h"
#include "base/exception.h"
#include "character/data_file_list.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string currentFolder()
{
    std::string buffer(256, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            throw TException("getcwd", errno);
        buffer.resize(buffer.size() * 2);
    }
    return withTrailingSlash(buffer.c_str());
}

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir ? user->pw_dir : "/";
}

bool isFolder(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes `folder` (absolute) and each missing parent with mode 0700.
void makeFolder(const std::string& folder)
{
    for (size_t end = folder.find('/', 1); end != std::string::npos; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            const int error = errno;
            throw TException("設定フォルダを作れません: " + part + " (" + std::strerror(error) + ")", error);
        }
    }
    if (!isFolder(folder))
        throw TException("設定フォルダを作れません: " + folder + " (" + std::strerror(ENOTDIR) + ")", ENOTDIR);
}

} // namespace

std::string settingsFolder(const TCommandLine& commandLine)
{
    std::string folder;
    switch (commandLine.folderKind) {
    case TCommandLine::TFolder::Current:
        return currentFolder();
    case TCommandLine::TFolder::Given:
        folder = commandLine.folder.starts_with('/') ? commandLine.folder : currentFolder() + commandLine.folder;
        break;
    case TCommandLine::TFolder::Xdg:
        folder = xdgSettingsFolder();
        break;
    }
    folder = withTrailingSlash(folder);
    makeFolder(folder);
    return folder;
}

std::string xdgSettingsFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // The base directory rules ignore a relative path here.
    if (config && config[0] == '/')
        return withTrailingSlash(config) + "vantrel/";
    return withTrailingSlash(homeFolder()) + ".config/vantrel/";
}

std::string characterFolder(const std::string& programFolder)
{
    std::string beside = withTrailingSlash(programFolder);
    if (!ListCharacters(beside, {}).empty())
        return beside;
    const size_t parentEnd = beside.find_last_of('/', beside.size() - 2);
    if (parentEnd == std::string::npos)
        return beside;
    const std::string shared = beside.substr(0, parentEnd + 1) + "share/vantrel/";
    return isFolder(shared) ? shared : beside;
}
