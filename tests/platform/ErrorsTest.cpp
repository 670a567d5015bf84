#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

using namespace platform;

TEST(ErrorCodes, OneTableFromErrno) {
    struct Case {
        int err;
        bool parentMissing;
        DWORD code;
    } cases[] = {
        {ENOENT, false, 2},         {ENOENT, true, 3},       {ENOTDIR, false, 3},
        {EACCES, false, 5},         {EPERM, false, 5},       {EROFS, false, 5},
        {EISDIR, false, 5},         {EBUSY, false, 32},      {ETXTBSY, false, 32},
        {EEXIST, false, 80},        {ENOTEMPTY, false, 145}, {ENOSPC, false, 112},
        {EDQUOT, false, 112},       {EMFILE, false, 4},      {ENFILE, false, 4},
        {ENAMETOOLONG, false, 206}, {EIO, false, 1117},      {EINVAL, false, 31},
        {EXDEV, false, 31},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorFromErrno(c.err, c.parentMissing), c.code) << c.err;
    }
}

TEST(ErrorCodes, TheLastErrorBelongsToItsThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seen = 12345;
    std::thread other([&] {
        seen = GetLastError();
        SetLastError(ERROR_DISK_FULL);
    });
    other.join();
    EXPECT_EQ(seen, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(ErrorCodes, MessagesOfTheRuntimeAndTheSystem) {
    const std::pair<DWORD, const char*> runtime[] = {
        {2, "File not found"},
        {3, "Invalid filename"},
        {4, "Too many open files"},
        {5, "File access denied"},
        {100, "Read beyond end of file"},
        {101, "Disk full"},
        {106, "Invalid numeric input"},
        {183, "I/O error 183"},
        {145, "I/O error 145"},
    };
    for (const auto& [code, text] : runtime) {
        EXPECT_EQ(EInOutError(code).Message(), text);
    }
    EXPECT_EQ(EFOpenError("a.jar", ERROR_FILE_NOT_FOUND).Message(),
              "Cannot open file \"a.jar\". The system cannot find the file specified.");
    EXPECT_EQ(EFCreateError("b.jar", ERROR_DISK_FULL).Message(),
              "Cannot create file \"b.jar\". There is not enough space on the disk.");
    try {
        RaiseInOutError(ERROR_DIR_NOT_EMPTY);
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "I/O error 145");
    }
}
