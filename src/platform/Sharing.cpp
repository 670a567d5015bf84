// Sharing marks: a shared lock on one byte says "I write", on the next byte
// "nobody else may write". Marks are placed first and checked second, so two
// opens racing each other both fail rather than both succeed.
#include "platform/Sharing.h"

#include <fcntl.h>

#include <cstdint>
#include <limits>

namespace platform {

namespace {

constexpr off_t kWriteAccessByte = std::numeric_limits<off_t>::max() - 2;
constexpr off_t kDenyWriteByte = std::numeric_limits<off_t>::max() - 1;

struct flock MarkerLock(short type, off_t byte) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return lock;
}

bool Mark(int fd, off_t byte) {
    struct flock lock = MarkerLock(F_RDLCK, byte);
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// True when another open file description holds a mark on `byte`.
bool MarkedByOthers(int fd, off_t byte) {
    struct flock lock = MarkerLock(F_WRLCK, byte);
    if (fcntl(fd, F_OFD_GETLK, &lock) != 0) {
        return false;
    }
    return lock.l_type != F_UNLCK;
}

}  // namespace

DWORD TakeShareLocks(int fd, bool writeAccess, bool denyWrite) {
    // 1. Place our own marks. A file system without locks shares freely.
    if (writeAccess && !Mark(fd, kWriteAccessByte)) {
        return ERROR_SUCCESS;
    }
    if (denyWrite && !Mark(fd, kDenyWriteByte)) {
        return ERROR_SUCCESS;
    }
    // 2. Check the marks of every other open.
    if (writeAccess && MarkedByOthers(fd, kDenyWriteByte)) {
        return ERROR_SHARING_VIOLATION;
    }
    if (denyWrite && MarkedByOthers(fd, kWriteAccessByte)) {
        return ERROR_SHARING_VIOLATION;
    }
    return ERROR_SUCCESS;
}

}  // namespace platform
