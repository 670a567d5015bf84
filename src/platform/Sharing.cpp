// Sharing marks: a shared lock on one byte says "I write", on the next byte
// "nobody else may write". Marks are placed first and checked second, so two
// opens racing each other both fail rather than both succeed.
#include "platform/Sharing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <utility>

namespace platform {

namespace {

std::mutex marksFileMutex;
std::string marksFile = kShareMarksFile;

// Mixes the bits of a 64-bit value (the finaliser of splitmix64).
std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

// The first of the two bytes that mark opens of the file: an even place
// below 2^62 drawn from its device and inode, so that two files share their
// places only by a chance of one in 2^61.
off_t FirstMarkByte(const struct stat& info) {
    const std::uint64_t key =
        Mix(Mix(static_cast<std::uint64_t>(info.st_dev)) ^ static_cast<std::uint64_t>(info.st_ino));
    return static_cast<off_t>((key >> 3) << 1);
}

// The marks file, opened anew so that its locks belong to this open alone;
// -1 when it cannot be had. Anyone may take read locks on it.
int OpenMarksFile() {
    std::string path;
    {
        std::lock_guard lock(marksFileMutex);
        path = marksFile;
    }
    int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    if (info.st_uid == geteuid() && (info.st_mode & 0777) != 0666) {
        fchmod(fd, 0666);  // past the umask: the file serves every user
    }
    return fd;
}

struct flock MarkerLock(short type, off_t byte) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return lock;
}

enum class MarkResult { Placed, Refused, Unsupported };

MarkResult Mark(int marks, off_t byte) {
    struct flock lock = MarkerLock(F_RDLCK, byte);
    if (fcntl(marks, F_OFD_SETLK, &lock) == 0) {
        return MarkResult::Placed;
    }
    return errno == EAGAIN || errno == EACCES ? MarkResult::Refused : MarkResult::Unsupported;
}

// True when another open holds a mark on `byte`.
bool MarkedByOthers(int marks, off_t byte) {
    struct flock lock = MarkerLock(F_WRLCK, byte);
    if (fcntl(marks, F_OFD_GETLK, &lock) != 0) {
        return false;
    }
    return lock.l_type != F_UNLCK;
}

enum class Sharing { Allowed, Refused, NoLocks };

Sharing PlaceAndCheck(int marks, off_t writeByte, bool writeAccess, bool denyWrite) {
    const off_t denyWriteByte = writeByte + 1;
    for (const auto& [wanted, byte] :
         {std::pair{writeAccess, writeByte}, std::pair{denyWrite, denyWriteByte}}) {
        if (!wanted) {
            continue;
        }
        switch (Mark(marks, byte)) {
            case MarkResult::Placed:
                break;
            case MarkResult::Refused:
                return Sharing::Refused;
            case MarkResult::Unsupported:
                return Sharing::NoLocks;
        }
    }
    if ((writeAccess && MarkedByOthers(marks, denyWriteByte)) ||
        (denyWrite && MarkedByOthers(marks, writeByte))) {
        return Sharing::Refused;
    }
    return Sharing::Allowed;
}

}  // namespace

void SetShareMarksFile(const std::string& path) {
    std::lock_guard lock(marksFileMutex);
    marksFile = path.empty() ? kShareMarksFile : path;
}

DWORD TakeShareLocks(int fd, bool writeAccess, bool denyWrite, int& marks) {
    marks = -1;
    struct stat info;
    if ((!writeAccess && !denyWrite) || fstat(fd, &info) != 0) {
        return ERROR_SUCCESS;
    }
    const int held = OpenMarksFile();
    if (held < 0) {
        return ERROR_SUCCESS;
    }
    switch (PlaceAndCheck(held, FirstMarkByte(info), writeAccess, denyWrite)) {
        case Sharing::Allowed:
            break;
        case Sharing::Refused:
            close(held);
            return ERROR_SHARING_VIOLATION;
        case Sharing::NoLocks:
            close(held);  // without locks on the marks file nothing is shared out
            return ERROR_SUCCESS;
    }
    marks = held;
    return ERROR_SUCCESS;
}

}  // namespace platform
