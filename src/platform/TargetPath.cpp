#include "platform/TargetPath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileSystem.h"
#include "platform/OpenFolderNames.h"
#include "platform/Paths.h"

namespace platform {

namespace {

// How a folder on the way is opened: only to resolve names below it, never
// through a link.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string Join(const std::vector<std::string>& parts) {
    std::string joined;
    for (const std::string& part : parts) {
        joined += part;
        joined += '/';
    }
    return joined;
}

// The code for a name below `parent` that could not be opened as a folder:
// a link in its place, something other than a folder, or the errno's code.
// A folder there by now was a link a moment ago: another program swaps it.
DWORD FolderOpenError(int parent, const std::string& name, int err) {
    struct stat info;
    if (err == ENOTDIR || err == ELOOP) {
        if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            (S_ISLNK(info.st_mode) || S_ISDIR(info.st_mode))) {
            return ERROR_CANT_RESOLVE_FILENAME;
        }
        return ERROR_DIRECTORY;
    }
    return ErrorFromErrno(err, err == ENOENT);
}

// A name the walk never takes: the parent, and names the system would cut
// at a NUL byte.
bool IsUnsafeComponent(const std::string& part) {
    return part == ".." || part.find('\0') != std::string::npos;
}

}  // namespace

std::string TargetFolder::FindName(int folder, const std::string& onDisk, const std::string& name,
                                   DWORD& error, struct stat& info) {
    if (fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        return name;
    }
    if (errno != ENOENT) {
        error = ErrorFromErrno(errno);
        return "";
    }
    const std::string variant = Variant(folder, onDisk, name, error);
    if (variant.empty() || fstatat(folder, variant.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return "";
    }
    return variant;
}

std::string TargetFolder::Variant(int folder, const std::string& onDisk, const std::string& name,
                                  DWORD& error) {
    if (FolderNamesKept()) {
        std::string path = ResolvedRoot() + onDisk;
        if (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        std::string variant;
        if (TrustedCaseVariant(path, name, variant)) {
            return variant;
        }
    }
    return names_->Variant(folder, name, error);
}

TargetFolder::TargetFolder(const std::string& folder)
    : given_(folder), names_(std::make_unique<OpenFolderNames>()) {}

TargetFolder::~TargetFolder() {
    if (root_ >= 0) {
        close(root_);
    }
}

// The destination is the user's choice: found case-insensitively, links
// followed, made with its parents when folders are made. A path that opens
// as spelled is its own exact match at every name.
int TargetFolder::Root(bool make, DWORD& error) {
    if (root_ >= 0) {
        return root_;
    }
    constexpr int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    const std::string path = NormalizeSeparators(given_);
    root_ = open(path.empty() ? "." : path.c_str(), flags);
    if (root_ < 0 && errno == ENOENT) {
        if (make && !ForceDirectories(path)) {
            error = GetLastError();
            return -1;
        }
        const std::string onDisk = ResolvePath(path);
        root_ = open(onDisk.empty() ? "." : onDisk.c_str(), flags);
    }
    if (root_ < 0) {
        error = ErrorFromErrno(errno, errno == ENOENT);
    }
    return root_;
}

void TargetFolder::NoteMade(const std::string& onDisk) {
    if (FolderNamesKept()) {
        NoteNameCreated(ResolvedRoot() + onDisk);
    }
}

void TargetFolder::NoteRemoved(const std::string& onDisk) {
    if (FolderNamesKept()) {
        NoteNameRemoved(ResolvedRoot() + onDisk);
    }
}

const std::string& TargetFolder::ResolvedRoot() {
    if (!resolvedRoot_) {
        std::string path = Resolve(NormalizeSeparators(given_)).path;
        if (!path.empty() && path.back() != '/') {
            path += '/';
        }
        resolvedRoot_ = std::move(path);
    }
    return *resolvedRoot_;
}

int TargetFolder::Open(const std::vector<std::string>& parts, bool make, TargetPath& target) {
    DWORD error = ERROR_SUCCESS;
    if (Root(make, error) < 0) {
        target.Fail(error, true);
        return -1;
    }
    target.folderOnDisk_.clear();
    if (parts.empty()) {
        return root_;
    }
    // A folder found before is opened again by its spelling on disk, in one
    // call that refuses links and leaving the destination; anything else
    // is walked one name at a time.
    const std::string key = Join(parts);
    if (const auto it = spelled_.find(key); it != spelled_.end()) {
        const int fd = OpenBeneath(it->second);
        if (fd >= 0) {
            target.folderOnDisk_ = it->second;
            return fd;
        }
        spelled_.erase(it);
    }
    int fd = root_;
    std::string onDisk;
    for (const std::string& part : parts) {
        std::string found;
        const int next = OpenBelow(fd, onDisk, part, make, found, error);
        if (fd != root_) {
            close(fd);
        }
        if (next < 0) {
            target.Fail(error, true);
            return -1;
        }
        fd = next;
        onDisk += found + '/';
    }
    if (spelled_.size() >= kMaxSpellings) {
        spelled_.clear();
    }
    spelled_.emplace(key, onDisk);
    target.folderOnDisk_ = onDisk;
    return fd;
}

// openat2 resolves the whole path below the destination, refusing every
// link and every way out of it; -1 when it fails, or where the kernel does
// not have it.
int TargetFolder::OpenBeneath(const std::string& onDisk) {
    if (!beneathWorks_) {
        return -1;
    }
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = syscall(SYS_openat2, root_, onDisk.c_str(), &how, sizeof how);
    if (fd < 0 && (errno == ENOSYS || errno == EPERM)) {
        beneathWorks_ = false;  // not in this kernel, or a filter forbids it
    }
    return static_cast<int>(fd);
}

int TargetFolder::OpenBelow(int parent, const std::string& parentOnDisk, const std::string& part,
                            bool make, std::string& found, DWORD& error) {
    if (IsUnsafeComponent(part)) {
        error = ERROR_INVALID_NAME;
        return -1;
    }
    // The exact name first: one call for the common case.
    int fd = openat(parent, part.c_str(), kFolderFlags);
    if (fd >= 0) {
        found = part;
        return fd;
    }
    if (errno != ENOENT) {
        error = FolderOpenError(parent, part, errno);
        return -1;
    }
    const std::string stripped = StripTrailingSpacesAndDots(part);
    struct stat info;
    found = Variant(parent, parentOnDisk, part, error);
    if (found.empty() && stripped != part && error == ERROR_SUCCESS) {
        found = FindName(parent, parentOnDisk, stripped, error, info);
    }
    if (error != ERROR_SUCCESS) {
        return -1;
    }
    if (found.empty()) {
        if (!make) {
            error = ERROR_PATH_NOT_FOUND;
            return -1;
        }
        if (error = CheckNameComponent(stripped); error != ERROR_SUCCESS) {
            return -1;
        }
        if (FaultFires(FaultPoint::FolderCreate)) {
            error = GetLastError();
            return -1;
        }
        // Made meanwhile by another program is as good as made here.
        if (mkdirat(parent, stripped.c_str(), 0777) == 0) {
            names_->NoteCreated(parent, stripped);
            NoteMade(parentOnDisk + stripped);
        } else if (errno != EEXIST) {
            error = ErrorFromErrno(errno);
            return -1;
        }
        found = stripped;
    }
    fd = openat(parent, found.c_str(), kFolderFlags);
    if (fd < 0) {
        error = FolderOpenError(parent, found, errno);
    }
    return fd;
}

TargetPath::TargetPath(TargetFolder& folder, const std::string& name, bool makeFolders,
                       bool isFolder)
    : given_(NormalizeSeparators(folder.Given() + name)), folder_(folder) {
    std::vector<std::string> parts = SplitComponents(name);
    if (given_.size() > kMaxPathLength) {
        Fail(ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    if (parts.empty() && !isFolder) {
        Fail(ERROR_INVALID_NAME);
        return;
    }
    std::string last;
    if (!isFolder) {
        last = parts.back();
        parts.pop_back();
    }
    folderFd_ = folder.Open(parts, makeFolders, *this);
    if (folderFd_ >= 0 && !isFolder) {
        LookAtTarget(last);
    }
}

TargetPath::~TargetPath() {
    if (folderFd_ >= 0 && folderFd_ != folder_.root_) {
        close(folderFd_);
    }
}

void TargetPath::Fail(DWORD error, bool inFolder) {
    error_ = error;
    inFolder_ = inFolder;
}

// The exact name, else the name without trailing spaces and dots, each
// also as a case variant. A link there is refused, not followed.
void TargetPath::LookAtTarget(const std::string& part) {
    if (IsUnsafeComponent(part)) {
        Fail(ERROR_INVALID_NAME);
        return;
    }
    newName_ = StripTrailingSpacesAndDots(part);
    if (DWORD error = CheckNameComponent(newName_); error != ERROR_SUCCESS) {
        Fail(error);
        return;
    }
    DWORD error = ERROR_SUCCESS;
    struct stat info;
    existing_ = folder_.FindName(folderFd_, folderOnDisk_, part, error, info);
    if (existing_.empty() && newName_ != part && error == ERROR_SUCCESS) {
        existing_ = folder_.FindName(folderFd_, folderOnDisk_, newName_, error, info);
    }
    if (error != ERROR_SUCCESS) {
        Fail(error);
        return;
    }
    if (existing_.empty()) {
        return;
    }
    if (S_ISLNK(info.st_mode)) {
        Fail(ERROR_CANT_RESOLVE_FILENAME);
        return;
    }
    // A folder of that name cannot be replaced by a file.
    if (S_ISDIR(info.st_mode)) {
        Fail(ERROR_ACCESS_DENIED);
        return;
    }
    ResolvedPath named;
    named.components = {existing_};
    attributes_ = AttributesOf(named, info);
    isFile_ = true;
    age_ = DosAgeOf(info);
}

bool TargetPath::DeleteExisting() {
    if (FaultFires(FaultPoint::DeleteFile)) {
        return false;
    }
    if (unlinkat(folderFd_, existing_.c_str(), 0) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    folder_.names_->NoteRemoved(folderFd_, existing_);
    folder_.NoteRemoved(folderOnDisk_ + existing_);
    existing_.clear();
    return true;
}

bool TargetPath::DeleteMade() {
    if (FaultFires(FaultPoint::DeleteFile)) {
        return false;
    }
    if (unlinkat(folderFd_, newName_.c_str(), 0) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    folder_.names_->NoteRemoved(folderFd_, newName_);
    folder_.NoteRemoved(folderOnDisk_ + newName_);
    return true;
}

int TargetPath::OpenNew(int flags, DWORD& error) const {
    if (error_ != ERROR_SUCCESS || folderFd_ < 0) {
        error = error_ != ERROR_SUCCESS ? error_ : ERROR_PATH_NOT_FOUND;
        return -1;
    }
    if (FaultFires(FaultPoint::StreamOpen)) {
        error = GetLastError();
        return -1;
    }
    const int fd = openat(folderFd_, newName_.c_str(),
                          flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno);
        return -1;
    }
    folder_.names_->NoteCreated(folderFd_, newName_);
    folder_.NoteMade(folderOnDisk_ + newName_);
    return fd;
}

}  // namespace platform
