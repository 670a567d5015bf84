// Error codes, the thread's last error and the runtime's exceptions.
#include "platform/Errors.h"

#include <cerrno>

namespace platform {

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD code) {
    lastError = code;
}

// The one table from errno to a Windows code. Services that give an errno a
// different meaning translate it themselves, next to the call:
// - EEXIST is 80 here (CopyFile with fail-if-exists, exclusive creates);
//   CreateDirectory and MoveFile report 183 instead, and RemoveDirectory
//   reports 145 (rmdir may say EEXIST for a folder that is not empty).
// - ENOSPC is 112 here; text files report the runtime's 101 instead.
// - EBADF (a write through a handle opened for reading) is 5 in the stream.
DWORD ErrorFromErrno(int err, bool parentMissing) {
    switch (err) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return parentMissing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EIO:
            return ERROR_IO_DEVICE;
        default:
            return ERROR_GEN_FAILURE;
    }
}

std::string SysErrorMessage(DWORD code) {
    switch (code) {
        case ERROR_SUCCESS:
            return "The operation completed successfully.";
        case ERROR_FILE_NOT_FOUND:
            return "The system cannot find the file specified.";
        case ERROR_PATH_NOT_FOUND:
            return "The system cannot find the path specified.";
        case ERROR_TOO_MANY_OPEN_FILES:
            return "The system cannot open the file.";
        case ERROR_ACCESS_DENIED:
            return "Access is denied.";
        case ERROR_GEN_FAILURE:
            return "A device attached to the system is not functioning.";
        case ERROR_SHARING_VIOLATION:
            return "The process cannot access the file because it is being used by another "
                   "process.";
        case ERROR_HANDLE_EOF:
            return "Reached the end of the file.";
        case ERROR_NOT_SUPPORTED:
            return "The request is not supported.";
        case ERROR_FILE_EXISTS:
            return "The file exists.";
        case ERROR_DISK_FULL:
            return "There is not enough space on the disk.";
        case ERROR_INVALID_NAME:
            return "The filename, directory name, or volume label syntax is incorrect.";
        case ERROR_NEGATIVE_SEEK:
            return "An attempt was made to move the file pointer before the beginning of the "
                   "file.";
        case ERROR_DIR_NOT_EMPTY:
            return "The directory is not empty.";
        case ERROR_LOCK_FAILED:
            return "Unable to lock a region of a file.";
        case ERROR_ALREADY_EXISTS:
            return "Cannot create a file when that file already exists.";
        case ERROR_FILENAME_EXCED_RANGE:
            return "The filename or extension is too long.";
        case ERROR_DIRECTORY:
            return "The directory name is invalid.";
        case ERROR_IO_DEVICE:
            return "The request could not be performed because of an I/O device error.";
        default:
            return "";
    }
}

std::string InOutErrorMessage(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return "File not found";
        case ERROR_PATH_NOT_FOUND:
            return "Invalid filename";
        case ERROR_TOO_MANY_OPEN_FILES:
            return "Too many open files";
        case ERROR_ACCESS_DENIED:
            return "File access denied";
        case RUNTIME_READ_BEYOND_EOF:
            return "Read beyond end of file";
        case RUNTIME_DISK_FULL:
            return "Disk full";
        case RUNTIME_INVALID_NUMERIC:
            return "Invalid numeric input";
        default:
            return "I/O error " + std::to_string(code);
    }
}

EInOutError::EInOutError(DWORD code) : Exception(InOutErrorMessage(code)), ErrorCode(code) {}

namespace {

std::string WithDetail(const std::string& message, const std::string& detail) {
    if (detail.empty()) {
        return message;
    }
    return message + " " + detail + (detail.back() == '.' ? "" : ".");
}

}  // namespace

EFOpenError::EFOpenError(const std::string& fileName, DWORD code, const std::string& detail)
    : EStreamError(
          WithDetail("Cannot open file \"" + fileName + "\". " + SysErrorMessage(code), detail),
          code) {}

EFCreateError::EFCreateError(const std::string& fileName, DWORD code, const std::string& detail)
    : EStreamError(
          WithDetail("Cannot create file \"" + fileName + "\". " + SysErrorMessage(code), detail),
          code) {}

EReadError::EReadError(DWORD code) : EStreamError("Stream read error", code) {}

EWriteError::EWriteError(DWORD code) : EStreamError("Stream write error", code) {}

void RaiseInOutError(DWORD code) {
    throw EInOutError(code);
}

}  // namespace platform
