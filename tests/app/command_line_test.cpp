#include "app/command_line.h"
#include "app/program_folders.h"
#include "base/exception.h"
#include "vantrel_version.h"

#include "character/character_fixture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using TFolder = TCommandLine::TFolder;

// Sets or clears an environment variable for one scope.
class TEnvironment
{
public:
    TEnvironment(const char* name, const std::optional<std::string>& value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        set(value);
    }
    ~TEnvironment() { set(m_old); }
    TEnvironment(const TEnvironment&) = delete;
    TEnvironment& operator=(const TEnvironment&) = delete;

private:
    void set(const std::optional<std::string>& value)
    {
        if (value)
            ::setenv(m_name, value->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

    const char* m_name;
    std::optional<std::string> m_old;
};

mode_t folderMode(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return 0;
    return info.st_mode & 07777;
}

} // namespace

TEST(CommandLine, ReadsTheFolderOptionsAndRefusesTheRest)
{
    const struct
    {
        std::vector<std::string> arguments;
        TFolder kind;
        const char* folder;
        const char* error;
    } cases[] = {
        { {}, TFolder::Current, "", "" },
        { { "--folder", "/tmp/a b" }, TFolder::Given, "/tmp/a b", "" },
        { { "--folder=rel/dir" }, TFolder::Given, "rel/dir", "" },
        { { "--xdg-folder" }, TFolder::Xdg, "", "" },
        { { "--folder" }, TFolder::Current, "", "--folder needs a folder" },
        { { "--folder=" }, TFolder::Current, "", "--folder needs a folder" },
        { { "--xdg-folder", "--folder", "x" }, TFolder::Xdg, "", "--folder: the settings folder is already given" },
        { { "--frobnicate" }, TFolder::Current, "", "unknown option --frobnicate" },
        { { "-x" }, TFolder::Current, "", "unknown option -x" },
        { { "list.cfg" }, TFolder::Current, "", "unexpected argument list.cfg" },
    };
    for (const auto& c : cases) {
        const std::string shown = c.arguments.empty() ? std::string("(none)") : c.arguments.front();
        const TCommandLine commandLine = parseCommandLine(c.arguments);
        EXPECT_EQ(commandLine.folderKind, c.kind) << shown;
        EXPECT_EQ(commandLine.folder, c.folder) << shown;
        EXPECT_EQ(commandLine.error, c.error) << shown;
    }
    EXPECT_NE(usageText("vantrel").find("--xdg-folder"), std::string::npos);
}

TEST(CommandLine, ReadsTheCommandOptions)
{
    using TAction = TCommandLine::TAction;
    const struct
    {
        std::vector<std::string> arguments;
        TAction action;
        int jobs;
        bool json;
        const char* error;
    } cases[] = {
        { { "--check" }, TAction::Check, 0, false, "" },
        { { "--check", "--jobs", "16", "--json", "--xdg-folder" }, TAction::Check, 16, true, "" },
        { { "--jobs=1", "--check" }, TAction::Check, 1, false, "" },
        { { "--check", "--jobs", "0" }, TAction::Check, 0, false, "--jobs needs a number from 1 to 16" },
        { { "--check", "--jobs=17" }, TAction::Check, 0, false, "--jobs needs a number from 1 to 16" },
        { { "--check", "--jobs", "2x" }, TAction::Check, 0, false, "--jobs needs a number from 1 to 16" },
        { { "--check", "--jobs" }, TAction::Check, 0, false, "--jobs needs a number from 1 to 16" },
        { { "--jobs", "2" }, TAction::Window, 2, false, "--jobs needs --check" },
        { { "--json" }, TAction::Window, 0, true, "--json needs --check" },
        { { "--check", "--jsonx" }, TAction::Check, 0, false, "unknown option --jsonx" },
        { { "--help", "--frobnicate" }, TAction::Help, 0, false, "" },
        { { "--folder", "x", "--version" }, TAction::Version, 0, false, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        const TCommandLine commandLine = parseCommandLine(c.arguments);
        EXPECT_EQ(commandLine.action, c.action);
        EXPECT_EQ(commandLine.jobs, c.jobs);
        EXPECT_EQ(commandLine.json, c.json);
        EXPECT_EQ(commandLine.error, c.error);
    }
    EXPECT_TRUE(parseCommandLine({ "--check", "--notify" }).notify);
    EXPECT_EQ(parseCommandLine({ "--notify" }).error, "--notify needs --check");
    EXPECT_EQ(versionText(), std::string("vantrel ") + VantrelVersion + "\n");
}

TEST(CommandLine, LeavesSingleDashOptionsToQtOnlyForTheWindow)
{
    const struct
    {
        std::vector<std::string> arguments;
        bool qt;
    } cases[] = {
        { { "-platform", "offscreen" }, true },
        { { "--folder", "x", "-reverse" }, true },
        { { "--frobnicate" }, false },
        { { "list.cfg" }, false },
        { { "-" }, false },
        { { "-platform", "offscreen", "--check" }, false },
        { { "-style", "fusion", "--jobs=2" }, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(mayHoldQtOptions(c.arguments), c.qt) << c.arguments.front() << " " << c.arguments.back();
}

TEST(ProgramFolders, DesktopFolderIsTheXdgOneMadeForItsOwnerOnly)
{
    const test::TempDir dir;
    const TEnvironment home("HOME", dir.file("home"));
    const struct
    {
        std::optional<std::string> xdgConfigHome;
        std::string expected;
    } cases[] = {
        { dir.file("config"), dir.file("config/vantrel/") },
        { std::nullopt, dir.file("home/.config/vantrel/") },
        { "", dir.file("home/.config/vantrel/") },
        { "relative/config", dir.file("home/.config/vantrel/") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xdgConfigHome.value_or("unset"));
        const TEnvironment config("XDG_CONFIG_HOME", c.xdgConfigHome);
        const TCommandLine commandLine = parseCommandLine({ "--xdg-folder" });
        ASSERT_EQ(settingsFolder(commandLine), c.expected);
        EXPECT_EQ(folderMode(c.expected), 0700u);
        // Found again as it is on the next start.
        EXPECT_EQ(settingsFolder(commandLine), c.expected);
    }
    EXPECT_EQ(folderMode(dir.file("home/.config")), 0700u);
}

TEST(ProgramFolders, GivenFolderIsMadeWhenMissingAndKeptWhenThere)
{
    const test::TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("shared").c_str(), 0755), 0);
    test::writeFile(dir.file("file"), "x");

    EXPECT_EQ(settingsFolder(parseCommandLine({ "--folder", dir.file("new/deep") })), dir.file("new/deep/"));
    EXPECT_EQ(folderMode(dir.file("new/deep")), 0700u);
    EXPECT_EQ(settingsFolder(parseCommandLine({ "--folder", dir.file("shared") })), dir.file("shared/"));
    EXPECT_EQ(folderMode(dir.file("shared")), 0755u);
    EXPECT_THROW(settingsFolder(parseCommandLine({ "--folder", dir.file("file/sub") })), TException);

    // Relative to the current folder, which is the settings folder when none is named.
    const std::filesystem::path started = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const std::string current = std::filesystem::current_path().string() + "/";
    EXPECT_EQ(settingsFolder(parseCommandLine({ "--folder", "relative" })), current + "relative/");
    EXPECT_EQ(settingsFolder(parseCommandLine({})), current);
    std::filesystem::current_path(started);
}

TEST(ProgramFolders, CharactersBesideTheProgramElseInItsShareFolder)
{
    const test::TempDir dir;
    for (const char* folder : { "build", "usr", "usr/bin", "usr/share", "usr/share/vantrel", "bare", "bare/bin" })
        ASSERT_EQ(::mkdir(dir.file(folder).c_str(), 0755), 0);
    test::writeFile(dir.file("build/vantrel.dat"), test::simpleCharacter());
    test::writeFile(dir.file("usr/share/vantrel/vantrel.dat"), test::simpleCharacter());

    EXPECT_EQ(characterFolder(dir.file("build")), dir.file("build/"));
    EXPECT_EQ(characterFolder(dir.file("usr/bin/")), dir.file("usr/share/vantrel/"));
    EXPECT_EQ(characterFolder(dir.file("bare/bin")), dir.file("bare/bin/"));
}

TEST(CommandLine, ReadsTheHistoryAndPageTextCommands)
{
    using TAction = TCommandLine::TAction;
    const struct
    {
        std::vector<std::string> arguments;
        TAction action;
        std::string item; // or the URL of --page-text
        int version;
        const char* error;
    } cases[] = {
        { { "--history", "3" }, TAction::History, "3", 0, "" },
        { { "--diff", "0123abcd", "--folder", "x" }, TAction::Diff, "0123abcd", 0, "" },
        { { "--diff=2", "5" }, TAction::Window, "", 0, "unknown option --diff=2" },
        { { "--diff", "2", "5" }, TAction::Diff, "2", 5, "" },
        { { "--diff", "2", "0" }, TAction::Diff, "2", 0, "--diff: the version is a number from 1" },
        { { "--diff" }, TAction::Window, "", 0, "--diff needs an item and may take a version number" },
        { { "--check", "--diff", "--json" }, TAction::Check, "", 0, "" },
        { { "--check", "--diff", "4" }, TAction::Check, "", 0, "unexpected argument 4" },
        { { "--history" }, TAction::History, "", 0, "--history needs an item" },
        { { "--page-text", "http://a/", "--region", "#m", "--ignore", "^x", "--ignore=y", "--ignore-numbers" },
            TAction::PageText, "http://a/", 0, "" },
        { { "--check", "--region", "#m" }, TAction::Check, "", 0,
            "--region, --ignore and --ignore-numbers need --page-text" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front() + " " + (c.arguments.size() > 1 ? c.arguments[1] : ""));
        const TCommandLine commandLine = parseCommandLine(c.arguments);
        EXPECT_EQ(commandLine.error, c.error);
        if (*c.error)
            continue;
        EXPECT_EQ(commandLine.action, c.action);
        EXPECT_EQ(c.action == TAction::PageText ? commandLine.url : commandLine.item, c.item);
        EXPECT_EQ(commandLine.version, c.version);
    }
    const TCommandLine rules = parseCommandLine(cases[9].arguments);
    EXPECT_EQ(rules.region, "#m");
    EXPECT_EQ(rules.ignore, (std::vector<std::string> { "^x", "y" }));
    EXPECT_TRUE(rules.ignoreNumbers);
}
