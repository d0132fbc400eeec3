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
constexpr std::string_view DiffOption = "--diff";
constexpr std::string_view HistoryOption = "--history";
constexpr std::string_view PageTextOption = "--page-text";
constexpr std::string_view RegionOption = "--region";
constexpr std::string_view IgnoreOption = "--ignore";
constexpr std::string_view IgnoreNumbersOption = "--ignore-numbers";
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
    bool rulesGiven = false;
    std::vector<std::string> positional;
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
        } else if (argument == DiffOption) {
            commandLine.diff = true;
        } else if (optionValue(arguments, i, HistoryOption, value)) {
            commandLine.action = TCommandLine::TAction::History;
            commandLine.item = std::move(value);
            if (commandLine.item.empty())
                commandLine.error = std::string(HistoryOption) + " needs an item";
        } else if (optionValue(arguments, i, PageTextOption, value)) {
            commandLine.action = TCommandLine::TAction::PageText;
            commandLine.url = std::move(value);
            if (commandLine.url.empty())
                commandLine.error = std::string(PageTextOption) + " needs a URL";
        } else if (optionValue(arguments, i, RegionOption, value)) {
            rulesGiven = true;
            commandLine.region = std::move(value);
        } else if (optionValue(arguments, i, IgnoreOption, value)) {
            rulesGiven = true;
            commandLine.ignore.push_back(std::move(value));
        } else if (argument == IgnoreNumbersOption) {
            rulesGiven = true;
            commandLine.ignoreNumbers = true;
        } else if (argument.starts_with("-")) {
            commandLine.error = "unknown option " + argument;
        } else {
            positional.push_back(argument);
        }
    }
    if (!commandLine.error.empty())
        return commandLine;
    using TAction = TCommandLine::TAction;
    if (commandLine.diff && commandLine.action == TAction::Window) {
        commandLine.action = TAction::Diff;
        if (positional.empty() || positional.size() > 2) {
            commandLine.error = std::string(DiffOption) + " needs an item and may take a version number";
            return commandLine;
        }
        commandLine.item = positional[0];
        if (positional.size() == 2) {
            const std::string& n = positional[1];
            const auto [end, failure] = std::from_chars(n.data(), n.data() + n.size(), commandLine.version);
            if (failure != std::errc() || end != n.data() + n.size() || commandLine.version < 1)
                commandLine.error = std::string(DiffOption) + ": the version is a number from 1";
        }
        positional.clear();
    }
    if (!positional.empty())
        commandLine.error = "unexpected argument " + positional.front();
    else if (commandLine.diff && commandLine.action != TAction::Check && commandLine.action != TAction::Diff)
        commandLine.error = std::string(DiffOption) + " goes with --check or names an item";
    else if (jobsGiven && commandLine.action != TAction::Check)
        commandLine.error = std::string(JobsOption) + " needs --check";
    else if (commandLine.json && commandLine.action != TAction::Check)
        commandLine.error = std::string(JsonOption) + " needs --check";
    else if (commandLine.notify && commandLine.action != TAction::Check)
        commandLine.error = std::string(NotifyOption) + " needs --check";
    else if (rulesGiven && commandLine.action != TAction::PageText)
        commandLine.error = "--region, --ignore and --ignore-numbers need --page-text";
    return commandLine;
}

bool mayHoldQtOptions(const std::vector<std::string>& arguments)
{
    const auto qtLike
        = [](const std::string& argument) { return argument.size() > 1 && argument[0] == '-' && argument[1] != '-'; };
    const auto ours = [](const std::string& argument) {
        const std::string_view name = std::string_view(argument).substr(0, argument.find('='));
        return name == CheckOption || name == JobsOption || name == JsonOption || name == NotifyOption
            || name == HelpOption || name == VersionOption || name == DiffOption || name == HistoryOption
            || name == PageTextOption || name == RegionOption || name == IgnoreOption || name == IgnoreNumbersOption;
    };
    return std::any_of(arguments.begin(), arguments.end(), qtLike)
        && std::none_of(arguments.begin(), arguments.end(), ours);
}

std::string usageText(const std::string& programName)
{
    return "Usage: " + programName + " [--folder DIR | --xdg-folder]\n" + "       " + programName
        + " --check [--jobs K] [--json] [--diff] [--notify] [--folder DIR | --xdg-folder]\n" + "       " + programName
        + " --history ITEM | --diff ITEM [N] [--folder DIR | --xdg-folder]\n" + "       " + programName
        + " --page-text URL [--region SEL] [--ignore RE]... [--ignore-numbers]\n"
        + "  --folder DIR    keep the settings in DIR (made when missing)\n"
        + "  --xdg-folder    keep the settings in $XDG_CONFIG_HOME/vantrel (~/.config/vantrel)\n"
        + "  --check         check the ticked items without a window, print the results and write them back\n"
        + "  --jobs K        with --check: check up to K items at once (1 to 16; default: the program's setting)\n"
        + "  --json          with --check: print the checked items as one JSON array\n"
        + "  --diff          with --check: print each updated item's change as a unified diff\n"
        + "  --history ITEM  list the kept versions of an item's page text (ITEM: row from 1, or id)\n"
        + "  --diff ITEM [N] print the change that version N (default: the last) made, as a unified diff\n"
        + "  --page-text URL print the text a check that compares page text would keep of URL\n"
        + "  --region SEL    with --page-text: only the part a CSS selector (or xpath:EXPR) picks\n"
        + "  --ignore RE     with --page-text: leave out the lines RE matches (may be repeated)\n"
        + "  --ignore-numbers with --page-text: digits do not count as a change\n"
        + "  --notify        with --check: post a desktop notification of the updated pages and wait up to 30 s\n"
        + "                  for a click on it, which opens the window (no session bus: no notification)\n"
        + "  --help          show this text\n" + "  --version       show the program's version\n"
        + "Without an option the settings are kept in the current folder.\n"
        + "Exit status of --check: 0 nothing updated, 1 some item updated, 2 bad arguments or settings file,\n"
        + "3 the folder is in use by another Vantrel, 130/143 stopped by SIGINT/SIGTERM.\n"
        + "--history, --diff and --page-text exit with 2 for no such item, no history, a version out of range\n"
        + "or a failed fetch.\n";
}

std::string versionText()
{
    return std::string("vantrel ") + VantrelVersion + "\n";
}
