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
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/PrivateFolder.h"

namespace platform {

namespace {

std::mutex marksFileMutex;

// Where the marks file is: an open private folder and the name in it. Found
// at the first open that needs it, and again after it was lost.
struct MarksPlace {
    std::string given;  // the file tests chose; "" for the default place
    PrivateFolder folder;
    std::string name;
};
MarksPlace place;

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

// Under the mutex: finds the marks folder when it is not open; false with
// `problem` set when it cannot be had.
bool LocateMarks(std::string& problem) {
    if (place.folder.fd >= 0) {
        return true;
    }
    if (place.given.empty()) {
        place.folder = FindPrivateFolder(problem);
        place.name = kShareMarksName;
    } else {
        const std::size_t slash = place.given.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : place.given.substr(0, slash);
        place.folder = OpenPrivateFolder(folder.empty() ? "/" : folder, false, problem);
        place.name = place.given.substr(slash == std::string::npos ? 0 : slash + 1);
        if (place.folder.fd < 0) {
            problem = "The folder of the sharing marks \"" + folder + "\" cannot serve: " + problem;
        }
    }
    return place.folder.fd >= 0;
}

// Under the mutex: forgets the marks folder, so that the next open looks
// for it anew.
void ForgetMarksFolder() {
    CloseSpares();
    if (place.folder.fd >= 0) {
        close(place.folder.fd);
    }
    place.folder = PrivateFolder{};
}

std::string MarksPath() {
    return place.folder.path + "/" + place.name;
}

// Under the mutex: a kept descriptor that still is the marks file; -1 when
// there is none.
int TakeSpare() {
    struct stat named;
    if (spares.empty()) {
        return -1;
    }
    if (fstatat(place.folder.fd, place.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
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

// Under the mutex: the marks file opened in its folder (made there when
// missing, mode 0600), never through a link; -1 with `problem` set when it
// is not a file of this user's.
int OpenMarksIn(std::string& problem) {
    const int fd = openat(place.folder.fd, place.name.c_str(),
                          O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        problem = "The sharing marks \"" + MarksPath() + "\" cannot be opened (" +
                  std::strerror(errno) + ")";
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        problem = "The sharing marks \"" + MarksPath() + "\" are not a file of this user's";
        close(fd);
        return -1;
    }
    handles[fd] = MarksHandle{info.st_dev, info.st_ino, generation};
    return fd;
}

// The marks file, opened anew so that its locks belong to this open alone;
// -1 with `problem` set when it cannot be had. A folder that has gone away
// since it was found (a session's runtime folder at logout) is looked for
// once more.
int OpenMarksFile(std::string& problem) {
    NewGenerationAfterFork();
    std::lock_guard lock(marksFileMutex);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!LocateMarks(problem)) {
            return -1;
        }
        if (const int spare = TakeSpare(); spare >= 0) {
            return spare;
        }
        if (const int fd = OpenMarksIn(problem); fd >= 0) {
            return fd;
        }
        ForgetMarksFolder();
    }
    return -1;
}

struct flock MarkerLock(short type, off_t byte, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = length;
    return lock;
}

enum class Sharing { Allowed, Refused, Failed };

// Why the kernel refused a lock on the marks file.
std::string LockProblem(int err) {
    std::lock_guard lock(marksFileMutex);
    return "Locks on the sharing marks \"" + MarksPath() + "\" are refused (" + std::strerror(err) +
           ")";
}

// Marks the bytes from `byte` on.
Sharing Mark(int marks, off_t byte, off_t length, std::string& problem) {
    struct flock lock = MarkerLock(F_RDLCK, byte, length);
    if (fcntl(marks, F_OFD_SETLK, &lock) == 0) {
        return Sharing::Allowed;
    }
    if (errno == EAGAIN || errno == EACCES) {
        return Sharing::Refused;
    }
    problem = LockProblem(errno);
    return Sharing::Failed;
}

// Whether another open holds a mark on one of the bytes from `byte` on.
Sharing CheckOthers(int marks, off_t byte, off_t length, std::string& problem) {
    struct flock lock = MarkerLock(F_WRLCK, byte, length);
    if (fcntl(marks, F_OFD_GETLK, &lock) != 0) {
        problem = LockProblem(errno);
        return Sharing::Failed;
    }
    return lock.l_type != F_UNLCK ? Sharing::Refused : Sharing::Allowed;
}

// An open that both writes and denies writing marks and checks both bytes
// in one call each.
Sharing PlaceAndCheck(int marks, off_t writeByte, bool writeAccess, bool denyWrite,
                      std::string& problem) {
    const off_t denyWriteByte = writeByte + 1;
    const off_t first = writeAccess ? writeByte : denyWriteByte;
    const off_t length = writeAccess && denyWrite ? 2 : 1;
    if (const Sharing placed = Mark(marks, first, length, problem); placed != Sharing::Allowed) {
        return placed;
    }
    // Whoever writes meets the deny-write marks of others, and whoever
    // denies writing meets their write marks.
    const off_t checked = denyWrite ? writeByte : denyWriteByte;
    return CheckOthers(marks, checked, length, problem);
}

}  // namespace

void SetShareMarksFile(const std::string& path) {
    std::lock_guard lock(marksFileMutex);
    ForgetMarksFolder();
    place.given = path;
}

std::string ShareMarksFile(std::string& problem) {
    std::lock_guard lock(marksFileMutex);
    return LocateMarks(problem) ? MarksPath() : "";
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

DWORD TakeShareLocks(int fd, bool writeAccess, bool denyWrite, int& marks, std::string& problem) {
    marks = -1;
    if (!writeAccess && !denyWrite) {
        return ERROR_SUCCESS;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        problem = std::string("The file cannot be examined (") + std::strerror(errno) + ")";
        return ERROR_LOCK_FAILED;
    }
    const int held = OpenMarksFile(problem);
    if (held < 0) {
        return ERROR_LOCK_FAILED;
    }
    switch (PlaceAndCheck(held, FirstMarkByte(info), writeAccess, denyWrite, problem)) {
        case Sharing::Allowed:
            marks = held;
            return ERROR_SUCCESS;
        case Sharing::Refused:
            DropShareLocks(held);
            return ERROR_SHARING_VIOLATION;
        case Sharing::Failed:
            break;
    }
    std::lock_guard lock(marksFileMutex);
    CloseHandle(held);
    return ERROR_LOCK_FAILED;
}

}  // namespace platform
