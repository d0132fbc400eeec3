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
    TFolder folderKind = TFolder::Current;
    std::string folder; // the DIR of --folder

    // Why the arguments were refused, for the user; empty when every one was understood.
    std::string error;
};

// Reads the arguments that follow the program's name (Qt has already taken its own).
TCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The options, one to a line, for a refused command line.
std::string usageText(const std::string& programName);
