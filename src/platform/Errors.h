// Windows system error codes, the thread's last error, and the runtime's
// file-system exceptions. Every errno the layer meets is turned into a code
// in one place: ErrorFromErrno.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

using DWORD = std::uint32_t;

// Windows system error codes used by the program.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_HANDLE_EOF = 38;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_LOCK_FAILED = 167;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_DIRECTORY = 267;
inline constexpr DWORD ERROR_IO_DEVICE = 1117;

// The runtime's own I/O codes (not system codes).
inline constexpr DWORD RUNTIME_READ_BEYOND_EOF = 100;
inline constexpr DWORD RUNTIME_DISK_FULL = 101;
inline constexpr DWORD RUNTIME_INVALID_NUMERIC = 106;

// The calling thread's last error, as GetLastError/SetLastError.
DWORD GetLastError();
void SetLastError(DWORD code);

// The one choke point from errno to a Windows code. `parentMissing` tells
// ENOENT apart: 2 when the parent folder exists, 3 when it does not.
DWORD ErrorFromErrno(int err, bool parentMissing = false);

// The system's message for a code, as FormatMessage gives it in English
// ("The system cannot find the file specified." ...).
std::string SysErrorMessage(DWORD code);

// Base of every exception the program raises; what() is the message shown.
class Exception : public std::runtime_error {
  public:
    // A NUL byte in the message (from a hostile file name) would cut what()
    // short; it is shown as "?".
    explicit Exception(const std::string& message) : std::runtime_error(Printable(message)) {}
    std::string Message() const { return what(); }

  private:
    static std::string Printable(std::string text) {
        for (char& c : text) {
            if (c == '\0') {
                c = '?';
            }
        }
        return text;
    }
};

// A file-system failure of text files and folders: the runtime's message for
// the code ("File not found", "I/O error 183", ...).
class EInOutError : public Exception {
  public:
    explicit EInOutError(DWORD code);
    DWORD ErrorCode;
};

// The runtime's message for an I/O code: 2 "File not found", 3 "Invalid
// filename", 4 "Too many open files", 5 "File access denied", 100 "Read
// beyond end of file", 101 "Disk full", 106 "Invalid numeric input", else
// "I/O error %d".
std::string InOutErrorMessage(DWORD code);

// Stream failures: "Cannot open file "%s". " / "Cannot create file "%s". "
// followed by SysErrorMessage(code).
class EStreamError : public Exception {
  public:
    EStreamError(const std::string& message, DWORD code) : Exception(message), ErrorCode(code) {}
    DWORD ErrorCode;
};
// A `detail`, when given, follows the system's message (what a lock that
// failed met, for one).
class EFOpenError : public EStreamError {
  public:
    EFOpenError(const std::string& fileName, DWORD code, const std::string& detail = "");
};
class EFCreateError : public EStreamError {
  public:
    EFCreateError(const std::string& fileName, DWORD code, const std::string& detail = "");
};
// A read or write on an open stream that failed ("Stream read error",
// "Stream write error"); ErrorCode holds the system code.
class EReadError : public EStreamError {
  public:
    explicit EReadError(DWORD code);
};
class EWriteError : public EStreamError {
  public:
    explicit EWriteError(DWORD code);
};

// Raise EInOutError for the code (the runtime's InOutError).
[[noreturn]] void RaiseInOutError(DWORD code);

}  // namespace platform
