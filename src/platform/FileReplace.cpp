// Replacing a file by renaming a new one over it, and the files beside it
// that such a replacement leaves when its process is killed.
#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "platform/Umask.h"

namespace platform {

namespace {

// What follows the replaced file's name in the name of its replacement:
// the mark, then kRandomDigits hexadecimal digits drawn from the kernel.
constexpr const char* kMark = ".quellor-new-";
constexpr std::size_t kRandomDigits = 16;
// Room left in a name of at most 255 bytes for the dot, the mark and the digits.
constexpr std::size_t kMaxNamePart = 200;
// The byte a file being written holds a lock on while its process lives;
// far beyond any size a file reaches.
constexpr off_t kAliveByte = off_t{1} << 62;
// Tries at a free name: a clash of 64 random bits is already unheard of.
constexpr int kNameTries = 8;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// At most kMaxNamePart bytes of `name`, cut between whole UTF-8 characters.
std::string NamePart(const std::string& name) {
    std::size_t pos = 0;
    while (pos < name.size()) {
        std::size_t next = pos;
        DecodeUtf8(name, next);
        if (next > kMaxNamePart) {
            break;
        }
        pos = next;
    }
    return name.substr(0, pos);
}

// Every name a replacement of `target` is made under starts so.
std::string LeftoverPrefix(const std::string& target) {
    return "." + NamePart(NameOf(target)) + kMark;
}

bool IsLeftoverName(const std::string& name, const std::string& prefix) {
    if (name.size() != prefix.size() + kRandomDigits ||
        name.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

bool RandomDigits(std::string& digits) {
    unsigned char bytes[kRandomDigits / 2];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        return false;
    }
    digits.clear();
    for (unsigned char b : bytes) {
        digits += "0123456789abcdef"[b >> 4];
        digits += "0123456789abcdef"[b & 0xF];
    }
    return true;
}

struct flock AliveLock(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = kAliveByte;
    lock.l_len = 1;
    return lock;
}

bool Fail(int err) {
    SetLastError(ErrorFromErrno(err));
    return false;
}

}  // namespace

ReplaceRefusal FindReplacedFile(const std::string& name, const TFileStream& file,
                                ReplacedFile& found) {
    const ResolvedPath resolved = Resolve(name);
    char* real = realpath(resolved.path.c_str(), nullptr);
    if (real == nullptr) {
        SetLastError(ErrorFromErrno(errno));
        return ReplaceRefusal::Moved;
    }
    found.path = real;
    std::free(real);
    struct stat named;
    struct stat open;
    if (stat(found.path.c_str(), &named) != 0 || fstat(file.Handle(), &open) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return ReplaceRefusal::Moved;
    }
    if (named.st_dev != open.st_dev || named.st_ino != open.st_ino) {
        return ReplaceRefusal::Moved;
    }
    if (open.st_nlink > 1) {
        return ReplaceRefusal::HardLinked;
    }
    found.mode = open.st_mode & 07777;
    found.owner = open.st_uid;
    found.group = open.st_gid;
    return ReplaceRefusal::None;
}

bool PathForNewFile(const std::string& name, std::string& path) {
    const ResolvedPath resolved = Resolve(name);
    DWORD error = CheckCreatable(resolved);
    if (resolved.exists) {
        error = ERROR_FILE_EXISTS;
    } else if (error == ERROR_SUCCESS && !resolved.parentIsFolder) {
        error = ERROR_PATH_NOT_FOUND;
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    path = resolved.path;
    return true;
}

std::unique_ptr<TFileStream> CreateFileBeside(const std::string& target, std::uint32_t share,
                                              std::string& made) {
    made.clear();
    if (FaultFires(FaultPoint::StreamOpen)) {
        throw EFCreateError(target, GetLastError());
    }
    const std::string start = FolderOf(target) + "/" + LeftoverPrefix(target);
    OwnNameChange making(start);
    int fd = -1;
    std::string path;
    for (int i = 0; i < kNameTries && fd < 0; ++i) {
        std::string digits;
        if (!RandomDigits(digits)) {
            throw EFCreateError(target, ErrorFromErrno(errno));
        }
        path = start + digits;
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            throw EFCreateError(target, ErrorFromErrno(errno));
        }
    }
    if (fd < 0) {
        throw EFCreateError(target, ERROR_FILE_EXISTS);
    }
    struct flock alive = AliveLock(F_WRLCK);
    if (fcntl(fd, F_OFD_SETLK, &alive) != 0) {
        const DWORD code = ErrorFromErrno(errno);
        close(fd);
        unlink(path.c_str());
        throw EFCreateError(target, code);
    }
    NoteNameCreated(path);
    try {
        auto stream = std::make_unique<TFileStream>(fd, path, fmOpenReadWrite | share);
        made = path;
        return stream;
    } catch (const EStreamError& e) {
        unlink(path.c_str());
        NoteNameRemoved(path);
        throw EFCreateError(target, e.ErrorCode);
    }
}

bool TakeModeAndOwner(TFileStream& file, const ReplacedFile& like) {
    if (FaultFires(FaultPoint::FileMode)) {
        return false;
    }
    const int fd = file.Handle();
    struct stat now;
    if (fstat(fd, &now) != 0) {
        return Fail(errno);
    }
    // Only root gives a file away; anyone may hand it to a group of theirs.
    // What the process may not do, it leaves.
    if (now.st_uid != like.owner && fchown(fd, like.owner, like.group) == 0) {
        now.st_gid = like.group;
    } else if (now.st_uid != like.owner && errno != EPERM) {
        return Fail(errno);
    }
    if (now.st_gid != like.group && fchown(fd, static_cast<uid_t>(-1), like.group) != 0 &&
        errno != EPERM) {
        return Fail(errno);
    }
    // After the owner: a change of owner clears the set-id bits.
    if (fchmod(fd, like.mode) != 0) {
        return Fail(errno);
    }
    return true;
}

bool TakeDefaultMode(TFileStream& file) {
    if (FaultFires(FaultPoint::FileMode)) {
        return false;
    }
    if (fchmod(file.Handle(), 0666 & ~ProcessUmask()) != 0) {
        return Fail(errno);
    }
    return true;
}

bool RenameOver(const std::string& from, const std::string& to, bool replace) {
    if (FaultFires(FaultPoint::Rename)) {
        return false;
    }
    OwnNameChange leaving(from);
    OwnNameChange arriving(to);
    bool fromGone = true;
    int rc = replace ? rename(from.c_str(), to.c_str())
                     : renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the flag: a new link fails as well when
        // the name is taken, and the old name goes after it (a name left
        // behind is a leftover that a later call removes).
        rc = link(from.c_str(), to.c_str());
        fromGone = rc == 0 && unlink(from.c_str()) == 0;
    }
    if (rc != 0 && errno == EEXIST) {
        SetLastError(ERROR_ALREADY_EXISTS);  // as MoveFile says it
        return false;
    }
    if (rc != 0) {
        return Fail(errno);
    }
    if (fromGone) {
        NoteNameRemoved(from);
    } else {
        ForgetFolderOf(from);
    }
    if (replace) {
        NoteNamePresent(to);
    } else {
        NoteNameCreated(to);
    }
    return true;
}

bool FlushFolderOf(const std::string& path) {
    if (FaultFires(FaultPoint::Flush)) {
        return false;
    }
    const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return Fail(errno);
    }
    const bool flushed = fsync(fd) == 0 || errno == EINVAL;
    const int err = errno;
    close(fd);
    return flushed || Fail(err);
}

int RemoveLeftoversBeside(const std::string& target) {
    const std::string folder = FolderOf(target);
    const std::string prefix = LeftoverPrefix(target);
    std::vector<std::string> found;
    ForEachKnownName(folder, [&](const char* name) {
        if (name[0] == '.' && IsLeftoverName(name, prefix)) {
            found.emplace_back(name);
        }
    });
    int removed = 0;
    for (const std::string& name : found) {
        const std::string path = folder + "/" + name;
        const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // Only a file of this user's whose writer is gone: the writer's
        // lock went with its process.
        struct stat info;
        struct flock alive = AliveLock(F_WRLCK);
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
            fcntl(fd, F_OFD_SETLK, &alive) == 0 && !FaultFires(FaultPoint::DeleteFile) &&
            unlink(path.c_str()) == 0) {
            NoteNameRemoved(path);
            ++removed;
        }
        close(fd);
    }
    return removed;
}

bool NamesOpenFile(const std::string& name, const TFileStream& file) {
    struct stat named;
    struct stat open;
    return StatPath(Resolve(name).path, named) && fstat(file.Handle(), &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

}  // namespace platform
