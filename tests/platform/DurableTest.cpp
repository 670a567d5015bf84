// Moving a file over another in one step, and flushing files and folders:
// what is replaced, what is refused and left as it was, and the codes.
#include "platform/Durable.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "FolderTest.h"
#include "TestFiles.h"
#include "platform/Files.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class Durable : public FolderTest {};

TEST_F(Durable, MoveOverAnotherFile) {
    struct Case {
        const char* what;
        const char* target;  // the name given for the target
        const char* onDisk;  // what is already there under that name ("" none)
        bool readOnly;
        bool folder;
        DWORD code;            // 0: moved
        const char* resultAt;  // where the new bytes end up, when moved
    };
    const Case cases[] = {
        {"nothing there", "a.ids", "", false, false, 0, "a.ids"},
        {"a file", "a.ids", "a.ids", false, false, 0, "a.ids"},
        {"a file in another case", "A.IDS", "a.ids", false, false, 0, "a.ids"},
        {"a read-only file", "a.ids", "a.ids", true, false, ERROR_ACCESS_DENIED, ""},
        {"a folder", "a.ids", "a.ids", false, true, ERROR_ACCESS_DENIED, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder / "t");
        fs::create_directories(folder / "t");
        WriteBytes(folder / "t/new", "new");
        const std::string old = folder / ("t/" + std::string(c.onDisk));
        if (c.folder) {
            fs::create_directories(old);
        } else if (*c.onDisk != '\0') {
            WriteBytes(old, "old");
            ASSERT_TRUE(SetFileAttributes(old, c.readOnly ? faReadOnly : 0));
        }
        const bool moved = MoveFileEx(folder / "t/new", folder / ("t/" + std::string(c.target)),
                                      MOVEFILE_REPLACE_EXISTING);
        EXPECT_EQ(moved, c.code == 0);
        if (c.code != 0) {
            EXPECT_EQ(GetLastError(), c.code);
            EXPECT_EQ(ReadBytes(folder / "t/new"), "new");
            if (!c.folder) {
                EXPECT_EQ(ReadBytes(old), "old");
            }
            continue;
        }
        EXPECT_FALSE(fs::exists(folder / "t/new"));
        EXPECT_EQ(ReadBytes(folder / ("t/" + std::string(c.resultAt))), "new");
        EXPECT_EQ(ListFolder(folder / "t").size(), 1u);
    }
}

TEST_F(Durable, WithoutReplacingItIsAMove) {
    WriteBytes(folder / "new", "new");
    WriteBytes(folder / "old", "old");
    EXPECT_FALSE(MoveFileEx(folder / "new", folder / "old", 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadBytes(folder / "old"), "old");
}

// Two names exchanged: a folder and a folder (names given in another
// case), a folder and a file; a missing name or a failed call changes
// nothing.
TEST_F(Durable, ExchangesTwoNames) {
    WriteBytes(folder / "projects/Alpha/Alpha.jar", "old");
    WriteBytes(folder / "temp/stage/Alpha.jar", "new");
    EXPECT_TRUE(ExchangePaths(folder / "TEMP/Stage", folder / "projects/ALPHA"));
    EXPECT_EQ(ReadBytes(folder / "projects/Alpha/Alpha.jar"), "new");
    EXPECT_EQ(ReadBytes(folder / "temp/stage/Alpha.jar"), "old");
    WriteBytes(folder / "file", "file");
    EXPECT_TRUE(ExchangePaths(folder / "file", folder / "temp/stage"));
    EXPECT_EQ(ReadBytes(folder / "temp/stage"), "file");
    EXPECT_EQ(ReadBytes(folder / "file/Alpha.jar"), "old");

    EXPECT_FALSE(ExchangePaths(folder / "file", folder / "gone"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(ExchangePaths(folder / "gone/deeper", folder / "file"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    ArmFault(FaultPoint::Rename, 1, ERROR_DISK_FULL);
    EXPECT_FALSE(ExchangePaths(folder / "file", folder / "temp/stage"));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(ReadBytes(folder / "temp/stage"), "file");
}

TEST_F(Durable, FlushesWhatIsThereAndSaysWhatIsNot) {
    WriteBytes(folder / "sub/file", "bytes");
    EXPECT_TRUE(FlushFile(folder / "sub/file"));
    EXPECT_TRUE(FlushFolder(folder / "sub"));
    EXPECT_TRUE(FlushFolder(folder / "SUB/"));
    EXPECT_FALSE(FlushFile(folder / "sub/gone"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(FlushFolder(folder / "gone/deeper"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    // A failure of the disk is the flush's result.
    ArmFault(FaultPoint::Flush, 1, ERROR_IO_DEVICE);
    EXPECT_FALSE(FlushFolder(folder / "sub"));
    EXPECT_EQ(GetLastError(), ERROR_IO_DEVICE);
}

// A folder held for flushing is opened once, and each flush still says
// whether it worked: the first, which opens it, and every later one.
TEST_F(Durable, AHeldFolderIsFlushedAgainAndAgain) {
    WriteBytes(folder / "sub/file", "bytes");
    {
        HeldFolder missing(folder / "gone");
        EXPECT_FALSE(missing.Flush());
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    HeldFolder held(folder / "SUB/");
    for (int flush = 1; flush <= 3; ++flush) {
        SCOPED_TRACE(flush);
        ArmFault(FaultPoint::Flush, flush, ERROR_IO_DEVICE);
        for (int call = 1; call <= 3; ++call) {
            const bool flushed = call % 2 == 0 ? held.FlushFileSystem() : held.Flush();
            EXPECT_EQ(flushed, call != flush);
            if (!flushed) {
                EXPECT_EQ(GetLastError(), ERROR_IO_DEVICE);
            }
        }
        DisarmAllFaults();
    }
}

}  // namespace
