#include "session/settings_session.h"

#include "base/exception.h"
#include "store/store_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A name that a killed safe write of vantrel.cfg leaves behind.
const char* const Leftover = "vantrel.cfg.tmpAbC123";

TCheckItem item(const std::string& title)
{
    TCheckItem made = newItemTemplate();
    made.title() = title;
    made.checkUri() = "http://example.com/" + title;
    return made;
}

} // namespace

TEST(SettingsSession, TheHolderOfTheLockAloneRemovesLeftovers)
{
    test::TempDir dir;
    test::writeFile(dir.file(Leftover), "half");
    TSettingsSession first(dir.path());
    EXPECT_EQ(first.lockState(), TFolderLock::State::Held);
    EXPECT_FALSE(first.inUse());
    EXPECT_FALSE(test::fileExists(dir.file(Leftover)));
    EXPECT_EQ(first.folder(), dir.path() + "/");
    EXPECT_EQ(first.settingsPath(), dir.file("vantrel.cfg"));
    EXPECT_EQ(first.iniPath(), dir.file("vantrel.ini"));

    // A write of the holder in progress is not a leftover for a second program on the folder.
    test::writeFile(dir.file(Leftover), "in progress");
    const TSettingsSession second(dir.path());
    EXPECT_TRUE(second.inUse());
    EXPECT_TRUE(test::fileExists(dir.file(Leftover)));
}

TEST(SettingsSession, BothFilesGoBackAndComeAgain)
{
    test::TempDir dir;
    TConfig written;
    written.items.append(item("one"));
    written.items.append(item("two"));
    written.concurrentChecks = 7;
    written.checkInterval = 30;
    written.checkAtStart = 1;
    {
        TSettingsSession session(dir.path());
        session.ini().setWindowGeometry(QByteArray("geometry"));
        EXPECT_TRUE(session.write(written));
    }
    for (const bool strict : { false, true }) {
        SCOPED_TRACE(strict);
        TSettingsSession session(dir.path());
        TConfig read;
        if (strict)
            session.load(read);
        else
            session.read(read);
        ASSERT_EQ(read.items.count(), 2u);
        EXPECT_EQ(read.items[0].title(), "one");
        EXPECT_EQ(read.items[1].id(), written.items[1].id());
        EXPECT_EQ(read.concurrentChecks, 7);
        EXPECT_EQ(read.checkInterval, 30);
        EXPECT_EQ(read.checkAtStart, 1);
        EXPECT_EQ(session.ini().windowGeometry(), QByteArray("geometry"));
    }
}

TEST(SettingsSession, ADamagedSettingsFileFallsBackOrIsRefused)
{
    test::TempDir dir;
    test::writeFile(dir.file("vantrel.cfg"), "not a settings file");
    TSettingsSession session(dir.path());
    TConfig kept;
    kept.items.append(item("kept"));
    EXPECT_THROW(session.load(kept), TException);
    EXPECT_EQ(kept.items.count(), 1u);

    TConfig read;
    read.items.append(item("gone"));
    session.read(read);
    EXPECT_TRUE(read.items.empty());
    EXPECT_EQ(read.concurrentChecks, TIniSettings::FactoryConcurrentChecks);

    // No file at all: the factory values, strict or not.
    test::TempDir empty;
    TSettingsSession fresh(empty.path());
    TConfig factory;
    fresh.load(factory);
    EXPECT_TRUE(factory.items.empty());
}
