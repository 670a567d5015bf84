// Sharing marks: a shared lock on one byte says "I write", on the next byte
// "nobody else may write". Marks are placed first and checked second, so two
// opens racing each other both fail rather than both succeed.
#include "platform/Sharing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace platform {

namespace {

std::mutex marksFileMutex;
std::string marksFile = kShareMarksFile;

// Every descriptor of the marks file this process holds, with the file it
// was opened on and the process generation it belongs to (a forked child
// starts a new one: the descriptors it inherited share their locks with
// the parent's, so the child closes them without touching their marks).
struct MarksHandle {
    dev_t device = 0;
    ino_t inode = 0;
    unsigned generation = 0;
};
std::unordered_map<int, MarksHandle> handles;
unsigned generation = 0;

// Descriptors whose marks are all dropped, kept for the next open: opening
// the marks file and closing it again (which clears its locks) costs more
// than the stream's own open. A kept descriptor is taken only while it is
// still the file at the marks path.
constexpr std::size_t kMaxSpares = 4;
std::vector<int> spares;

// Under the mutex.
void CloseHandle(int fd) {
    handles.erase(fd);
    close(fd);
}

void CloseSpares() {
    for (int fd : spares) {
        CloseHandle(fd);
    }
    spares.clear();
}

void NewGenerationAfterFork() {
    static const bool registered = [] {
        pthread_atfork([] { marksFileMutex.lock(); }, [] { marksFileMutex.unlock(); },
                       [] {
                           ++generation;
                           CloseSpares();
                           marksFileMutex.unlock();
                       });
        return true;
    }();
    (void)registered;
}

// A kept descriptor that still is the marks file at `path`; -1 when there
// is none.
int TakeSpare(const std::string& path) {
    struct stat named;
    std::lock_guard lock(marksFileMutex);
    if (spares.empty()) {
        return -1;
    }
    if (lstat(path.c_str(), &named) != 0) {
        CloseSpares();
        return -1;
    }
    const int fd = spares.back();
    spares.pop_back();
    const MarksHandle& handle = handles[fd];
    if (handle.device == named.st_dev && handle.inode == named.st_ino) {
        return fd;
    }
    CloseSpares();  // the marks file was replaced: none of them is it
    CloseHandle(fd);
    return -1;
}

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
    if (const int spare = TakeSpare(path); spare >= 0) {
        return spare;
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
    NewGenerationAfterFork();
    std::lock_guard lock(marksFileMutex);
    handles[fd] = MarksHandle{info.st_dev, info.st_ino, generation};
    return fd;
}

struct flock MarkerLock(short type, off_t byte, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = length;
    return lock;
}

enum class Sharing { Allowed, Refused, NoLocks };

// Marks the bytes from `byte` on.
Sharing Mark(int marks, off_t byte, off_t length) {
    struct flock lock = MarkerLock(F_RDLCK, byte, length);
    if (fcntl(marks, F_OFD_SETLK, &lock) == 0) {
        return Sharing::Allowed;
    }
    return errno == EAGAIN || errno == EACCES ? Sharing::Refused : Sharing::NoLocks;
}

// True when another open holds a mark on one of the bytes from `byte` on.
bool MarkedByOthers(int marks, off_t byte, off_t length) {
    struct flock lock = MarkerLock(F_WRLCK, byte, length);
    if (fcntl(marks, F_OFD_GETLK, &lock) != 0) {
        return false;
    }
    return lock.l_type != F_UNLCK;
}

// An open that both writes and denies writing marks and checks both bytes
// in one call each.
Sharing PlaceAndCheck(int marks, off_t writeByte, bool writeAccess, bool denyWrite) {
    const off_t denyWriteByte = writeByte + 1;
    const off_t first = writeAccess ? writeByte : denyWriteByte;
    const off_t length = writeAccess && denyWrite ? 2 : 1;
    if (const Sharing placed = Mark(marks, first, length); placed != Sharing::Allowed) {
        return placed;
    }
    // Whoever writes meets the deny-write marks of others, and whoever
    // denies writing meets their write marks.
    const off_t checked = denyWrite ? writeByte : denyWriteByte;
    if (MarkedByOthers(marks, checked, length)) {
        return Sharing::Refused;
    }
    return Sharing::Allowed;
}

}  // namespace

void SetShareMarksFile(const std::string& path) {
    std::lock_guard lock(marksFileMutex);
    marksFile = path.empty() ? kShareMarksFile : path;
    CloseSpares();
}

void DropShareLocks(int marks) {
    if (marks < 0) {
        return;
    }
    std::lock_guard guard(marksFileMutex);
    const auto handle = handles.find(marks);
    const bool ours = handle != handles.end() && handle->second.generation == generation;
    struct flock lock = MarkerLock(F_UNLCK, 0, 0);
    if (ours && spares.size() < kMaxSpares && fcntl(marks, F_OFD_SETLK, &lock) == 0) {
        spares.push_back(marks);
        return;
    }
    CloseHandle(marks);
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
            DropShareLocks(held);
            return ERROR_SHARING_VIOLATION;
        case Sharing::NoLocks:
            // Without locks on the marks file nothing is shared out.
            {
                std::lock_guard lock(marksFileMutex);
                CloseHandle(held);
            }
            return ERROR_SUCCESS;
    }
    marks = held;
    return ERROR_SUCCESS;
}

}  // namespace platform
