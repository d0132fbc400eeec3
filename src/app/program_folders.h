#pragma once

#include "app/command_line.h"

#include <string>

// The settings folder the command line names, absolute and ending with "/". A named folder that is missing is
// made with its missing parents, open to its owner only (0700). Raises TException when it cannot be made.
std::string settingsFolder(const TCommandLine& commandLine);

// $XDG_CONFIG_HOME/vantrel, or ~/.config/vantrel when XDG_CONFIG_HOME is unset or not an absolute path.
std::string xdgSettingsFolder();

// The folder searched for characters after the settings folder: the program's own when a character is beside the
// program (a build), else share/vantrel next to its bin folder (an installed program). Ends with "/".
std::string characterFolder(const std::string& programFolder);
