#pragma once

#include <string>
#include <vector>

// What the command line asks for. Without options the program runs its window in the current folder.
struct TCommandLine
{
    enum class TFolder {
        Current, // the folder the program is started in
        Given, // --folder DIR
        Xdg, // --xdg-folder: $XDG_CONFIG_HOME/vantrel, as the desktop entry starts it
    };
    enum class TAction {
        Window,
        Check, // --check: check the ticked items without a window
        History, // --history ITEM: the kept versions of an item's page text
        Diff, // --diff ITEM [N]: the change that version N made
        PageText, // --page-text URL: the text a check would keep of a page
        Help,
        Version,
    };
    TAction action = TAction::Window;
    TFolder folderKind = TFolder::Current;
    std::string folder; // the DIR of --folder
    int jobs = 0; // --jobs K, 1 to 16; 0 when not given (the parallel setting of vantrel.ini holds)
    bool json = false; // --json: the checked items as one JSON array instead of lines
    bool diff = false; // --check --diff: each updated item's change under its line
    std::string item; // ITEM of --history and --diff: a row number counted from 1, or an id
    int version = 0; // N of --diff; 0 for the last
    std::string url; // URL of --page-text
    std::string region; // --region SEL, with --page-text
    std::vector<std::string> ignore; // --ignore RE (repeatable), with --page-text
    bool ignoreNumbers = false; // --ignore-numbers, with --page-text
    bool notify = false; // --notify: a desktop notification of what the run found

    // Why the arguments were refused, for the user; empty when every one was understood.
    std::string error;
};

// Reads the arguments that follow the program's name, all of them ours. --help and --version end the reading.
TCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// Whether arguments that parseCommandLine refused may be Qt's own options (as "-platform offscreen") for the
// window: some argument has a single leading dash, and none asks for anything but the window.
bool mayHoldQtOptions(const std::vector<std::string>& arguments);

// The options, one to a line, for --help and a refused command line.
std::string usageText(const std::string& programName);

// "vantrel 1.02" and a line end, for --version.
std::string versionText();
