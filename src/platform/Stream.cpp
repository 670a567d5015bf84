// TFileStream over a POSIX descriptor, with the runtime's open modes and
// Windows sharing. The stream keeps its own position and moves data with
// pread/pwrite at it.
#include "platform/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"
#include "platform/Sharing.h"
#include "platform/TargetPath.h"

namespace platform {

namespace {

constexpr std::uint32_t kCreateMask = 0xFF00;
constexpr std::uint32_t kAccessMask = 0x000F;
constexpr std::uint32_t kShareMask = 0x00F0;

struct OpenRequest {
    bool create = false;
    bool empty = false;  // a file that is there is emptied
    bool read = true;
    bool write = false;
    bool denyWrite = false;
    bool noFollow = false;
    bool marked = true;  // sharing marks are placed and checked
};

// The runtime's mode word. Compatibility sharing denies others as exclusive
// sharing does; deny-read is not kept apart (reading is never refused). A
// create with no valid sharing value (the old 0xFFFF) is exclusive.
OpenRequest DecodeMode(std::uint32_t mode) {
    OpenRequest request;
    std::uint32_t share = mode & kShareMask;
    if ((mode & kCreateMask) == kCreateMask) {
        request.create = true;
        request.empty = true;
        request.write = true;
        if (share > fmShareDenyNone) {
            share = fmShareExclusive;
        }
    } else {
        std::uint32_t access = mode & kAccessMask;
        request.read = access != fmOpenWrite;
        request.write = access == fmOpenWrite || access == fmOpenReadWrite;
        request.create = (mode & fmOpenAlways) != 0;
    }
    request.noFollow = (mode & fmNoFollow) != 0;
    request.marked = (mode & fmNoSharing) == 0;
    request.denyWrite =
        share == fmShareCompat || share == fmShareExclusive || share == fmShareDenyWrite;
    return request;
}

// Every descriptor can read, for the sharing marks; the stream itself
// refuses what its mode does not allow.
int OpenFlags(const OpenRequest& request) {
    return (request.write ? O_RDWR : O_RDONLY) | O_CLOEXEC | (request.create ? O_CREAT : 0) |
           (request.noFollow ? O_NOFOLLOW : 0);
}

// A file this open made itself is emptied only if another open wrote to it
// before the marks were placed. Truncating an empty file is not free: the
// file system takes it for a rewrite and writes the data out as soon as the
// file is closed, and deleting the file later has those blocks to free (on
// ext4 a 200-byte file extracted again took 0.35 ms to delete, against
// 0.09 ms when it had not been truncated).
bool NeedsEmptying(int fd, bool created) {
    struct stat info;
    return !created || fstat(fd, &info) != 0 || info.st_size != 0;
}

[[noreturn]] void Refuse(const OpenRequest& request, const std::string& fileName, DWORD code,
                         const std::string& detail = "") {
    if (request.create) {
        throw EFCreateError(fileName, code, detail);
    }
    throw EFOpenError(fileName, code, detail);
}

// The code for a failed write: a handle without write access is 5.
DWORD WriteErrorCode(int err) {
    return err == EBADF ? ERROR_ACCESS_DENIED : ErrorFromErrno(err);
}

// Refuses, before anything is opened, what the name cannot be opened as:
// a folder, a read-only file for writing, a link where links are refused, a
// missing file unless it is created, and a name that cannot be created.
void CheckOpenAllowed(const OpenRequest& request, const std::string& fileName,
                      const ResolvedPath& target) {
    struct stat info;
    if (request.noFollow && target.exists && LstatTarget(target, info) && S_ISLNK(info.st_mode)) {
        Refuse(request, fileName, ERROR_ACCESS_DENIED);
    }
    if (target.exists && StatTarget(target, info)) {
        if (S_ISDIR(info.st_mode) || (request.write && IsReadOnlyMode(info.st_mode))) {
            Refuse(request, fileName, ERROR_ACCESS_DENIED);
        }
    } else if (!request.create) {
        Refuse(request, fileName, MissingCode(target));
    } else if (DWORD error = CheckCreatable(target); error != ERROR_SUCCESS) {
        Refuse(request, fileName, error);
    } else if (!target.parentIsFolder) {
        Refuse(request, fileName, ERROR_PATH_NOT_FOUND);
    }
    if (FaultFires(FaultPoint::StreamOpen)) {
        Refuse(request, fileName, GetLastError());
    }
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, std::uint32_t mode) : fileName_(fileName) {
    Open(mode, Resolve(fileName));
}

TFileStream::TFileStream(const TargetPath& target, std::uint32_t mode) : fileName_(target.Given()) {
    const OpenRequest request = DecodeMode(mode);
    DWORD error = ERROR_SUCCESS;
    fd_ = target.OpenNew(OpenFlags(request), error);
    if (fd_ < 0) {
        Refuse(request, fileName_, error);
    }
    Finish(mode, true);
}

TFileStream::TFileStream(int fd, const std::string& fileName, std::uint32_t mode)
    : fileName_(fileName), fd_(fd) {
    Finish(mode, true);
}

void TFileStream::Open(std::uint32_t mode, const ResolvedPath& target) {
    const OpenRequest request = DecodeMode(mode);
    CheckOpenAllowed(request, fileName_, target);
    OwnNameChange making(target.path);
    fd_ = open(target.path.c_str(), OpenFlags(request), 0666);
    if (fd_ < 0) {
        Refuse(request, fileName_, CodeForErrno(errno, target));
    }
    if (!target.exists) {
        NoteNameCreated(target.path);
    }
    Finish(mode, !target.exists);
}

void TFileStream::Finish(std::uint32_t mode, bool created) {
    const OpenRequest request = DecodeMode(mode);
    // The sharing marks come before a create empties the file.
    std::string problem;
    if (DWORD error = request.marked
                          ? TakeShareLocks(fd_, request.write, request.denyWrite, marks_, problem)
                          : ERROR_SUCCESS;
        error != ERROR_SUCCESS) {
        close(fd_);
        fd_ = -1;
        Refuse(request, fileName_, error, problem);
    }
    if (request.create && request.empty && NeedsEmptying(fd_, created) && ftruncate(fd_, 0) != 0) {
        DWORD error = ErrorFromErrno(errno);
        close(fd_);
        fd_ = -1;
        DropShareLocks(marks_);
        marks_ = -1;
        Refuse(request, fileName_, error);
    }
    canRead_ = request.read;
    canWrite_ = request.write;
    sizeIsOurs_ = request.denyWrite || !request.write;
    if (sizeIsOurs_ && request.create && request.empty) {
        knownSize_ = 0;
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) {
        close(fd_);
    }
    DropShareLocks(marks_);
}

bool TFileStream::Close() {
    if (fd_ < 0) {
        return true;
    }
    const int result = close(fd_);
    const int err = errno;
    fd_ = -1;
    knownSize_ = -1;
    canRead_ = false;
    canWrite_ = false;
    DropShareLocks(marks_);
    marks_ = -1;
    // After EINTR the descriptor is gone all the same.
    if (result != 0 && err != EINTR) {
        SetLastError(ErrorFromErrno(err));
        return false;
    }
    return true;
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    if (!canRead_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    std::size_t done = 0;
    char* out = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = pread(fd_, out + done, count - done, position_);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastError(ErrorFromErrno(errno));
            break;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
        position_ += n;
    }
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    if (!canWrite_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    if (FaultFires(FaultPoint::StreamWrite)) {
        return 0;
    }
    std::size_t done = 0;
    const char* in = static_cast<const char*>(buffer);
    while (done < count) {
        ssize_t n = pwrite(fd_, in + done, count - done, position_);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastError(WriteErrorCode(errno));
            break;
        }
        done += static_cast<std::size_t>(n);
        position_ += n;
    }
    NoteWrittenUpTo(position_);
    return done;
}

void TFileStream::ReadBuffer(void* buffer, std::size_t count) {
    SetLastError(ERROR_HANDLE_EOF);
    if (Read(buffer, count) != count) {
        throw EReadError(GetLastError());
    }
}

void TFileStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (Write(buffer, count) != count) {
        throw EWriteError(GetLastError());
    }
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == SeekOrigin::soCurrent) {
        base = position_;
    } else if (origin == SeekOrigin::soEnd) {
        base = Size();
    }
    if (base + offset < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return -1;
    }
    position_ = base + offset;
    return position_;
}

std::int64_t TFileStream::Position() const {
    return position_;
}

void TFileStream::SetPosition(std::int64_t position) {
    Seek(position, SeekOrigin::soBeginning);
}

std::int64_t TFileStream::Size() const {
    if (knownSize_ >= 0) {
        return knownSize_;
    }
    struct stat info;
    if (fstat(fd_, &info) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return -1;
    }
    if (sizeIsOurs_) {
        knownSize_ = info.st_size;
    }
    return info.st_size;
}

void TFileStream::NoteWrittenUpTo(std::int64_t end) {
    if (knownSize_ >= 0 && end > knownSize_) {
        knownSize_ = end;
    }
}

bool TFileStream::SetSize(std::int64_t size) {
    if (!canWrite_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (size < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    if (FaultFires(FaultPoint::StreamTruncate)) {
        return false;
    }
    position_ = size;
    if (ftruncate(fd_, size) != 0) {
        knownSize_ = -1;
        SetLastError(WriteErrorCode(errno));
        return false;
    }
    knownSize_ = sizeIsOurs_ ? size : -1;
    return true;
}

bool TFileStream::Flush() {
    if (FaultFires(FaultPoint::Flush)) {
        return false;
    }
    if (fsync(fd_) != 0 && errno != EINVAL) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool TFileStream::FlushData() {
    if (FaultFires(FaultPoint::Flush)) {
        return false;
    }
    if (fdatasync(fd_) != 0 && errno != EINVAL) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool TFileStream::SetLastWriteTime(const FileTime& time) {
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(time.seconds), time.nanoseconds}};
    if (futimens(fd_, times) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool TFileStream::SetAttributes(DWORD attributes) {
    struct stat info;
    if (fstat(fd_, &info) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    // Only a change of the bits is written.
    const mode_t mode = ModeWithAttributes(info.st_mode, attributes);
    if (mode != (info.st_mode & 07777) && fchmod(fd_, mode) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

std::int64_t TFileStream::CopyFrom(TFileStream& source, std::int64_t count) {
    if (!source.canRead_) {
        throw EReadError(ERROR_ACCESS_DENIED);
    }
    if (!canWrite_) {
        throw EWriteError(ERROR_ACCESS_DENIED);
    }
    if (count <= 0) {
        return 0;
    }
    if (FaultFires(FaultPoint::StreamWrite)) {
        throw EWriteError(GetLastError());
    }
    std::int64_t copied = CopyBytes(source.fd_, source.position_, fd_, position_, count);
    if (copied < 0) {
        knownSize_ = -1;  // a part may have been written
        throw EWriteError(WriteErrorCode(errno));
    }
    NoteWrittenUpTo(position_);
    if (copied < count) {
        throw EReadError(ERROR_HANDLE_EOF);
    }
    return copied;
}

}  // namespace platform
