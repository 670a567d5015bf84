// Creating and removing folders.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace platform {

void CreateDirectory(const std::string& path) {
    ResolvedPath target = Resolve(path);
    if (target.exists) {
        RaiseInOutError(ERROR_ALREADY_EXISTS);  // a case variant counts as existing
    }
    if (DWORD error = CheckCreatable(target); error != ERROR_SUCCESS) {
        RaiseInOutError(error);
    }
    if (!target.parentIsFolder) {
        RaiseInOutError(ERROR_PATH_NOT_FOUND);
    }
    if (FaultFires(FaultPoint::FolderCreate)) {
        RaiseInOutError(GetLastError());
    }
    OwnNameChange making(target.path);
    if (mkdir(target.path.c_str(), 0777) != 0) {
        RaiseInOutError(errno == EEXIST ? ERROR_ALREADY_EXISTS : CodeForErrno(errno, target));
    }
    NoteNameCreated(target.path);
    const bool absolute = IsPathDelimiter(path.front());
    NotePinnedFolderMade(absolute, SplitComponents(path),
                         ResolvedPrefix(target, target.components.size(), absolute));
    NoteFolderMade(target.path);
}

void RemoveDirectory(const std::string& path) {
    ResolvedPath target = Resolve(path);
    struct stat info;
    if (!target.pinned && (!target.exists || !StatTarget(target, info))) {
        RaiseInOutError(MissingCode(target));
    }
    if (!target.pinned && !S_ISDIR(info.st_mode)) {
        RaiseInOutError(ERROR_DIRECTORY);
    }
    if (FaultFires(FaultPoint::FolderRemove)) {
        RaiseInOutError(GetLastError());
    }
    OwnNameChange removing(target.path);
    if (rmdir(target.path.c_str()) != 0) {
        RaiseInOutError(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : CodeForErrno(errno, target));
    }
    NoteNameRemoved(target.path);
    NotePinnedFolderGone(target.path);
    NoteFolderGone(target.path);
}

bool ForceDirectories(const std::string& path) {
    ResolvedPath target = Resolve(path);
    if (target.components.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (DWORD error = CheckCreatable(target); error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    const bool absolute = target.path.front() == '/';
    const std::vector<std::string> given = SplitComponents(path);
    std::string folder = absolute ? "/" : "";
    for (std::size_t i = 0; i < target.components.size(); ++i) {
        folder += target.components[i];
        if (i >= target.existing) {
            if (FaultFires(FaultPoint::FolderCreate)) {
                return false;
            }
            OwnNameChange making(folder);
            if (mkdir(folder.c_str(), 0777) == 0) {
                NoteNameCreated(folder);
                NotePinnedFolderMade(absolute,
                                     std::vector<std::string>(given.begin(), given.begin() + i + 1),
                                     ResolvedPrefix(target, i + 1, absolute));
                NoteFolderMade(folder);
            } else if (errno != EEXIST) {
                SetLastError(ErrorFromErrno(errno, true));
                return false;
            }
        }
        folder += '/';
    }
    struct stat info;
    if (!target.pinned && (!StatTarget(target, info) || !S_ISDIR(info.st_mode))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

}  // namespace platform
