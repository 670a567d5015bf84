#include "platform/Files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

#include "FolderTest.h"
#include "TestFiles.h"
#include "platform/Faults.h"
#include "platform/Stream.h"
#include "platform/TextFile.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class FileServices : public FolderTest {};

// Runs a raising service and gives the code it raised, 0 when it did not.
template <typename Call>
DWORD RaisedCode(Call call) {
    try {
        call();
    } catch (const EInOutError& e) {
        return e.ErrorCode;
    }
    return 0;
}

FileTime Moment(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return FileTime{std::mktime(&local), 0};
}

}  // namespace

TEST_F(FileServices, CopyFileCopiesDataTimeAndReadOnly) {
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7 + i / 251);
    }
    WriteBytes(folder / "big.jar", data);
    FileTime when = Moment(2021, 6, 5, 4, 3, 2);
    ASSERT_TRUE(SetFileLastWriteTime(folder / "big.jar", when));
    ASSERT_TRUE(SetFileAttributes(folder / "big.jar", faReadOnly));

    SetLastError(12345);
    ASSERT_TRUE(CopyFile(folder / "BIG.JAR", folder / "copy.jar", true));
    EXPECT_EQ(ReadBytes(folder / "copy.jar"), data);
    EXPECT_EQ(GetFileAttributes(folder / "copy.jar"), faReadOnly | faArchive);
    FileTime copied;
    ASSERT_TRUE(GetFileLastWriteTime(folder / "copy.jar", copied));
    EXPECT_EQ(copied.seconds, when.seconds);
}

TEST_F(FileServices, CopyFileWithFailIfExistsKeepsTheTarget) {
    WriteBytes(folder / "new.jar", "new");
    WriteBytes(folder / "Old.jar", "old");
    SetLastError(12345);
    EXPECT_FALSE(CopyFile(folder / "new.jar", folder / "old.JAR", true));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadBytes(folder / "Old.jar"), "old");

    SetLastError(12345);
    EXPECT_TRUE(CopyFile(folder / "new.jar", folder / "old.JAR", false));
    EXPECT_EQ(ReadBytes(folder / "Old.jar"), "new");
    EXPECT_FALSE(fs::exists(folder / "old.JAR"));
}

TEST_F(FileServices, CopyFileFailures) {
    WriteBytes(folder / "a.jar", "a");
    WriteBytes(folder / "locked.jar", "locked");
    SetFileAttributes(folder / "locked.jar", faReadOnly);
    struct Case {
        std::string source, target;
        DWORD code;
    } cases[] = {
        {folder / "missing.jar", folder / "t.jar", ERROR_FILE_NOT_FOUND},
        {folder / "nowhere/a.jar", folder / "t.jar", ERROR_PATH_NOT_FOUND},
        {folder / "a.jar", folder / "nowhere/t.jar", ERROR_PATH_NOT_FOUND},
        {folder / "a.jar", folder / "locked.jar", ERROR_ACCESS_DENIED},
        {folder / "a.jar", folder / "A.JAR", ERROR_SHARING_VIOLATION},  // itself
        {folder.Path(), folder / "t.jar", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SetLastError(12345);
        EXPECT_FALSE(CopyFile(c.source, c.target, false)) << c.source << " -> " << c.target;
        EXPECT_EQ(GetLastError(), c.code) << c.source << " -> " << c.target;
    }
    EXPECT_EQ(ReadBytes(folder / "a.jar"), "a");
    EXPECT_EQ(ReadBytes(folder / "locked.jar"), "locked");
    EXPECT_FALSE(fs::exists(folder / "t.jar"));
}

TEST_F(FileServices, AFailedCopyLeavesNoTarget) {
    WriteBytes(folder / "a.jar", "data");
    ArmFault(FaultPoint::CopyFile, 2, ERROR_DISK_FULL);
    SetLastError(12345);
    EXPECT_TRUE(CopyFile(folder / "a.jar", folder / "one.jar", false));
    SetLastError(12345);
    EXPECT_FALSE(CopyFile(folder / "a.jar", folder / "two.jar", false));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_FALSE(fs::exists(folder / "two.jar"));
    EXPECT_EQ(FaultCalls(FaultPoint::CopyFile), 2);
}

TEST_F(FileServices, MoveFileNeverReplaces) {
    WriteBytes(folder / "a.jar", "a");
    WriteBytes(folder / "B.jar", "b");
    SetLastError(12345);
    EXPECT_FALSE(MoveFile(folder / "a.jar", folder / "b.JAR"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadBytes(folder / "a.jar"), "a");
    EXPECT_EQ(ReadBytes(folder / "B.jar"), "b");

    SetLastError(12345);
    EXPECT_FALSE(MoveFile(folder / "gone.jar", folder / "c.jar"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    SetLastError(12345);
    EXPECT_FALSE(MoveFile(folder / "a.jar", folder / "no/c.jar"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FileServices, MoveFileRenamesFilesFoldersAndCase) {
    WriteBytes(folder / "a.jar", "a");
    SetFileAttributes(folder / "a.jar", faReadOnly);
    SetLastError(12345);
    EXPECT_TRUE(MoveFile(folder / "A.JAR", folder / "c.jar"));
    EXPECT_EQ(ReadBytes(folder / "c.jar"), "a");
    EXPECT_TRUE(MoveFile(folder / "c.jar", folder / "C.Jar"));  // only the case changes
    EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::string>{"C.Jar"});
    fs::create_directories(folder / "dir/sub");
    EXPECT_TRUE(MoveFile(folder / "DIR", folder / "moved"));
    EXPECT_TRUE(fs::is_directory(folder / "moved/sub"));
}

TEST_F(FileServices, MoveFileCrossesFileSystems) {
    if (!fs::is_directory("/dev/shm")) {
        GTEST_SKIP() << "no second file system";
    }
    TestFolder otherFs;  // under /tmp; the source lies in /dev/shm
    std::string source = "/dev/shm/quellor-move-" + std::to_string(::getpid());
    WriteBytes(source, "moved across");
    FileTime when = Moment(2019, 1, 2, 3, 4, 6);
    SetFileLastWriteTime(source, when);
    SetLastError(12345);
    EXPECT_TRUE(MoveFile(source, otherFs / "x.jar"));
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(ReadBytes(otherFs / "x.jar"), "moved across");
    FileTime moved;
    GetFileLastWriteTime(otherFs / "x.jar", moved);
    EXPECT_EQ(moved.seconds, when.seconds);
}

TEST_F(FileServices, DeleteFileResults) {
    WriteBytes(folder / "a.jar", "a");
    WriteBytes(folder / "ro.jar", "ro");
    SetFileAttributes(folder / "ro.jar", faReadOnly);
    fs::create_directories(folder / "dir");
    struct Case {
        std::string path;
        DWORD code;
    } failures[] = {
        {folder / "missing", ERROR_FILE_NOT_FOUND},
        {folder / "no/missing", ERROR_PATH_NOT_FOUND},
        {folder / "dir", ERROR_ACCESS_DENIED},
        {folder / "RO.jar", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : failures) {
        SetLastError(12345);
        EXPECT_FALSE(DeleteFile(c.path)) << c.path;
        EXPECT_EQ(GetLastError(), c.code) << c.path;
    }
    EXPECT_TRUE(fs::exists(folder / "ro.jar"));
    SetLastError(12345);
    EXPECT_TRUE(DeleteFile(folder / "A.JAR"));
    EXPECT_FALSE(fs::exists(folder / "a.jar"));
}

TEST_F(FileServices, ReadOnlyHoldsForRootToo) {
    WriteBytes(folder / "ro.txt", "keep");
    ASSERT_TRUE(SetFileAttributes(folder / "ro.txt", faReadOnly | faHidden));
    EXPECT_EQ(GetFileAttributes(folder / "ro.txt"), faReadOnly | faArchive);
    try {
        TFileStream stream(folder / "ro.txt", fmOpenReadWrite | fmShareDenyNone);
        FAIL() << "opened a read-only file for writing";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.ErrorCode, ERROR_ACCESS_DENIED);
        EXPECT_EQ(e.Message(),
                  "Cannot open file \"" + (folder / "ro.txt") + "\". Access is denied.");
    }
    EXPECT_THROW(TFileStream(folder / "ro.txt", fmCreate), EFCreateError);
    TextFile text;
    EXPECT_EQ(RaisedCode([&] { text.Rewrite(folder / "ro.txt"); }), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RaisedCode([&] { text.Append(folder / "ro.txt"); }), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadBytes(folder / "ro.txt"), "keep");
    TFileStream reader(folder / "ro.txt", fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(reader.Size(), 4);

    ASSERT_TRUE(SetFileAttributes(folder / "ro.txt", 0));
    EXPECT_EQ(GetFileAttributes(folder / "ro.txt"), faArchive);
    SetLastError(12345);
    EXPECT_TRUE(DeleteFile(folder / "ro.txt"));
}

TEST_F(FileServices, AttributeWords) {
    fs::create_directories(folder / ".hidden");
    WriteBytes(folder / ".profile", "");
    EXPECT_EQ(GetFileAttributes(folder / ".hidden"), faDirectory | faHidden);
    EXPECT_EQ(GetFileAttributes(folder / ".Profile"), faArchive | faHidden);
    SetLastError(12345);
    EXPECT_EQ(GetFileAttributes(folder / "none"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    // The one look-up tells what the single queries tell, by any case.
    WriteBytes(folder / "data.bin", "12345");
    for (const char* name : {".hidden", ".PROFILE", "Data.bin", "none", "none/deeper"}) {
        SCOPED_TRACE(name);
        const std::string path = folder / name;
        FileAttributeData data;
        SetLastError(12345);
        const bool found = GetFileAttributesEx(path, data);
        const DWORD code = GetLastError();
        SetLastError(12345);
        EXPECT_EQ(found ? data.attributes : INVALID_FILE_ATTRIBUTES, GetFileAttributes(path));
        EXPECT_EQ(code, GetLastError());
        FileTime time;
        std::uint64_t size = 0;
        EXPECT_EQ(found, GetFileLastWriteTime(path, time));
        EXPECT_EQ(found, FindFileSize(path, size));
        if (found) {
            EXPECT_EQ(data.lastWriteTime.seconds, time.seconds);
            EXPECT_EQ(data.lastWriteTime.nanoseconds, time.nanoseconds);
            EXPECT_EQ(data.size, size);
        }
    }
}

TEST_F(FileServices, FolderServicesRaiseTheirCodes) {
    WriteBytes(folder / "file", "");
    fs::create_directories(folder / "full/inner");
    EXPECT_EQ(RaisedCode([&] { CreateDirectory(folder / "FILE"); }), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(RaisedCode([&] { CreateDirectory(folder / "a/b"); }), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(RaisedCode([&] { RemoveDirectory(folder / "Full"); }), ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(RaisedCode([&] { RemoveDirectory(folder / "missing"); }), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RaisedCode([&] { RemoveDirectory(folder / "file"); }), ERROR_DIRECTORY);
    EXPECT_EQ(RaisedCode([&] { RemoveDirectory(folder / "FULL/Inner"); }), 0u);
    EXPECT_FALSE(fs::exists(folder / "full/inner"));
    try {
        RemoveDirectory(folder / "full/inner");
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
}

TEST_F(FileServices, ForceDirectoriesMakesEveryMissingFolder) {
    fs::create_directories(folder / "Projects");
    SetLastError(12345);
    EXPECT_TRUE(ForceDirectories(folder / "projects\\Race/Data/"));
    EXPECT_TRUE(fs::is_directory(folder / "Projects/Race/Data"));
    EXPECT_TRUE(ForceDirectories(folder / "PROJECTS/race"));
    WriteBytes(folder / "blocker", "");
    SetLastError(12345);
    EXPECT_FALSE(ForceDirectories(folder / "blocker/sub"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FileServices, QueriesAndSizes) {
    WriteBytes(folder / "five.bin", "12345");
    fs::create_directories(folder / "dir");
    EXPECT_TRUE(FileExists(folder / "FIVE.bin"));
    EXPECT_FALSE(FileExists(folder / "dir"));
    EXPECT_TRUE(DirectoryExists(folder / "DIR/"));
    EXPECT_FALSE(DirectoryExists(folder / "five.bin"));
    std::uint64_t size = 99;
    SetLastError(12345);
    EXPECT_TRUE(FindFileSize(folder / "Five.bin", size));
    EXPECT_EQ(size, 5u);
    SetLastError(12345);
    EXPECT_FALSE(FindFileSize(folder / "none.bin", size));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    WriteBytes(folder / "b", "");
    WriteBytes(folder / "B", "");
    WriteBytes(folder / "a", "");
    EXPECT_EQ(ListFolder(folder.Path()),
              (std::vector<std::string>{"B", "a", "b", "dir", "five.bin"}));
}

TEST_F(FileServices, DosDateTimeBothWays) {
    DWORD dos = FileTimeToDosDateTime(Moment(2024, 3, 15, 13, 45, 31));
    EXPECT_EQ(dos >> 16, (44u << 9) | (3u << 5) | 15u);
    EXPECT_EQ(dos & 0xFFFF, (13u << 11) | (45u << 5) | 15u);  // 31 s -> 30 s
    EXPECT_EQ(DosDateTimeToFileTime(dos).seconds, Moment(2024, 3, 15, 13, 45, 30).seconds);
    EXPECT_EQ(FileTimeToDosDateTime(Moment(1975, 5, 5, 5, 5, 5)), 0x00210000u);

    WriteBytes(folder / "entry.mf", "x");
    ASSERT_TRUE(FileSetDate(folder / "ENTRY.mf", dos));
    EXPECT_EQ(FileAge(folder / "entry.mf"), static_cast<std::int64_t>(dos));
    EXPECT_EQ(FileAge(folder / "none"), -1);
    SetFileAttributes(folder / "entry.mf", faReadOnly);
    SetLastError(12345);
    EXPECT_FALSE(FileSetDate(folder / "entry.mf", dos));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(FileServices, TemporaryFiles) {
    const char* old = std::getenv("TMPDIR");
    std::string saved = old != nullptr ? old : "";
    setenv("TMPDIR", folder.Path().c_str(), 1);
    EXPECT_EQ(GetTempPath(), folder.Path());
    setenv("TMPDIR", (folder / "missing").c_str(), 1);
    EXPECT_EQ(GetTempPath(), "/tmp/");
    old != nullptr ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");

    std::string first = GetTempFileName(folder.Path(), "FCX-long");
    std::string second = GetTempFileName(folder.Path(), "FCX-long");
    std::regex name("FCX[0-9A-F]{4}\\.tmp");
    EXPECT_TRUE(std::regex_match(fs::path(first).filename().string(), name)) << first;
    EXPECT_NE(first, second);
    EXPECT_EQ(fs::file_size(first), 0u);
    EXPECT_EQ(fs::status(first).permissions(), fs::perms(0600));  // this user's alone
    EXPECT_EQ(fs::path(first).parent_path(), fs::path(folder / "x").parent_path());
    SetLastError(12345);
    EXPECT_EQ(GetTempFileName(folder / "missing", "FC"), "");
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

// A temporary name is new in every case and lies in the folder given; the
// temporary folder is absolute even when $TMPDIR is not.
TEST_F(FileServices, TemporaryNamesAreNewInEveryCase) {
    // Every number but one is taken by a lower-case variant of its name; one
    // variant is longer, with the Kelvin sign that folds to k.
    for (unsigned n = 0; n < 0x10000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, n == 0x0042 ? "fc\u212A%04x.tmp" : "fck%04x.tmp", n);
        if (n != 0x1A2B) {
            close(open((folder / name).c_str(), O_WRONLY | O_CREAT, 0644));
        }
    }
    SetLastError(12345);
    EXPECT_EQ(GetTempFileName(folder.Path(), "FCK"), folder / "FCK1A2B.tmp");
    SetLastError(12345);
    EXPECT_EQ(GetTempFileName(folder.Path(), "FCK"), "");
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    for (const char* prefix : {"a/b", "..\\x", "/", "abcd/"}) {
        SetLastError(12345);
        EXPECT_EQ(GetTempFileName(folder.Path(), prefix), "") << prefix;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << prefix;
    }

    const std::string cwd = fs::current_path();
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old != nullptr ? old : "";
    fs::create_directories(folder / "rel");
    fs::current_path(folder.Path());
    setenv("TMPDIR", "rel", 1);
    const std::string path = GetTempPath();
    fs::current_path(cwd);
    old != nullptr ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
    EXPECT_EQ(path, folder / "rel/");
}

TEST(SystemServices, MemoryAndTheArchiveLock) {
    EXPECT_GT(AvailablePhysicalMemory(), 1024u * 1024u);
    std::unique_lock outer(ArchiveLock());
    std::unique_lock inner(ArchiveLock());  // re-entrant
    bool otherGotIt = true;
    std::thread other([&] { otherGotIt = ArchiveLock().try_lock(); });
    other.join();
    EXPECT_FALSE(otherGotIt);
}
