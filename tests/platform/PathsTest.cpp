#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FolderTest.h"
#include "TestFiles.h"
#include "platform/Files.h"
#include "platform/Stream.h"
#include "platform/TextFile.h"

namespace fs = std::filesystem;
using namespace platform;

TEST(PathHelpers, TakeBothSeparators) {
    EXPECT_EQ(ExtractFilePath("a\\b/c.jar"), "a\\b/");
    EXPECT_EQ(ExtractFileName("a\\b/c.jar"), "c.jar");
    EXPECT_EQ(ExtractFileName("C:race.jar"), "race.jar");
    EXPECT_EQ(ExtractFileExt("dir.d\\name"), "");
    EXPECT_EQ(ExtractFileExt("a/b.tar.gz"), ".gz");
    EXPECT_EQ(IncludeTrailingPathDelimiter("x\\"), "x\\");
    EXPECT_EQ(IncludeTrailingPathDelimiter("x"), "x/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("x\\"), "x");
    EXPECT_EQ(NormalizeSeparators("a\\b\\\\c"), "a/b//c");
    EXPECT_EQ(SplitComponents("\\a/b//c\\"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(SplitComponents("/\\").empty());
}

TEST(PathHelpers, ProgramFolderIsTheExecutablesUnlessSet) {
    std::string own = ProgramFolder();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.back(), '/');
    EXPECT_TRUE(fs::exists(own + "platform_tests"));
    SetProgramFolder("/opt/elsewhere");
    EXPECT_EQ(ProgramFolder(), "/opt/elsewhere/");
    SetProgramFolder("");
    EXPECT_EQ(ProgramFolder(), own);
}

// A portable copy's own help page wins; an installed copy finds the one in
// share/quellor/ beside its bin/ folder.
TEST(PathHelpers, HelpPageBesideTheProgramElseTheInstalledOne) {
    const TestFolder program;
    const fs::path installed = fs::path(ExecutableFolder()) / "../share/quellor/help.html";
    fs::create_directories(installed.parent_path());
    WriteBytes(installed.string(), "installed");
    SetProgramFolder(program.Path());
    EXPECT_EQ(fs::canonical(HelpPagePath()), fs::canonical(installed));
    WriteBytes(program / "help.html", "portable");
    EXPECT_EQ(HelpPagePath(), program / "help.html");
    SetProgramFolder("");
    fs::remove_all(installed.parent_path().parent_path());
}

TEST(PathHelpers, CheckNewPathRefusesWhatACardCannotHold) {
    std::string cleaned;
    EXPECT_EQ(CheckNewPath("/card/folder. ./name.txt  ", &cleaned), ERROR_SUCCESS);
    EXPECT_EQ(cleaned, "/card/folder/name.txt");
    for (const char* bad : {"a<b", "a>b", "a:b", "a\"b", "a|b", "a?b", "a*b", "a\x01z", "a\x1Fz"}) {
        EXPECT_EQ(CheckNewPath(std::string("/x/") + bad), ERROR_INVALID_NAME) << bad;
    }
    EXPECT_EQ(CheckNewPath("/x/" + std::string(255, 'n')), ERROR_SUCCESS);
    EXPECT_EQ(CheckNewPath("/x/" + std::string(256, 'n')), ERROR_FILENAME_EXCED_RANGE);
    std::string deep;
    while (deep.size() <= 4095) {
        deep += "/" + std::string(200, 'd');
    }
    EXPECT_EQ(CheckNewPath(deep), ERROR_FILENAME_EXCED_RANGE);
}

class CaseResolution : public FolderTest {};

TEST_F(CaseResolution, ManifestWrittenUpperCaseOpensInAnyCase) {
    fs::create_directories(folder / "META-INF");
    WriteBytes(folder / "META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n");
    EXPECT_TRUE(FileExists(folder / "Meta-inf\\Manifest.mf"));
    EXPECT_TRUE(DirectoryExists(folder / "meta-inf"));
    EXPECT_EQ(ResolvePath(folder / "Meta-inf\\Manifest.mf"), folder / "META-INF/MANIFEST.MF");
    EXPECT_EQ(ReadAllLines(folder / "Meta-inf/Manifest.mf"),
              std::vector<std::string>{"Manifest-Version: 1.0"});
    TFileStream stream(folder / "meta-inf/manifest.MF", fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(stream.Size(), 23);
}

TEST_F(CaseResolution, ExactSpellingWinsElseFirstInByteOrder) {
    WriteBytes(folder / "a.TXT", "1");
    WriteBytes(folder / "A.txt", "2");
    WriteBytes(folder / "a.txt", "3");
    EXPECT_EQ(ResolvePath(folder / "a.TXT"), folder / "a.TXT");
    EXPECT_EQ(ResolvePath(folder / "A.TXT"), folder / "A.txt");
    fs::remove(folder / "A.txt");
    EXPECT_EQ(ResolvePath(folder / "A.TXT"), folder / "a.TXT");
}

TEST_F(CaseResolution, UnicodeNamesFoldAndBrokenNamesFoldAscii) {
    WriteBytes(folder / "ПРИВЕТ.txt", "");
    WriteBytes(folder / "ΟΔΟΣ", "");
    WriteBytes(folder / "\xC0Name", "");
    WriteBytes(folder / "\u212Aey", "");  // the Kelvin sign folds to a plain k
    EXPECT_EQ(ResolvePath(folder / "привет.TXT"), folder / "ПРИВЕТ.txt");
    EXPECT_EQ(ResolvePath(folder / "KEY"), folder / "\u212Aey");
    EXPECT_EQ(ResolvePath(folder / "οδος"), folder / "ΟΔΟΣ");  // final sigma
    EXPECT_EQ(ResolvePath(folder / "\xC0NAME"), folder / "\xC0Name");
    EXPECT_FALSE(FileExists(folder / "\xE0Name"));  // no folding beyond ASCII
}

TEST_F(CaseResolution, MissingComponentsKeepTheirSpelling) {
    fs::create_directories(folder / "Games");
    EXPECT_EQ(ResolvePath(folder / "games\\New/Sub.TXT"), folder / "Games/New/Sub.TXT");
    CreateDirectory(folder / "GAMES/NewOne");
    EXPECT_TRUE(fs::is_directory(folder / "Games/NewOne"));
}

TEST_F(CaseResolution, AFolderExistingInAnotherCaseIsThere) {
    CreateDirectory(folder / "Projects");
    try {
        CreateDirectory(folder / "PROJECTS");
        FAIL() << "created twice";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, ERROR_ALREADY_EXISTS);
        EXPECT_STREQ(e.what(), "I/O error 183");
    }
    EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::string>{"Projects"});
}

TEST_F(CaseResolution, TrailingSpacesAndDotsAreDropped) {
    CreateDirectory(folder / "temp. .");
    EXPECT_TRUE(fs::is_directory(folder / "temp"));
    WriteBytes(folder / "temp/race.jar", "jar");
    EXPECT_TRUE(FileExists(folder / "temp/race.jar. "));
    SetLastError(12345);
    EXPECT_TRUE(CopyFile(folder / "temp/race.jar", folder / "copy.jar..", true));
    EXPECT_TRUE(fs::exists(folder / "copy.jar"));
}

// A name that exists with its trailing dots or spaces is that name; only a
// name that does not exist as given is taken without them.
TEST_F(CaseResolution, ExactNamesWinOverTheirStrippedSpelling) {
    WriteBytes(folder / "out./keep.txt", "dot");
    WriteBytes(folder / "out/keep.txt", "plain");
    WriteBytes(folder / "My Games /race.jar", "jar");
    const struct {
        const char* given;
        const char* resolved;
    } cases[] = {
        {"out./keep.txt", "out./keep.txt"},
        {"OUT./KEEP.TXT", "out./keep.txt"},
        {"out/keep.txt", "out/keep.txt"},
        {"out. ./keep.txt", "out/keep.txt"},
        {"out.. ", "out"},
        {"My Games /race.jar", "My Games /race.jar"},
        {"my games /RACE.JAR. ", "My Games /race.jar"},
        {"My Games/race.jar", "My Games/race.jar"},
        {"new. /x.", "new/x"},
        {"out./new. ", "out./new"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolvePath(folder / c.given), folder / c.resolved) << c.given;
    }
    // Services reach the exact name: reading, copying out, making inside it.
    EXPECT_EQ(ReadAllLines(folder / "out./keep.txt"), std::vector<std::string>{"dot"});
    SetLastError(12345);
    EXPECT_TRUE(CopyFile(folder / "My Games /race.jar", folder / "copy.jar", true));
    EXPECT_EQ(ReadBytes(folder / "copy.jar"), "jar");
    ASSERT_TRUE(ForceDirectories(folder / "out./icons"));
    {
        TFileStream stream(folder / "out./icons/snake.png", fmCreate);
        stream.WriteBuffer("png", 3);
    }
    EXPECT_EQ(ReadBytes(folder / "out./icons/snake.png"), "png");
    EXPECT_FALSE(fs::exists(folder / "out/icons"));
    EXPECT_THROW(CreateDirectory(folder / "OUT."), EInOutError);
    // A rename that changes only the case keeps the dot it was given.
    SetLastError(12345);
    EXPECT_TRUE(MoveFile(folder / "out.", folder / "OUT."));
    EXPECT_TRUE(fs::is_directory(folder / "OUT."));
    EXPECT_EQ(ReadBytes(folder / "out/keep.txt"), "plain");
}

TEST_F(CaseResolution, InvalidNamesAreRefusedWhereSomethingWouldBeMade) {
    WriteBytes(folder / "source", "x");
    try {
        CreateDirectory(folder / "a:b");
        FAIL() << "made an invalid folder";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, ERROR_INVALID_NAME);
    }
    SetLastError(12345);
    EXPECT_FALSE(CopyFile(folder / "source", folder / "x|y", false));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    SetLastError(12345);
    EXPECT_FALSE(MoveFile(folder / "source", folder / "what?"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_THROW(
        {
            try {
                TFileStream stream(folder / "a*b", fmCreate);
            } catch (const EFCreateError& e) {
                EXPECT_EQ(e.ErrorCode, ERROR_INVALID_NAME);
                EXPECT_EQ(e.Message(),
                          "Cannot create file \"" + (folder / "a*b") +
                              "\". The filename, directory name, or volume label syntax is "
                              "incorrect.");
                throw;
            }
        },
        EFCreateError);
    EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::string>{"source"});
}

TEST_F(CaseResolution, OverlongNamesAre206) {
    try {
        CreateDirectory(folder / std::string(256, 'n'));
        FAIL() << "made an overlong folder";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, ERROR_FILENAME_EXCED_RANGE);
    }
    std::string deep = folder.Path();
    while (deep.size() <= 4095) {
        deep += std::string(100, 'd') + "/";
    }
    SetLastError(12345);
    EXPECT_FALSE(ForceDirectories(deep));
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

// A name with a NUL byte cannot be made and never finds the file named by the
// part before the NUL.
TEST_F(CaseResolution, NamesWithANulByteNameNothing) {
    WriteBytes(folder / "te", "x");
    const std::string withNul = folder / std::string("te\0t", 4);
    EXPECT_FALSE(FileExists(withNul));
    EXPECT_EQ(CheckNewPath(withNul), ERROR_INVALID_NAME);
    SetLastError(12345);
    EXPECT_FALSE(CopyFile(folder / "te", withNul, false));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_EQ(Exception(std::string("a\0b", 3)).Message(), "a?b");
}

// When a folder cannot be read, whether a case variant of a name is in it is
// unknown: services report the failure's code, not "not found", and make
// nothing beside the name that may be there.
TEST_F(CaseResolution, AFailedFolderScanReportsItsCode) {
    WriteBytes(folder / "Race.jar", "jar");
    fs::create_directories(folder / "Games");
    for (DWORD code : {ERROR_TOO_MANY_OPEN_FILES, ERROR_ACCESS_DENIED}) {
        SCOPED_TRACE(code);
        ArmFault(FaultPoint::FolderScan, 1, code);
        SetLastError(12345);
        EXPECT_FALSE(DeleteFile(folder / "race.jar"));
        EXPECT_EQ(GetLastError(), code);
        ArmFault(FaultPoint::FolderScan, 1, code);
        SetLastError(12345);
        EXPECT_FALSE(CopyFile(folder / "Race.jar", folder / "games/race.jar", false));
        EXPECT_EQ(GetLastError(), code);
        ArmFault(FaultPoint::FolderScan, 1, code);
        SetLastError(12345);
        EXPECT_EQ(GetFileAttributes(folder / "RACE.JAR"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), code);
        ArmFault(FaultPoint::FolderScan, 1, code);
        try {
            CreateDirectory(folder / "GAMES");
            FAIL() << "made a second folder";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, code);
        }
    }
    EXPECT_EQ(ListFolder(folder.Path()), (std::vector<std::string>{"Games", "Race.jar"}));
    EXPECT_TRUE(fs::is_empty(folder / "Games"));

    // Out of descriptors for real: the lowest free one is over the limit.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    const int lowest = dup(0);
    ASSERT_GE(lowest, 0);
    close(lowest);
    struct rlimit low = old;
    low.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    SetLastError(12345);
    const bool deleted = DeleteFile(folder / "race.jar");
    const DWORD code = GetLastError();
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(code, ERROR_TOO_MANY_OPEN_FILES);
    EXPECT_TRUE(fs::exists(folder / "Race.jar"));
}
