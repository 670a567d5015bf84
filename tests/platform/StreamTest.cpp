#include "platform/Stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "FaultSweep.h"
#include "FolderTest.h"
#include "TestFiles.h"
#include "platform/Faults.h"
#include "platform/Sharing.h"
#include "platform/TargetPath.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class Streams : public FolderTest {};

// The code of the error a stream open raised, 0 when it opened.
DWORD OpenCode(const std::string& path, std::uint32_t mode) {
    try {
        TFileStream stream(path, mode);
    } catch (const EStreamError& e) {
        return e.ErrorCode;
    }
    return 0;
}

// The same through a target looked up before, writing "new" when it opens.
DWORD OpenCode(const TargetPath& target, std::uint32_t mode) {
    try {
        TFileStream stream(target, mode);
        stream.WriteBuffer("new", 3);
    } catch (const EStreamError& e) {
        return e.ErrorCode;
    }
    return 0;
}

// What is at `path`: a link, a folder, or the file's bytes; "-" for nothing.
std::string WhatIsAt(const std::string& path) {
    if (fs::is_symlink(path)) {
        return "link";
    }
    if (fs::is_directory(path)) {
        return "folder";
    }
    return fs::exists(path) ? ReadBytes(path) : "-";
}

// Another program's lock on the whole file, taken through a descriptor of
// its own, as any program that locks files takes it.
class ForeignLock {
  public:
    ForeignLock(const std::string& path, short type)
        : fd_(open(path.c_str(), type == F_WRLCK ? O_RDWR : O_RDONLY)) {
        struct flock lock {};
        lock.l_type = type;
        lock.l_whence = SEEK_SET;
        placed_ = fd_ >= 0 && fcntl(fd_, F_OFD_SETLK, &lock) == 0;
    }
    ~ForeignLock() { close(fd_); }
    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;
    bool Placed() const { return placed_; }

  private:
    int fd_;
    bool placed_ = false;
};

// A marks file of the test's own for one scope.
class OwnMarksFile {
  public:
    explicit OwnMarksFile(const std::string& path) { SetShareMarksFile(path); }
    ~OwnMarksFile() { SetShareMarksFile(""); }
};

}  // namespace

TEST_F(Streams, ReadWriteSeekAndSize) {
    {
        TFileStream out(folder / "data.bin", fmCreate);
        out.WriteBuffer("hello world", 11);
        EXPECT_EQ(out.Seek(-5, SeekOrigin::soEnd), 6);
        out.WriteBuffer("WORLD!", 6);
        EXPECT_EQ(out.Size(), 12);
        EXPECT_TRUE(out.SetSize(5));
        EXPECT_EQ(out.Position(), 5);
        out.WriteBuffer("!", 1);
        EXPECT_TRUE(out.Flush());
    }
    EXPECT_EQ(ReadBytes(folder / "data.bin"), "hello!");
    TFileStream in(folder / "DATA.BIN", fmOpenRead | fmShareDenyNone);
    char buffer[16] = {};
    EXPECT_EQ(in.Read(buffer, sizeof buffer), 6u);
    EXPECT_STREQ(buffer, "hello!");
    in.SetPosition(2);
    EXPECT_THROW(in.ReadBuffer(buffer, 5), EReadError);
    SetLastError(12345);
    EXPECT_EQ(in.Write("x", 1), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(in.Seek(-1, SeekOrigin::soBeginning), -1);
}

TEST_F(Streams, CreateReplacesAndCopyFromMovesARange) {
    WriteBytes(folder / "source.bin", "0123456789");
    WriteBytes(folder / "target.bin", "old content that is long");
    TFileStream source(folder / "source.bin", fmOpenRead | fmShareDenyWrite);
    TFileStream target(folder / "Target.bin", fmCreate);
    EXPECT_EQ(target.Size(), 0);
    source.SetPosition(3);
    target.WriteBuffer("<", 1);
    EXPECT_EQ(target.CopyFrom(source, 4), 4);
    target.WriteBuffer(">", 1);
    EXPECT_EQ(source.Position(), 7);
    EXPECT_EQ(ReadBytes(folder / "target.bin"), "<3456>");
    EXPECT_THROW(target.CopyFrom(source, 10), EReadError);  // only 3 bytes are left
}

// A stream keeps the size it knows while no other open may write; every
// way the file changes must still show in Size() as the disk has it.
TEST_F(Streams, TheSizeFollowsEveryChangeOfTheFile) {
    WriteBytes(folder / "source.bin", "0123456789");
    const std::string path = folder / "sized.bin";
    for (const std::uint32_t mode :
         {fmCreate | fmShareExclusive, fmCreate | fmShareDenyNone,
          fmOpenReadWrite | fmShareDenyWrite, fmOpenReadWrite | fmShareDenyNone}) {
        SCOPED_TRACE(mode);
        WriteBytes(path, "old bytes");
        TFileStream file(path, mode);
        TFileStream source(folder / "source.bin", fmOpenRead | fmShareDenyNone);
        const bool othersMayWrite = (mode & 0xF0) == fmShareDenyNone;
        const std::vector<std::pair<std::string, std::function<void()>>> changes = {
            {"written at the end",
             [&] { file.Seek(0, SeekOrigin::soEnd), file.WriteBuffer("ab", 2); }},
            {"written past the end", [&] { file.SetPosition(40), file.WriteBuffer("c", 1); }},
            {"written inside", [&] { file.SetPosition(3), file.WriteBuffer("d", 1); }},
            {"cut short", [&] { EXPECT_TRUE(file.SetSize(7)); }},
            {"lengthened", [&] { EXPECT_TRUE(file.SetSize(30)); }},
            {"copied onto", [&] { file.SetPosition(28), file.CopyFrom(source, 5); }},
            {"cut through the descriptor", [&] { EXPECT_EQ(ftruncate(file.Handle(), 4), 0); }},
            {"written by another open",
             [&] {
                 if (othersMayWrite) {
                     TFileStream other(path, fmOpenReadWrite | fmShareDenyNone);
                     other.SetPosition(50);
                     other.WriteBuffer("e", 1);
                 }
             }},
        };
        for (const auto& [what, change] : changes) {
            EXPECT_EQ(file.Size(), static_cast<std::int64_t>(fs::file_size(path))) << "before";
            change();
            EXPECT_EQ(file.Size(), static_cast<std::int64_t>(fs::file_size(path))) << what;
        }
    }
    // A reader takes the file as it was when it first asked.
    WriteBytes(path, "12345");
    TFileStream reader(path, fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(reader.Seek(0, SeekOrigin::soEnd), 5);
    TFileStream(path, fmOpenReadWrite | fmShareDenyNone).WriteBuffer("1234567", 7);
    EXPECT_EQ(reader.Size(), 5);
}

TEST_F(Streams, OpenFailuresCarryTheSystemMessage) {
    std::string missing = folder / "missing.jar";
    try {
        TFileStream stream(missing, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + missing +
                                   "\". The system cannot find the file specified.");
    }
    std::string nowhere = folder / "no/where.jar";
    try {
        TFileStream stream(nowhere, fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file \"" + nowhere +
                                   "\". The system cannot find the path specified.");
    }
    fs::create_directories(folder / "dir");
    EXPECT_EQ(OpenCode(folder / "dir", fmOpenRead), ERROR_ACCESS_DENIED);
}

TEST_F(Streams, DenyWriteAndWriteAccessExcludeEachOther) {
    WriteBytes(folder / "a.jar", "archive");
    {
        TFileStream holder(folder / "a.jar", fmOpenReadWrite | fmShareDenyWrite);
        EXPECT_EQ(OpenCode(folder / "A.JAR", fmOpenReadWrite | fmShareDenyNone),
                  ERROR_SHARING_VIOLATION);
        EXPECT_EQ(OpenCode(folder / "a.jar", fmOpenWrite | fmShareDenyNone),
                  ERROR_SHARING_VIOLATION);
        EXPECT_EQ(OpenCode(folder / "a.jar", fmOpenRead | fmShareDenyNone), 0u);
        try {
            TFileStream again(folder / "a.jar", fmCreate);
            FAIL();
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.ErrorCode, ERROR_SHARING_VIOLATION);
            EXPECT_EQ(e.Message(), "Cannot create file \"" + (folder / "a.jar") +
                                       "\". The process cannot access the file because it is "
                                       "being used by another process.");
        }
        EXPECT_EQ(ReadBytes(folder / "a.jar"), "archive");  // the create emptied nothing
    }
    {
        TFileStream writer(folder / "a.jar", fmOpenReadWrite | fmShareDenyNone);
        EXPECT_EQ(OpenCode(folder / "a.jar", fmOpenReadWrite | fmShareDenyWrite),
                  ERROR_SHARING_VIOLATION);
        EXPECT_EQ(OpenCode(folder / "a.jar", fmOpenRead | fmShareDenyWrite),
                  ERROR_SHARING_VIOLATION);
        EXPECT_EQ(OpenCode(folder / "a.jar", fmOpenRead | fmShareDenyNone), 0u);
        EXPECT_EQ(OpenCode(folder / "a.jar", fmOpenReadWrite | fmShareDenyNone), 0u);
    }
    EXPECT_EQ(OpenCode(folder / "a.jar", fmOpenReadWrite | fmShareDenyWrite), 0u);
    // An open without marks neither meets others' nor leaves its own.
    {
        TFileStream holder(folder / "a.jar", fmOpenRead | fmShareDenyWrite);
        TFileStream unmarked(folder / "a.jar", fmOpenReadWrite | fmShareExclusive | fmNoSharing);
        EXPECT_EQ(OpenCode(folder / "a.jar", fmOpenRead | fmShareDenyWrite), 0u);
    }
    {
        TFileStream unmarked(folder / "a.jar", fmCreate | fmNoSharing);
        EXPECT_EQ(OpenCode(folder / "a.jar", fmOpenReadWrite | fmShareDenyNone), 0u);
    }
}

TEST_F(Streams, SharingHoldsBetweenProcesses) {
    WriteBytes(folder / "shared.jar", "x");
    // Descriptors the parent keeps from closed opens are not the child's.
    OpenCode(folder / "shared.jar", fmOpenReadWrite | fmShareDenyWrite);
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int status = 0;
        try {
            TFileStream holder(folder / "shared.jar", fmOpenReadWrite | fmShareDenyWrite);
            char go = 1;
            status = write(ready[1], &go, 1) == 1 && read(release[0], &go, 1) == 1 ? 0 : 2;
        } catch (...) {
            status = 1;
        }
        _exit(status);
    }
    char signal = 0;
    ASSERT_EQ(read(ready[0], &signal, 1), 1);
    EXPECT_EQ(OpenCode(folder / "SHARED.jar", fmOpenReadWrite | fmShareDenyNone),
              ERROR_SHARING_VIOLATION);
    EXPECT_EQ(OpenCode(folder / "shared.jar", fmOpenRead | fmShareDenyNone), 0u);
    ASSERT_EQ(write(release[1], &signal, 1), 1);
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(OpenCode(folder / "shared.jar", fmOpenReadWrite | fmShareDenyNone), 0u);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) {
        close(fd);
    }
    // A child that closes an open it inherited leaves the parent's marks.
    auto* inherited = new TFileStream(folder / "shared.jar", fmOpenReadWrite | fmShareDenyWrite);
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        delete inherited;
        _exit(0);
    }
    waitpid(child, &status, 0);
    EXPECT_EQ(OpenCode(folder / "shared.jar", fmOpenReadWrite | fmShareDenyNone),
              ERROR_SHARING_VIOLATION);
    delete inherited;
}

// Only our own opens are held back: another program's lock on the whole
// file, shared or exclusive, neither refuses our opens nor switches our
// sharing off, and ours never refuse its lock.
TEST_F(Streams, OtherProgramsLocksTakeNoPartInSharing) {
    const std::string jar = folder / "a.jar";
    WriteBytes(jar, "archive");
    for (short type : {F_RDLCK, F_WRLCK}) {
        SCOPED_TRACE(type == F_RDLCK ? "shared" : "exclusive");
        ForeignLock foreign(jar, type);
        ASSERT_TRUE(foreign.Placed());
        EXPECT_EQ(OpenCode(jar, fmOpenReadWrite | fmShareDenyWrite), 0u);
        TFileStream holder(jar, fmOpenReadWrite | fmShareDenyWrite);
        EXPECT_EQ(OpenCode(jar, fmOpenReadWrite | fmShareDenyWrite), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(OpenCode(jar, fmOpenWrite | fmShareDenyNone), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(OpenCode(jar, fmOpenRead | fmShareDenyNone), 0u);
    }
    TFileStream holder(jar, fmOpenReadWrite | fmShareDenyWrite);
    TFileStream reader(jar, fmOpenRead | fmShareDenyNone);
    EXPECT_TRUE(ForeignLock(jar, F_WRLCK).Placed());
    EXPECT_TRUE(ForeignLock(jar, F_RDLCK).Placed());
}

// A mark refused because a lock stands in its place is a sharing violation,
// not a sign that locks do not work; without a marks file nothing is shared.
// A marks file replaced between opens is the one marked from then on.
TEST_F(Streams, ARefusedMarkIsAViolation) {
    const std::string jar = folder / "a.jar";
    WriteBytes(jar, "archive");
    {
        const OwnMarksFile marks(folder / "marks");
        EXPECT_EQ(OpenCode(jar, fmOpenReadWrite | fmShareDenyWrite), 0u);
        fs::remove(folder / "marks");
        {
            TFileStream holder(jar, fmOpenReadWrite | fmShareDenyWrite);
            EXPECT_EQ(OpenCode(jar, fmOpenReadWrite | fmShareDenyNone), ERROR_SHARING_VIOLATION);
        }
        ForeignLock blocker(folder / "marks", F_WRLCK);
        ASSERT_TRUE(blocker.Placed());
        EXPECT_EQ(OpenCode(jar, fmOpenReadWrite | fmShareDenyWrite), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(OpenCode(jar, fmOpenRead | fmShareDenyWrite), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(OpenCode(jar, fmOpenRead | fmShareDenyNone), 0u);
    }
    // Without its marks an open that asks for a sharing rule fails, saying
    // why; one that asks for none goes on.
    const OwnMarksFile none(folder / "missing/marks");
    try {
        TFileStream holder(jar, fmOpenReadWrite | fmShareDenyWrite);
        FAIL() << "opened without sharing marks";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.ErrorCode, ERROR_LOCK_FAILED);
        EXPECT_EQ(e.Message(), "Cannot open file \"" + jar +
                                   "\". Unable to lock a region of a file. The folder of the "
                                   "sharing marks \"" +
                                   (folder / "missing") +
                                   "\" cannot serve: it cannot be opened (No such file or "
                                   "directory).");
    }
    EXPECT_EQ(OpenCode(jar, fmOpenRead | fmShareDenyNone), 0u);
}

TEST_F(Streams, TheNthWriteFails) {
    TFileStream out(folder / "f.bin", fmCreate);
    ArmFault(FaultPoint::StreamWrite, 3, ERROR_DISK_FULL);
    out.WriteBuffer("a", 1);
    out.WriteBuffer("b", 1);
    try {
        out.WriteBuffer("c", 1);
        FAIL() << "the third write went through";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.ErrorCode, ERROR_DISK_FULL);
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    out.WriteBuffer("d", 1);
    EXPECT_EQ(FaultCalls(FaultPoint::StreamWrite), 4);
    EXPECT_EQ(ReadBytes(folder / "f.bin"), "abd");

    ArmFault(FaultPoint::StreamTruncate, 1, ERROR_ACCESS_DENIED);
    SetLastError(12345);
    EXPECT_FALSE(out.SetSize(1));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ArmFault(FaultPoint::StreamOpen, 1, ERROR_TOO_MANY_OPEN_FILES);
    EXPECT_EQ(OpenCode(folder / "f.bin", fmOpenRead), ERROR_TOO_MANY_OPEN_FILES);
}

TEST_F(Streams, AFullDiskShortensTheWrite) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    TFileStream full("/dev/full", fmOpenWrite | fmShareDenyNone);
    SetLastError(12345);
    EXPECT_EQ(full.Write("abc", 3), 0u);
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
}

// A name looked up while it was missing, and then made by someone else
// before the open: the target's file is made exclusively, so whatever is
// there by then (a link included) is refused and left as it is. A case
// variant made meanwhile is not seen: the new file gets its own name beside
// it, nothing is overwritten.
TEST_F(Streams, AStaleTargetIsMadeExclusivelyOrNotAtAll) {
    const std::string outside = folder / "outside.txt";
    WriteBytes(outside, "precious");
    struct Case {
        const char* what;
        std::function<void(const std::string&)> meanwhile;
        DWORD code;
        const char* after;  // what is at the name after the open
    };
    const std::vector<Case> cases = {
        {"nothing", [](const std::string&) {}, 0, "new"},
        {"a file", [](const std::string& p) { WriteBytes(p, "old"); }, ERROR_FILE_EXISTS, "old"},
        {"a folder", [](const std::string& p) { fs::create_directory(p); }, ERROR_FILE_EXISTS,
         "folder"},
        {"a link", [&](const std::string& p) { fs::create_symlink(outside, p); }, ERROR_FILE_EXISTS,
         "link"},
        {"a case variant",
         [](const std::string& p) {
             const fs::path path(p);
             WriteBytes((path.parent_path() / "T4.X").string(), "old");
         },
         0, "new"},
    };
    constexpr std::uint32_t mode = fmCreate | fmShareExclusive;
    TargetFolder destination(folder.Path());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        const std::string name = "t" + std::to_string(i) + ".x";
        const TargetPath target(destination, name, false, false);
        ASSERT_EQ(target.Error(), ERROR_SUCCESS);
        ASSERT_FALSE(target.IsFile());
        cases[i].meanwhile(folder / name);
        EXPECT_EQ(OpenCode(target, mode), cases[i].code);
        EXPECT_EQ(WhatIsAt(folder / name), cases[i].after);
    }
    EXPECT_EQ(ReadBytes(outside), "precious");
    EXPECT_EQ(ReadBytes(folder / "T4.X"), "old");
}

// The sweep counts every modifying call across services, fails the chosen
// one with the code of its kind, and stops a child process before it.
TEST_F(Streams, TheSweepFailsOrStopsTheNthModifyingCall) {
    const std::string path = folder / "s.bin";
    auto work = [&] {
        TFileStream out(path, fmCreate);
        out.WriteBuffer("a", 1);
        out.WriteBuffer("b", 1);
        return out.FlushData() ? 0 : static_cast<int>(GetLastError());
    };
    const int calls = CountModifyingCalls([&] { work(); });
    EXPECT_EQ(calls, 4);  // the open, two writes, the flush
    EXPECT_EQ(RunFailingAt(4, work), static_cast<int>(ERROR_IO_DEVICE));
    EXPECT_THROW(RunFailingAt(3, work), EWriteError);
    EXPECT_EQ(ReadBytes(path), "a");
    for (int nth = 1; nth <= calls; ++nth) {
        EXPECT_EQ(RunStoppedAt(nth, work), kSweepStopStatus) << "call " << nth;
    }
    EXPECT_EQ(RunStoppedAt(calls + 1, work), 0);
    EXPECT_EQ(ReadBytes(path), "ab");
}
