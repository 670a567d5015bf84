// Flushing files and folders to the disk, and moving a file over another.
#include "platform/Durable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"

namespace platform {

namespace {

bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

// What `path` names, opened for reading only (`folderFlags` adds
// O_DIRECTORY for a folder); -1 with the last error set.
int OpenToFlush(const std::string& path, int folderFlags) {
    ResolvedPath target = Resolve(path);
    if (!target.exists) {
        Fail(MissingCode(target));
        return -1;
    }
    if (FaultFires(FaultPoint::Flush)) {
        return -1;
    }
    const int fd = open(target.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | folderFlags);
    if (fd < 0) {
        Fail(CodeForErrno(errno, target));
    }
    return fd;
}

// fsync of the open file or folder, or syncfs of its whole file system. A
// file system that cannot flush (EINVAL) has nothing to flush.
bool FlushOpen(int fd, bool wholeFileSystem) {
    if ((wholeFileSystem ? syncfs(fd) : fsync(fd)) != 0 && errno != EINVAL) {
        return Fail(ErrorFromErrno(errno));
    }
    return true;
}

bool FlushPath(const std::string& path, int folderFlags, bool wholeFileSystem = false) {
    const int fd = OpenToFlush(path, folderFlags);
    if (fd < 0) {
        return false;
    }
    const bool flushed = FlushOpen(fd, wholeFileSystem);
    close(fd);
    return flushed;
}

}  // namespace

bool FlushFile(const std::string& path) {
    return FlushPath(path, 0);
}

bool FlushFolder(const std::string& folder) {
    return FlushPath(folder, O_DIRECTORY);
}

bool FlushFileSystemOf(const std::string& folder) {
    return FlushPath(folder, O_DIRECTORY, true);
}

HeldFolder::~HeldFolder() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool HeldFolder::Flush() {
    return FlushHeld(false);
}

bool HeldFolder::FlushFileSystem() {
    return FlushHeld(true);
}

bool HeldFolder::FlushHeld(bool wholeFileSystem) {
    if (fd_ < 0) {
        fd_ = OpenToFlush(path_, O_DIRECTORY);
        if (fd_ < 0) {
            return false;
        }
    } else if (FaultFires(FaultPoint::Flush)) {
        return false;
    }
    return FlushOpen(fd_, wholeFileSystem);
}

bool MoveFileEx(const std::string& source, const std::string& target, DWORD flags) {
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
        return MoveFile(source, target);
    }
    ResolvedPath from = Resolve(source);
    struct stat fromInfo;
    if (!from.exists || !LstatTarget(from, fromInfo)) {
        return Fail(MissingCode(from));
    }
    if (!S_ISREG(fromInfo.st_mode)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    ResolvedPath to = Resolve(target);
    struct stat toInfo;
    if (!to.exists) {
        return MoveFile(source, target);
    }
    // The file in the target's place keeps its spelling; a folder, a link or
    // a read-only file is never replaced.
    if (!LstatTarget(to, toInfo)) {
        return Fail(CodeForErrno(errno, to));
    }
    if (!S_ISREG(toInfo.st_mode) || IsReadOnlyMode(toInfo.st_mode)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (FaultFires(FaultPoint::MoveFile)) {
        return false;
    }
    ForgetFolderOf(from.path);
    ForgetFolderOf(to.path);
    if (std::rename(from.path.c_str(), to.path.c_str()) != 0) {
        return Fail(CodeForErrno(errno, to));
    }
    return true;
}

}  // namespace platform
