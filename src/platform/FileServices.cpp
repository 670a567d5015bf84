// The file services that report a result: copy, move, delete, the size
// look-up, and the existence queries.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace platform {

namespace {

bool Fail(DWORD code) {
    SetLastError(code);
    return false;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The last component as the caller spelled it: the name a rename gives. Its
// trailing spaces and dots are dropped unless it named `existing` with them.
std::string GivenName(const std::string& path, const std::string& existing) {
    std::string name = ExtractFileName(ExcludeTrailingPathDelimiter(path));
    return SameFileName(name, existing) ? name : StripTrailingSpacesAndDots(name);
}

// Where a new name goes: the target's folder as resolved, with the name as
// given.
std::string WithGivenName(const ResolvedPath& target, const std::string& name) {
    return target.path.substr(0, target.path.size() - target.components.back().size()) + name;
}

// The last step of a move across file systems: copy, then delete the source
// (a read-only source included, as a rename would move it).
DWORD CopyAndDelete(const std::string& source, const std::string& target) {
    DWORD error = CopyFileData(source, target, true, FaultPoint::Count);
    if (error != ERROR_SUCCESS) {
        return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
    }
    if (unlink(source.c_str()) != 0) {
        error = ErrorFromErrno(errno);
        unlink(target.c_str());
    }
    return error;
}

}  // namespace

DWORD CopyFileData(const std::string& source, const std::string& target, bool failIfExists,
                   FaultPoint fault) {
    // The source, its size, mode and time.
    int from = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) {
        return ErrorFromErrno(errno);
    }
    struct stat info;
    if (fstat(from, &info) != 0) {
        DWORD error = ErrorFromErrno(errno);
        close(from);
        return error;
    }
    // The target: created, or opened and emptied.
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
    int to = open(target.c_str(), flags, (info.st_mode & 0777) | S_IWUSR);
    if (to < 0) {
        DWORD error = ErrorFromErrno(errno);
        close(from);
        return error;
    }
    // The data, the last-write time, then the attributes. An empty target
    // is not truncated: the file system would take that for a rewrite and
    // write the copy out as soon as it is closed.
    struct stat targetInfo;
    const bool targetIsFile = fstat(to, &targetInfo) == 0 && S_ISREG(targetInfo.st_mode);
    DWORD error = ERROR_SUCCESS;
    std::int64_t fromOffset = 0;
    std::int64_t toOffset = 0;
    if (!targetIsFile) {
        error = ERROR_ACCESS_DENIED;
    } else if (targetInfo.st_size != 0 && ftruncate(to, 0) != 0) {
        error = ErrorFromErrno(errno);
    } else if (fault != FaultPoint::Count && FaultFires(fault)) {
        error = GetLastError();
    } else if (CopyBytes(from, fromOffset, to, toOffset, -1) < 0) {
        error = ErrorFromErrno(errno);
    }
    if (error == ERROR_SUCCESS) {
        struct timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
        if (futimens(to, times) != 0 || fchmod(to, info.st_mode & 07777) != 0) {
            error = ErrorFromErrno(errno);
        }
    }
    if (close(to) != 0 && error == ERROR_SUCCESS) {
        error = ErrorFromErrno(errno);
    }
    close(from);
    // A failed copy leaves no half target behind.
    if (error != ERROR_SUCCESS && targetIsFile) {
        unlink(target.c_str());
    }
    return error;
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    ResolvedPath from = Resolve(source);
    struct stat fromInfo;
    if (!from.exists || !StatTarget(from, fromInfo)) {
        return Fail(MissingCode(from));
    }
    if (S_ISDIR(fromInfo.st_mode)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    ResolvedPath to = Resolve(target);
    if (to.exists) {
        struct stat toInfo;
        if (failIfExists) {
            return Fail(ERROR_FILE_EXISTS);
        }
        if (StatTarget(to, toInfo)) {
            // Only a regular file is ever replaced; a folder or a device is
            // no target for a copy.
            if (!S_ISREG(toInfo.st_mode) || IsReadOnlyMode(toInfo.st_mode)) {
                return Fail(ERROR_ACCESS_DENIED);
            }
            // Copying a file onto itself would empty it.
            if (SameFile(fromInfo, toInfo)) {
                return Fail(ERROR_SHARING_VIOLATION);
            }
        }
    } else {
        if (DWORD error = CheckCreatable(to); error != ERROR_SUCCESS) {
            return Fail(error);
        }
        if (!to.parentIsFolder) {
            return Fail(ERROR_PATH_NOT_FOUND);
        }
    }
    DWORD error = CopyFileData(from.path, to.path, failIfExists, FaultPoint::CopyFile);
    if (error != ERROR_SUCCESS) {
        ForgetFolderOf(to.path);
        return Fail(error);
    }
    if (!to.exists) {
        NoteNameCreated(to.path);
    }
    return true;
}

bool MoveFile(const std::string& source, const std::string& target) {
    ResolvedPath from = Resolve(source);
    struct stat fromInfo;
    if (!from.exists || !StatTarget(from, fromInfo)) {
        return Fail(MissingCode(from));
    }
    ResolvedPath to = Resolve(target);
    std::string destination = to.path;
    if (to.exists) {
        // Only the source itself may be the existing target: a rename that
        // changes nothing but the case of its name.
        struct stat toInfo;
        if (!StatTarget(to, toInfo) || !SameFile(fromInfo, toInfo) || to.components.empty()) {
            return Fail(ERROR_ALREADY_EXISTS);
        }
        std::string name = GivenName(target, to.components.back());
        if (name.empty()) {
            return Fail(ERROR_ALREADY_EXISTS);
        }
        if (name == to.components.back()) {
            return true;
        }
        destination = WithGivenName(to, name);
    } else {
        if (DWORD error = CheckCreatable(to); error != ERROR_SUCCESS) {
            return Fail(error);
        }
        if (!to.parentIsFolder) {
            return Fail(ERROR_PATH_NOT_FOUND);
        }
    }
    if (FaultFires(FaultPoint::MoveFile)) {
        return false;
    }
    std::optional<OwnNameChange> leaving(std::in_place, from.path);
    std::optional<OwnNameChange> arriving(std::in_place, destination);
    int rc =
        renameat2(AT_FDCWD, from.path.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && errno == EINVAL) {
        rc = rename(from.path.c_str(), destination.c_str());  // no RENAME_NOREPLACE here
    }
    DWORD error = ERROR_SUCCESS;
    if (rc != 0) {
        const int err = errno;
        // A move that failed part-way may have changed either folder.
        ForgetFolderOf(from.path);
        ForgetFolderOf(destination);
        if (err == EEXIST) {
            return Fail(ERROR_ALREADY_EXISTS);
        }
        if (err != EXDEV || S_ISDIR(fromInfo.st_mode)) {
            return Fail(CodeForErrno(err, to));
        }
        leaving.reset();  // a copy of the bytes is no short change
        arriving.reset();
        error = CopyAndDelete(from.path, destination);
        if (error != ERROR_SUCCESS) {
            return Fail(error);
        }
    }
    NoteNameRemoved(from.path);
    NoteNameCreated(destination);
    if (S_ISDIR(fromInfo.st_mode)) {
        NotePinnedFolderGone(from.path);
        NoteFolderGone(from.path);
    }
    return true;
}

bool DeleteFile(const std::string& path) {
    ResolvedPath target = Resolve(path);
    struct stat info;
    if (!target.exists || !LstatTarget(target, info)) {
        return Fail(MissingCode(target));
    }
    if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && IsReadOnlyMode(info.st_mode))) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (FaultFires(FaultPoint::DeleteFile)) {
        return false;
    }
    OwnNameChange removing(target.path);
    if (unlink(target.path.c_str()) != 0) {
        return Fail(CodeForErrno(errno, target));
    }
    NoteNameRemoved(target.path);
    return true;
}

bool FindFileSize(const std::string& path, std::uint64_t& size) {
    size = 0;
    ResolvedPath target = Resolve(path);
    struct stat info;
    if (!target.exists || !StatTarget(target, info)) {
        return Fail(MissingCode(target));
    }
    if (!S_ISDIR(info.st_mode)) {
        size = static_cast<std::uint64_t>(info.st_size);
    }
    return true;
}

bool FileExists(const std::string& path) {
    ResolvedPath target = Resolve(path);
    if (target.pinned) {
        return false;
    }
    struct stat info;
    return target.exists && StatTarget(target, info) && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
    ResolvedPath target = Resolve(path);
    if (target.pinned) {
        return true;
    }
    struct stat info;
    return target.exists && StatTarget(target, info) && S_ISDIR(info.st_mode);
}

bool IsSymbolicLink(const std::string& path) {
    ResolvedPath target = Resolve(path);
    if (target.pinned) {
        return target.pinnedLink;
    }
    struct stat info;
    return target.exists && LstatTarget(target, info) && S_ISLNK(info.st_mode);
}

PathKind KindOfPath(const std::string& path, bool* readOnly) {
    ResolvedPath target = Resolve(path);
    if (readOnly != nullptr) {
        *readOnly = false;
    }
    if (target.pinned) {
        return target.pinnedLink ? PathKind::Link : PathKind::Folder;
    }
    struct stat info;
    if (!target.exists || !LstatTarget(target, info)) {
        return PathKind::Missing;
    }
    if (S_ISLNK(info.st_mode)) {
        return PathKind::Link;
    }
    if (readOnly != nullptr) {
        *readOnly = IsReadOnlyMode(info.st_mode);
    }
    return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::File;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    ResolvedPath target = Resolve(folder);
    if (!target.exists) {
        return names;
    }
    ForEachFolderName(target.path, [&](const char* name) { names.emplace_back(name); });
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace platform
