#include "platform/Profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>

#include "FaultSweep.h"
#include "FolderTest.h"
#include "TestFiles.h"
#include "platform/CodePage.h"
#include "platform/Faults.h"
#include "platform/Files.h"
#include "platform/TextFile.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class ProfileStrings : public FolderTest {
  protected:
    std::string Get(const std::string& section, const std::string& key,
                    const std::string& fallback = "<default>") {
        return GetPrivateProfileString(section, key, fallback, 2048, file);
    }
    bool Put(const std::string& section, const std::string& key, const std::string& value) {
        SetLastError(12345);
        return WritePrivateProfileString(section, key, value, file);
    }
    std::string file = folder / "Brannoc.cfg";
};

// LC_ALL for one scope.
class ScopedLocale {
  public:
    explicit ScopedLocale(const char* name) {
        const char* old = std::getenv("LC_ALL");
        saved_ = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        setenv("LC_ALL", name, 1);
    }
    ~ScopedLocale() { saved_ ? setenv("LC_ALL", saved_->c_str(), 1) : unsetenv("LC_ALL"); }

  private:
    std::optional<std::string> saved_;
};

}  // namespace

TEST_F(ProfileStrings, TheSettingsFileComesOutLineForLine) {
    ASSERT_TRUE(Put("Main", "Language", "0"));
    ASSERT_TRUE(Put("Main", "Path", "C:\\Tools\\"));
    ASSERT_TRUE(Put("Java", "Apps", "fs:/card0/Applications/"));
    ASSERT_TRUE(Put("Java", "Game", "fs:/card0/Games/"));
    ASSERT_TRUE(Put("Java", "Type", "0"));
    ASSERT_TRUE(Put("Java", "Ids", "1"));
    ASSERT_TRUE(Put("Java", "Icon", "1"));
    EXPECT_EQ(ReadBytes(file),
              "[Main]\r\nLanguage=0\r\nPath=C:\\Tools\\\r\n[Java]\r\n"
              "Apps=fs:/card0/Applications/\r\nGame=fs:/card0/Games/\r\nType=0\r\nIds=1\r\n"
              "Icon=1\r\n");
    EXPECT_EQ(Get("main", "PATH"), "C:\\Tools\\");
    EXPECT_EQ(Get("JAVA", "apps"), "fs:/card0/Applications/");

    // Saving again changes values where they stand.
    ASSERT_TRUE(Put("Main", "Language", "2"));
    ASSERT_TRUE(Put("java", "ICON", "0"));
    EXPECT_EQ(ReadAllLines(file),
              (std::vector<std::string>{"[Main]", "Language=2", "Path=C:\\Tools\\", "[Java]",
                                        "Apps=fs:/card0/Applications/", "Game=fs:/card0/Games/",
                                        "Type=0", "Ids=1", "Icon=0"}));
}

TEST_F(ProfileStrings, ReadingTrimsUnquotesAndFallsBack) {
    WriteBytes(file,
               "; settings\n"
               "  [ Main ]  \n"
               "  Path  =  C:\\Program Files\\  \n"
               "Double=\"  spaced  \"\n"
               "Single='quoted'\n"
               "Mixed=\"half'\n"
               "Empty=\n"
               "[Other]\n"
               "Path=other\n");
    EXPECT_EQ(Get("main", "path"), "C:\\Program Files\\");
    EXPECT_EQ(Get("Main", "Double"), "  spaced  ");
    EXPECT_EQ(Get("Main", "Single"), "quoted");
    EXPECT_EQ(Get("Main", "Mixed"), "\"half'");
    EXPECT_EQ(Get("Main", "Empty"), "");
    EXPECT_EQ(Get("Main", "Missing"), "<default>");
    EXPECT_EQ(Get("Nowhere", "Path"), "<default>");
    EXPECT_EQ(Get("Other", "Path"), "other");
    EXPECT_EQ(GetPrivateProfileString("Main", "Path", "dflt", 2048, folder / "none.cfg"), "dflt");
    EXPECT_EQ(GetPrivateProfileString("Main", "Path", "dflt", 5, file), "C:\\P");
}

TEST_F(ProfileStrings, LongValuesAreCutTo2047) {
    std::string value(3000, 'v');
    ASSERT_TRUE(Put("Java", "Apps", value));
    EXPECT_EQ(Get("Java", "Apps"), std::string(2047, 'v'));
}

TEST_F(ProfileStrings, NewKeysJoinTheirSectionAndOtherLinesStay) {
    WriteBytes(file,
               "[Main]\n"
               "Language = 1 ; odd spacing kept\n"
               "\n"
               "  \n"
               "[Java]\r\n"
               "Apps=x\r\n"
               "garbage line\r\n");
    ASSERT_TRUE(Put("MAIN", "Path", "/home/"));
    ASSERT_TRUE(Put("Java", "Apps", "y"));
    ASSERT_TRUE(Put("Extra", "Key", "v"));
    EXPECT_EQ(ReadBytes(file),
              "[Main]\r\n"
              "Language = 1 ; odd spacing kept\r\n"
              "Path=/home/\r\n"
              "\r\n"
              "  \r\n"
              "[Java]\r\n"
              "Apps=y\r\n"
              "garbage line\r\n"
              "[Extra]\r\n"
              "Key=v\r\n");
}

TEST_F(ProfileStrings, AFailedWriteLeavesTheOldFile) {
    ASSERT_TRUE(Put("Main", "Language", "0"));
    const std::string before = ReadBytes(file);

    ArmFault(FaultPoint::Rename, 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Put("Main", "Language", "1"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::string>{"Brannoc.cfg"});

    SetFileAttributes(file, faReadOnly);
    EXPECT_FALSE(Put("Main", "Language", "1"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadBytes(file), before);

    SetLastError(12345);
    EXPECT_FALSE(WritePrivateProfileString("Main", "Language", "1", folder / "no/x.cfg"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

// Whatever step of a write fails, the settings file holds its old content or
// its new content, never a part of either, and no temporary file stays.
TEST_F(ProfileStrings, EveryFailingStepLeavesOldOrNewContent) {
    ASSERT_TRUE(Put("Main", "Language", "0"));
    ASSERT_TRUE(Put("Java", "Apps", std::string(5000, 'a')));
    const std::string before = ReadBytes(file);
    for (FaultPoint point : {FaultPoint::TextWrite, FaultPoint::Rename}) {
        ArmFault(point, 1, ERROR_DISK_FULL);
        EXPECT_FALSE(Put("Java", "Apps", std::string(6000, 'b')));
        EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
        EXPECT_EQ(ReadBytes(file), before);
        EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::string>{"Brannoc.cfg"});
        DisarmAllFaults();
    }
    ASSERT_TRUE(Put("Java", "Apps", std::string(6000, 'b')));
    EXPECT_NE(ReadBytes(file).find(std::string(6000, 'b') + "\r\n"), std::string::npos);
}

TEST_F(ProfileStrings, TheFileKeepsItsSpellingAndMode) {
    WriteBytes(folder / "BRANNOC.CFG", "[Main]\r\n");
    fs::permissions(folder / "BRANNOC.CFG", fs::perms(0640));
    ASSERT_TRUE(Put("Main", "Language", "1"));
    EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::string>{"BRANNOC.CFG"});
    EXPECT_EQ(fs::status(folder / "BRANNOC.CFG").permissions(), fs::perms(0640));
    EXPECT_EQ(Get("Main", "Language"), "1");
}

// Section and key names are the program's, not the user's text: under the
// Turkish rules the I of "Ids" is still the i of "ids", on reading and on
// writing.
TEST_F(ProfileStrings, NamesCompareTheSameUnderTheTurkishLocale) {
    const ScopedLocale turkish("tr_TR.UTF-8");
    ASSERT_TRUE(IsTurkishLocale());
    WriteBytes(file, "[MAIN]\r\nIds=0\r\nICON=1\r\n");
    EXPECT_EQ(Get("Main", "ids"), "0");
    EXPECT_EQ(Get("main", "Icon"), "1");
    EXPECT_EQ(Get("Main",
                  "\xC4\xB0"
                  "ds"),
              "<default>");  // İds is another name
    ASSERT_TRUE(Put("Main", "ids", "1"));
    ASSERT_TRUE(Put("main", "Java", "x"));
    EXPECT_EQ(ReadBytes(file), "[MAIN]\r\nIds=1\r\nICON=1\r\nJava=x\r\n");
}

// A line break would write lines of its own that read back as other keys: the
// write is refused and the file stays as it was.
TEST_F(ProfileStrings, LineBreaksAreRefused) {
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"Main", "Path", "C:\\a\r\nIds=0"},
        {"Main", "Path", "a\rb"},
        {"Main", "Path", "a\nb"},
        {"Main", "Pa\nth", "x"},
        {"Ma\rin", "Path", "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_FALSE(Put(c.section, c.key, c.value));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_FALSE(fs::exists(file));
    }
    ASSERT_TRUE(Put("Main", "Ids", "1"));
    const std::string before = ReadBytes(file);
    for (const auto& c : cases) {
        EXPECT_FALSE(Put(c.section, c.key, c.value));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::string>{"Brannoc.cfg"});
}

// A settings file that is a symbolic link stays one: the new content goes to
// what it points at, relative or absolute, even when that is not there yet.
TEST_F(ProfileStrings, ASymbolicLinkIsFollowed) {
    fs::create_directories(folder / "real");
    const struct {
        std::string target;  // as the link holds it
        std::string file;    // what it names
    } links[] = {
        {"real/settings.cfg", folder / "real/settings.cfg"},
        {folder / "real/absolute.cfg", folder / "real/absolute.cfg"},
        {"hop", folder / "real/settings.cfg"},  // a link to a link
    };
    fs::create_symlink("real/settings.cfg", folder / "hop");
    WriteBytes(folder / "real/settings.cfg", "[Main]\r\nIds=0\r\n");
    for (const auto& link : links) {
        SCOPED_TRACE(link.target);
        fs::remove(file);
        fs::create_symlink(link.target, file);
        ASSERT_TRUE(Put("Main", "Icon", "1"));
        EXPECT_TRUE(fs::is_symlink(file));
        EXPECT_EQ(fs::read_symlink(file), link.target);
        EXPECT_NE(ReadBytes(link.file).find("Icon=1\r\n"), std::string::npos);
        EXPECT_EQ(Get("Main", "Icon"), "1");
    }
    EXPECT_EQ(ReadBytes(folder / "real/settings.cfg"), "[Main]\r\nIds=0\r\nIcon=1\r\n");
    EXPECT_EQ(ListFolder(folder / "real"),
              (std::vector<std::string>{"absolute.cfg", "settings.cfg"}));
}

// Several keys in one write leave the file byte for byte as the same writes
// one at a time do, whatever the file held before.
TEST_F(ProfileStrings, SeveralKeysAtOnceEqualOneAtATime) {
    const std::string starts[] = {
        "",
        "[Main]\r\nLanguage=0\r\nPath=C:\\Tools\\\r\n[Java]\r\nApps=x\r\n",
        "; hand-made\n[main]\n Language = 1 \n\n  \n[JAVA]\r\nIds=1\r\ngarbage\n[Other]\nk=v",
        "[Java]\rIcon=0\n\x1A\n[Main]\n",
    };
    const std::vector<ProfileString> writes = {
        {"Main", "Language", "2"},  {"Main", "Path", ""},   {"Java", "Apps", "fs:/a/"},
        {"Java", "Game", "fs:/g/"}, {"Java", "Type", "-1"}, {"Java", "Ids", "0"},
        {"java", "ICON", "1"},      {"New", "Key", "v"},    {"Main", "Language", "1"},
    };
    const std::string single = folder / "single.cfg";
    for (const std::string& start : starts) {
        SCOPED_TRACE(start);
        WriteBytes(file, start);
        WriteBytes(single, start);
        for (const ProfileString& write : writes) {
            ASSERT_TRUE(WritePrivateProfileString(write.section, write.key, write.value, single));
        }
        ASSERT_TRUE(WritePrivateProfileStrings(writes, file));
        EXPECT_EQ(ReadBytes(file), ReadBytes(single));
    }
    // One refused write refuses them all.
    const std::string before = ReadBytes(file);
    EXPECT_FALSE(
        WritePrivateProfileStrings({{"Main", "Path", "a"}, {"Main", "Ids", "x\ny"}}, file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ReadBytes(file), before);
}

// A write killed before its rename leaves its temporary file: this user's
// alone, named after the settings file and the process. A later write
// removes it once that process is gone, and nothing else that is there.
TEST_F(ProfileStrings, LeftoversOfKilledWritesAreRemovedLater) {
    ASSERT_TRUE(Put("Main", "Language", "0"));
    const int calls = CountModifyingCalls([&] { Put("Main", "Language", "1"); });
    ASSERT_GE(calls, 3);
    // Stopped right before the first write of the content.
    ASSERT_EQ(RunStoppedAt(2, [&] { return Put("Main", "Language", "2") ? 0 : 1; }),
              kSweepStopStatus);
    std::vector<std::string> names = ListFolder(folder.Path());
    ASSERT_EQ(names.size(), 2u);
    const std::string leftover = names[0] == "Brannoc.cfg" ? names[1] : names[0];
    EXPECT_TRUE(
        std::regex_match(leftover, std::regex("Brannoc\\.cfg\\.[0-9]+\\.[0-9a-f]{16}\\.tmp")))
        << leftover;
    EXPECT_EQ(fs::status(folder / leftover).permissions(), fs::perms(0600));

    // What a later write leaves alone: a live process's temporary file, names
    // that only look like ours, and what is not a file.
    const std::string live = "Brannoc.cfg." + std::to_string(getpid()) + ".0123456789abcdef.tmp";
    const std::vector<std::string> kept = {
        live,
        "Brannoc.cfg.12x.0123456789abcdef.tmp",
        "Brannoc.cfg.999999999.0123.tmp",
        "Other.cfg.999999999.0123456789abcdef.tmp",
        "iniA1B2.tmp",
    };
    for (const std::string& name : kept) {
        WriteBytes(folder / name, "x");
    }
    const std::string folderLike = "Brannoc.cfg.999999999.fedcba9876543210.tmp";
    fs::create_directory(folder / folderLike);
    ASSERT_TRUE(Put("Main", "Language", "3"));
    std::vector<std::string> expected = kept;
    expected.push_back(folderLike);
    expected.push_back("Brannoc.cfg");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListFolder(folder.Path()), expected);
    EXPECT_EQ(Get("Main", "Language"), "3");
}

// A new file gets what the umask leaves of 0666, an old one keeps its mode.
TEST_F(ProfileStrings, ANewFileFollowsTheUmask) {
    const mode_t old = umask(027);
    const bool written = Put("Main", "Language", "0");
    umask(old);
    ASSERT_TRUE(written);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    fs::permissions(file, fs::perms(0604));
    ASSERT_TRUE(Put("Main", "Language", "1"));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0604));
}
