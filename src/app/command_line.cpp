#include "app/command_line.h"

#include "vantrel_version.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

namespace {

constexpr std::string_view FolderOption = "--folder";
constexpr std::string_view XdgFolderOption = "--xdg-folder";
constexpr std::string_view CheckOption = "--check";
constexpr std::string_view JobsOption = "--jobs";
constexpr std::string_view JsonOption = "--json";
constexpr std::string_view NotifyOption = "--notify";
constexpr std::string_view HelpOption = "--help";
constexpr std::string_view VersionOption = "--version";
constexpr int MostJobs = 16;

void setFolder(TCommandLine& commandLine, TCommandLine::TFolder kind, std::string folder, std::string_view option)
{
    if (commandLine.folderKind != TCommandLine::TFolder::Current) {
        commandLine.error = std::string(option) + ": the settings folder is already given";
        return;
    }
    commandLine.folderKind = kind;
    commandLine.folder = std::move(folder);
}

void setJobs(TCommandLine& commandLine, std::string_view text)
{
    int jobs = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (text.empty() || failure != std::errc() || end != text.data() + text.size() || jobs < 1 || jobs > MostJobs)
        commandLine.error = std::string(JobsOption) + " needs a number from 1 to " + std::to_string(MostJobs);
    else
        commandLine.jobs = jobs;
}

// The value of "--name=value" or of "--name value"; false when `argument` is not that option.
bool optionValue(const std::vector<std::string>& arguments, size_t& i, std::string_view name, std::string& value)
{
    const std::string& argument = arguments[i];
    if (argument == name) {
        value = i + 1 < arguments.size() ? arguments[++i] : std::string();
        return true;
    }
    if (argument.size() > name.size() && argument.starts_with(name) && argument[name.size()] == '=') {
        value = argument.substr(name.size() + 1);
        return true;
    }
    return false;
}

} // namespace

TCommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    TCommandLine commandLine;
    bool jobsGiven = false;
    for (size_t i = 0; i < arguments.size() && commandLine.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        std::string value;
        if (argument == HelpOption || argument == VersionOption) {
            commandLine.action = argument == HelpOption ? TCommandLine::TAction::Help : TCommandLine::TAction::Version;
            return commandLine;
        } else if (optionValue(arguments, i, FolderOption, value)) {
            if (value.empty())
                commandLine.error = std::string(FolderOption) + " needs a folder";
            else
                setFolder(commandLine, TCommandLine::TFolder::Given, std::move(value), FolderOption);
        } else if (argument == XdgFolderOption) {
            setFolder(commandLine, TCommandLine::TFolder::Xdg, {}, XdgFolderOption);
        } else if (argument == CheckOption) {
            commandLine.action = TCommandLine::TAction::Check;
        } else if (optionValue(arguments, i, JobsOption, value)) {
            jobsGiven = true;
            setJobs(commandLine, value);
        } else if (argument == JsonOption) {
            commandLine.json = true;
        } else if (argument == NotifyOption) {
            commandLine.notify = true;
        } else if (argument.starts_with("-")) {
            commandLine.error = "unknown option " + argument;
        } else {
            commandLine.error = "unexpected argument " + argument;
        }
    }
    if (commandLine.error.empty() && commandLine.action != TCommandLine::TAction::Check) {
        if (jobsGiven)
            commandLine.error = std::string(JobsOption) + " needs --check";
        else if (commandLine.json)
            commandLine.error = std::string(JsonOption) + " needs --check";
        else if (commandLine.notify)
            commandLine.error = std::string(NotifyOption) + " needs --check";
    }
    return commandLine;
}

bool mayHoldQtOptions(const std::vector<std::string>& arguments)
{
    const auto qtLike
        = [](const std::string& argument) { return argument.size() > 1 && argument[0] == '-' && argument[1] != '-'; };
    const auto ours = [](const std::string& argument) {
        const std::string_view name = std::string_view(argument).substr(0, argument.find('='));
        return name == CheckOption || name == JobsOption || name == JsonOption || name == NotifyOption
            || name == HelpOption || name == VersionOption;
    };
    return std::any_of(arguments.begin(), arguments.end(), qtLike)
        && std::none_of(arguments.begin(), arguments.end(), ours);
}

std::string usageText(const std::string& programName)
{
    return "Usage: " + programName + " [--folder DIR | --xdg-folder]\n" + "       " + programName
        + " --check [--jobs K] [--json] [--notify] [--folder DIR | --xdg-folder]\n"
        + "  --folder DIR    keep the settings in DIR (made when missing)\n"
        + "  --xdg-folder    keep the settings in $XDG_CONFIG_HOME/vantrel (~/.config/vantrel)\n"
        + "  --check         check the ticked items without a window, print the results and write them back\n"
        + "  --jobs K        with --check: check up to K items at once (1 to 16; default: the program's setting)\n"
        + "  --json          with --check: print the checked items as one JSON array\n"
        + "  --notify        with --check: post a desktop notification of the updated pages and wait up to 30 s\n"
        + "                  for a click on it, which opens the window (no session bus: no notification)\n"
        + "  --help          show this text\n" + "  --version       show the program's version\n"
        + "Without an option the settings are kept in the current folder.\n"
        + "Exit status of --check: 0 nothing updated, 1 some item updated, 2 bad arguments or settings file,\n"
        + "3 the folder is in use by another Vantrel, 130/143 stopped by SIGINT/SIGTERM.\n";
}

std::string versionText()
{
    return std::string("vantrel ") + VantrelVersion + "\n";
}
