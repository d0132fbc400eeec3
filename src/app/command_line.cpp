#include "app/command_line.h"

#include <string_view>
#include <utility>

namespace {

constexpr std::string_view FolderOption = "--folder";
constexpr std::string_view XdgFolderOption = "--xdg-folder";

void setFolder(TCommandLine& commandLine, TCommandLine::TFolder kind, std::string folder, std::string_view option)
{
    if (commandLine.folderKind != TCommandLine::TFolder::Current) {
        commandLine.error = std::string(option) + ": the settings folder is already given";
        return;
    }
    commandLine.folderKind = kind;
    commandLine.folder = std::move(folder);
}

} // namespace

TCommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    TCommandLine commandLine;
    for (size_t i = 0; i < arguments.size() && commandLine.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == FolderOption) {
            if (i + 1 == arguments.size() || arguments[i + 1].empty())
                commandLine.error = std::string(FolderOption) + " needs a folder";
            else
                setFolder(commandLine, TCommandLine::TFolder::Given, arguments[++i], FolderOption);
        } else if (argument.starts_with(std::string(FolderOption) + "=")) {
            std::string folder = argument.substr(FolderOption.size() + 1);
            if (folder.empty())
                commandLine.error = std::string(FolderOption) + " needs a folder";
            else
                setFolder(commandLine, TCommandLine::TFolder::Given, std::move(folder), FolderOption);
        } else if (argument == XdgFolderOption) {
            setFolder(commandLine, TCommandLine::TFolder::Xdg, {}, XdgFolderOption);
        } else if (argument.starts_with("-")) {
            commandLine.error = "unknown option " + argument;
        } else {
            commandLine.error = "unexpected argument " + argument;
        }
    }
    return commandLine;
}

std::string usageText(const std::string& programName)
{
    return "Usage: " + programName + " [--folder DIR | --xdg-folder]\n"
        + "  --folder DIR    keep the settings in DIR (made when missing)\n"
        + "  --xdg-folder    keep the settings in $XDG_CONFIG_HOME/vantrel (~/.config/vantrel)\n"
        + "Without an option the settings are kept in the current folder.\n";
}
