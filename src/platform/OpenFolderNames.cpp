#include "platform/OpenFolderNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Faults.h"
#include "platform/FileSystem.h"

namespace platform {

namespace {

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// After a change of our own, `info` (taken after it) gives the times.
void Restamp(const struct stat& info, timespec& modified, timespec& changed) {
    modified = info.st_mtim;
    changed = info.st_ctim;
}

}  // namespace

std::string OpenFolderNames::Variant(int folder, const std::string& name, DWORD& error) {
    if (FaultFires(FaultPoint::FolderScan)) {
        error = GetLastError();
        return "";
    }
    const Names* names = Current(folder, error);
    if (names == nullptr) {
        return "";
    }
    const auto it = names->byFold.find(FoldFileName(name));
    return it == names->byFold.end() ? "" : it->second.first;
}

OpenFolderNames::Names* OpenFolderNames::Current(int folder, DWORD& error) {
    struct stat info;
    if (fstat(folder, &info) != 0) {
        error = ErrorFromErrno(errno);
        return nullptr;
    }
    const Key key{info.st_dev, info.st_ino};
    auto it = folders_.find(key);
    if (it != folders_.end() && SameTime(it->second.modified, info.st_mtim) &&
        SameTime(it->second.changed, info.st_ctim)) {
        return &it->second;
    }
    if (it != folders_.end()) {
        folders_.erase(it);
    }
    // The times are taken before the read: a change during the read moves
    // them past it, so the next look-up reads again.
    Names names;
    names.modified = info.st_mtim;
    names.changed = info.st_ctim;
    CountFolderRead();
    const int reading = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = reading < 0 ? nullptr : fdopendir(reading);
    if (dir == nullptr) {
        error = ErrorFromErrno(errno);
        if (reading >= 0) {
            close(reading);
        }
        return nullptr;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (entry == nullptr) {
            break;
        }
        CountNameRead();
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            AddName(names.byFold, entry->d_name);
        }
    }
    const int readError = errno;
    closedir(dir);
    if (readError != 0) {
        error = ErrorFromErrno(readError);
        return nullptr;
    }
    if (folders_.size() >= kMaxFolders) {
        folders_.clear();
    }
    return &folders_.emplace(key, std::move(names)).first->second;
}

void OpenFolderNames::NoteCreated(int folder, const std::string& name) {
    struct stat info;
    if (folders_.empty() || fstat(folder, &info) != 0) {
        return;
    }
    const auto it = folders_.find({info.st_dev, info.st_ino});
    if (it != folders_.end()) {
        AddName(it->second.byFold, name);
        Restamp(info, it->second.modified, it->second.changed);
    }
}

void OpenFolderNames::NoteRemoved(int folder, const std::string& name) {
    struct stat info;
    if (folders_.empty() || fstat(folder, &info) != 0) {
        return;
    }
    const auto it = folders_.find({info.st_dev, info.st_ino});
    if (it == folders_.end()) {
        return;
    }
    auto variants = it->second.byFold.find(FoldFileName(name));
    // When the first of several variants goes, the next is not known here,
    // and a name never seen means the list is out of step: either way the
    // folder is read again on its next look-up.
    if (variants == it->second.byFold.end() ||
        (variants->second.first == name) != (variants->second.count == 1)) {
        folders_.erase(it);
        return;
    }
    if (--variants->second.count == 0) {
        it->second.byFold.erase(variants);
    }
    Restamp(info, it->second.modified, it->second.changed);
}

void OpenFolderNames::AddName(std::unordered_map<std::string, Variants>& byFold,
                              const std::string& name) {
    Variants& variants = byFold[FoldFileName(name)];
    if (variants.count == 0 || name < variants.first) {
        variants.first = name;
    }
    ++variants.count;
}

}  // namespace platform
