// The settings file beside the executable, on real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FaultSweep.h"
#include "midlet/ScratchFolder.h"
#include "midlet/Settings.h"
#include "platform/Errors.h"
#include "platform/Faults.h"
#include "platform/Files.h"

namespace midlet {
namespace {

TEST(StrToIntDef, DecimalAndHexadecimal) {
    EXPECT_EQ(StrToIntDef("0", 7), 0);
    EXPECT_EQ(StrToIntDef("2", 7), 2);
    EXPECT_EQ(StrToIntDef("-1", 7), -1);
    EXPECT_EQ(StrToIntDef("007", 1), 7);
    EXPECT_EQ(StrToIntDef("0x2", 7), 2);
    EXPECT_EQ(StrToIntDef("0X1f", 7), 31);
    EXPECT_EQ(StrToIntDef("$1F", 7), 31);
    EXPECT_EQ(StrToIntDef("-$10", 7), -16);
    EXPECT_EQ(StrToIntDef("-0x10", 7), -16);
    EXPECT_EQ(StrToIntDef("2147483647", 7), 2147483647);
    EXPECT_EQ(StrToIntDef("-2147483648", 7), -2147483647 - 1);
    EXPECT_EQ(StrToIntDef("$7FFFFFFF", 7), 2147483647);
}

TEST(StrToIntDef, AnythingElseGivesTheDefault) {
    for (const char* text :
         {"",    "abc",        "yes",         "-",         "$",
          "0x",  "0X",         "-0x",         "1a",        "0x1G",
          "$-1", "--1",        " 1",          "1 ",        "+1",
          "1.0", "2147483648", "-2147483649", "$80000000", "99999999999999999999"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(StrToIntDef(text, 42), 42);
    }
}

class SettingsFile : public ::testing::Test {
  protected:
    void TearDown() override { platform::DisarmAllFaults(); }

    std::string File() const { return SettingsFilePath(folder.Path()); }

    ScratchFolder folder;
};

TEST_F(SettingsFile, FirstStartWithoutAFileGivesTheDefaults) {
    EXPECT_EQ(File(), folder.Path() + "Brannoc.cfg");
    const Settings s = LoadSettings(folder.Path());
    EXPECT_EQ(s.language, 0);
    EXPECT_EQ(s.path, folder.Path());
    EXPECT_EQ(s.apps, "fs:/card0/Applications/");
    EXPECT_EQ(s.game, "fs:/card0/Games/");
    EXPECT_EQ(s.type, 0);
    EXPECT_TRUE(s.ids);
    EXPECT_TRUE(s.icon);
    EXPECT_FALSE(folder.Exists("Brannoc.cfg"));
}

TEST_F(SettingsFile, SaveWritesTheSevenKeysInOrder) {
    Settings s;
    s.path = "C:\\Tools\\";
    SaveSettings(s, folder.Path());
    EXPECT_EQ(folder.ReadBytes("Brannoc.cfg"),
              "[Main]\r\nLanguage=0\r\nPath=C:\\Tools\\\r\n"
              "[Java]\r\nApps=fs:/card0/Applications/\r\nGame=fs:/card0/Games/\r\n"
              "Type=0\r\nIds=1\r\nIcon=1\r\n");
}

TEST_F(SettingsFile, SavedValuesComeBack) {
    Settings s;
    s.language = -1;
    s.path = "";  // files only dropped on the window: the dialog has no file name
    s.apps = "fs:/card1/Apps";
    s.game = "fs:/card0/\xC8\xE3\xF0\xFB/";
    s.type = -1;
    s.ids = false;
    s.icon = false;
    SaveSettings(s, folder.Path());
    const Settings back = LoadSettings(folder.Path());
    EXPECT_EQ(back.language, -1);
    EXPECT_EQ(back.path, "");  // present but empty: not the program folder
    EXPECT_EQ(back.apps, "fs:/card1/Apps");
    EXPECT_EQ(back.game, "fs:/card0/\xC8\xE3\xF0\xFB/");
    EXPECT_EQ(back.type, -1);
    EXPECT_FALSE(back.ids);
    EXPECT_FALSE(back.icon);

    // A second save replaces the values where they stand.
    s.language = 1;
    s.ids = true;
    SaveSettings(s, folder.Path());
    EXPECT_EQ(folder.ReadBytes("Brannoc.cfg"),
              "[Main]\r\nLanguage=1\r\nPath=\r\n"
              "[Java]\r\nApps=fs:/card1/Apps\r\nGame=fs:/card0/\xC8\xE3\xF0\xFB/\r\n"
              "Type=-1\r\nIds=1\r\nIcon=0\r\n");
}

TEST_F(SettingsFile, ValuesWrittenByHand) {
    folder.WriteBytes("Brannoc.cfg",
                      "[main]\r\nLanguage=0x2\r\n[Java]\r\nType=abc\r\nIds=0\r\nIcon=$1F\r\n"
                      "Apps=\r\n");
    Settings s = LoadSettings(folder.Path());
    EXPECT_EQ(s.language, 2);
    EXPECT_EQ(s.path, folder.Path());
    EXPECT_EQ(s.apps, "");
    EXPECT_EQ(s.game, "fs:/card0/Games/");
    EXPECT_EQ(s.type, 0);
    EXPECT_FALSE(s.ids);
    EXPECT_TRUE(s.icon);

    folder.WriteBytes("Brannoc.cfg", "[Main]\nLanguage=abc\n[Java]\nType=1\nIds=yes\nIcon=0\n");
    s = LoadSettings(folder.Path());
    EXPECT_EQ(s.language, 0);
    EXPECT_EQ(s.type, 1);
    EXPECT_TRUE(s.ids);  // not a number: the default
    EXPECT_FALSE(s.icon);

    folder.WriteBytes("Brannoc.cfg", "[Java]\nIds=2\nIcon=yes\n");
    s = LoadSettings(folder.Path());
    EXPECT_TRUE(s.ids);
    EXPECT_TRUE(s.icon);
}

TEST_F(SettingsFile, LongValuesAreCutAt2047Characters) {
    const std::string longPath(3000, 'p');
    Settings s;
    s.path = longPath;
    SaveSettings(s, folder.Path());
    EXPECT_EQ(LoadSettings(folder.Path()).path, longPath.substr(0, 2047));
}

TEST_F(SettingsFile, ReadOnlyFileCannotBeWritten) {
    SaveSettings(Settings{}, folder.Path());
    const std::string before = folder.ReadBytes("Brannoc.cfg");
    ASSERT_TRUE(platform::SetFileAttributes(File(), platform::faReadOnly));

    Settings changed;
    changed.language = 2;
    try {
        SaveSettings(changed, folder.Path());
        FAIL() << "the save went through";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + File());
    }
    EXPECT_EQ(folder.ReadBytes("Brannoc.cfg"), before);
}

// Every step of a save that changes the disk, failed and then stopped (as a
// kill would) in turn: the file holds all the old values or all the new
// ones, a failed step is reported, and once the next save is through no
// temporary file is left in the folder.
TEST_F(SettingsFile, ASaveFailedOrStoppedAtAnyStepIsAllOldOrAllNew) {
    Settings old;
    old.path = "C:\\Tools\\";
    Settings changed;
    changed.language = 2;
    changed.path = "/home/user/midlets/";
    changed.apps = "fs:/card1/Apps/";
    changed.game = "fs:/card1/Games/";
    changed.type = 1;
    changed.ids = false;
    changed.icon = false;
    SaveSettings(changed, folder.Path());
    const std::string newBytes = folder.ReadBytes("Brannoc.cfg");
    SaveSettings(old, folder.Path());
    const std::string oldBytes = folder.ReadBytes("Brannoc.cfg");
    const int calls = CountModifyingCalls([&] { SaveSettings(changed, folder.Path()); });
    ASSERT_GE(calls, 4);  // create, write, flush, rename at least

    const std::vector<std::string> alone = {"Brannoc.cfg"};
    int mixed = 0;
    int unreported = 0;
    int leftBehind = 0;
    for (int nth = 1; nth <= calls; ++nth) {
        for (const platform::SweepAction action :
             {platform::SweepAction::Fail, platform::SweepAction::Stop}) {
            SCOPED_TRACE("call " + std::to_string(nth) +
                         (action == platform::SweepAction::Fail ? " failed" : " stopped"));
            SaveSettings(old, folder.Path());
            bool reported = true;
            if (action == platform::SweepAction::Fail) {
                reported = RunFailingAt(nth, [&] {
                    try {
                        SaveSettings(changed, folder.Path());
                        return false;
                    } catch (const platform::Exception& e) {
                        return e.Message() == "Unable to write to " + File();
                    }
                });
                leftBehind += platform::ListFolder(folder.Path()) != alone;
            } else {
                EXPECT_EQ(RunStoppedAt(nth,
                                       [&] {
                                           SaveSettings(changed, folder.Path());
                                           return 0;
                                       }),
                          platform::kSweepStopStatus);
            }
            const std::string bytes = folder.ReadBytes("Brannoc.cfg");
            mixed += bytes != oldBytes && bytes != newBytes;
            unreported += !reported;
            SaveSettings(changed, folder.Path());
            leftBehind += platform::ListFolder(folder.Path()) != alone;
            EXPECT_EQ(folder.ReadBytes("Brannoc.cfg"), newBytes);
        }
    }
    EXPECT_EQ(mixed, 0) << "of " << 2 * calls << " runs";
    EXPECT_EQ(unreported, 0) << "of " << calls << " failed calls";
    EXPECT_EQ(leftBehind, 0) << "of " << 3 * calls << " looks at the folder";
}

TEST_F(SettingsFile, MissingProgramFolderCannotBeWritten) {
    const std::string missing = folder.Path() + "gone/";
    EXPECT_THROW(SaveSettings(Settings{}, missing), platform::Exception);
    EXPECT_EQ(LoadSettings(missing).path, missing);
}

}  // namespace
}  // namespace midlet
