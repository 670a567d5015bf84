// Replacing a small file whole through a temporary file beside it. Every
// step goes through the fault seam, so a test can fail or stop each one.
#include "platform/ProfileReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/RandomNumbers.h"
#include "platform/Umask.h"

namespace platform {

namespace {

constexpr const char* kReplacementEnd = ".tmp";
constexpr std::size_t kNumberDigits = 16;
constexpr int kNameAttempts = 8;

// The folder and the name of a path ("." for a bare name).
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// The process that made the temporary file `name` for `fileName` (both
// folded); 0 when the name is not one of ours.
long MakerOf(const std::string& name, const std::string& fileName) {
    const std::string start = fileName + ".";
    if (name.size() <= start.size() || name.compare(0, start.size(), start) != 0 ||
        !name.ends_with(kReplacementEnd)) {
        return 0;
    }
    const std::string middle =
        name.substr(start.size(), name.size() - start.size() - std::string(kReplacementEnd).size());
    const std::size_t dot = middle.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 9 ||
        middle.size() - dot - 1 != kNumberDigits) {
        return 0;
    }
    long pid = 0;
    for (std::size_t i = 0; i < dot; ++i) {
        if (middle[i] < '0' || middle[i] > '9') {
            return 0;
        }
        pid = pid * 10 + (middle[i] - '0');
    }
    for (std::size_t i = dot + 1; i < middle.size(); ++i) {
        if (!IsHexDigit(middle[i])) {
            return 0;
        }
    }
    return pid;
}

bool ProcessIsGone(long pid) {
    return pid > 1 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// The regular files in `folder` that replaces of `fileName` left behind
// when their process was killed.
int FindLeftovers(int folder, const std::string& fileName, std::vector<std::string>& leftovers) {
    const int listing = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
    if (dir == nullptr) {
        const int err = errno;
        if (listing >= 0) {
            close(listing);
        }
        return err;
    }
    const std::string folded = FoldFileName(fileName);
    errno = 0;
    while (const struct dirent* entry = readdir(dir)) {
        const long pid = MakerOf(FoldFileName(entry->d_name), folded);
        struct stat info;
        if (pid != 0 && fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && ProcessIsGone(pid)) {
            leftovers.emplace_back(entry->d_name);
        }
        errno = 0;
    }
    const int err = errno;
    closedir(dir);
    return err;
}

DWORD RemoveLeftovers(int folder, const std::string& fileName) {
    std::vector<std::string> leftovers;
    if (const int err = FindLeftovers(folder, fileName, leftovers); err != 0) {
        return ErrorFromErrno(err);
    }
    for (const std::string& name : leftovers) {
        if (FaultFires(FaultPoint::DeleteFile)) {
            return GetLastError();
        }
        if (unlinkat(folder, name.c_str(), 0) != 0 && errno != ENOENT) {
            return ErrorFromErrno(errno);
        }
    }
    return ERROR_SUCCESS;
}

// Makes a temporary file for `fileName` in `folder`, exclusively, mode 0600.
int CreateReplacement(int folder, const std::string& fileName, std::string& name, DWORD& error) {
    if (FaultFires(FaultPoint::FileCreate)) {
        error = GetLastError();
        return -1;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::uint64_t number = 0;
        if (!UnguessableNumber(number)) {
            error = GetLastError();
            return -1;
        }
        name = ReplacementName(fileName, static_cast<long>(getpid()), number);
        const int fd = openat(folder, name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            error = fd >= 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
            return fd;
        }
    }
    error = ERROR_FILE_EXISTS;
    return -1;
}

DWORD WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        if (FaultFires(FaultPoint::TextWrite)) {
            return GetLastError();
        }
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno != EINTR) {
            return ErrorFromErrno(errno);
        }
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return ERROR_SUCCESS;
}

DWORD Flush(int fd) {
    if (FaultFires(FaultPoint::Flush)) {
        return GetLastError();
    }
    // A file system that cannot flush a folder says EINVAL: nothing to do.
    return fsync(fd) == 0 || errno == EINVAL ? ERROR_SUCCESS : ErrorFromErrno(errno);
}

// Content, mode and flush of the temporary file; it is closed either way.
DWORD FillReplacement(int fd, const std::string& content, mode_t mode) {
    DWORD error = WriteAll(fd, content);
    if (error == ERROR_SUCCESS && mode != 0600) {
        if (FaultFires(FaultPoint::FileMode)) {
            error = GetLastError();
        } else if (fchmod(fd, mode) != 0) {
            error = ErrorFromErrno(errno);
        }
    }
    if (error == ERROR_SUCCESS) {
        error = Flush(fd);
    }
    if (close(fd) != 0 && error == ERROR_SUCCESS) {
        error = ErrorFromErrno(errno);
    }
    return error;
}

DWORD RenameOver(int folder, const std::string& from, const std::string& to) {
    if (FaultFires(FaultPoint::Rename)) {
        return GetLastError();
    }
    return renameat(folder, from.c_str(), folder, to.c_str()) == 0 ? ERROR_SUCCESS
                                                                   : ErrorFromErrno(errno);
}

DWORD ReplaceIn(int folder, const std::string& fileName, const std::string& content, mode_t mode) {
    if (DWORD error = RemoveLeftovers(folder, fileName); error != ERROR_SUCCESS) {
        return error;
    }
    std::string temporary;
    DWORD error = ERROR_SUCCESS;
    const int fd = CreateReplacement(folder, fileName, temporary, error);
    if (fd < 0) {
        return error;
    }
    error = FillReplacement(fd, content, mode);
    if (error == ERROR_SUCCESS) {
        error = RenameOver(folder, temporary, fileName);
    }
    if (error != ERROR_SUCCESS) {
        unlinkat(folder, temporary.c_str(), 0);  // ours: nothing else to report
        return error;
    }
    // The new name lasts only once the folder is on the disk.
    return Flush(folder);
}

}  // namespace

std::string ReplacementName(const std::string& fileName, long pid, std::uint64_t number) {
    char digits[kNumberDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(number));
    return fileName + "." + std::to_string(pid) + "." + digits + kReplacementEnd;
}

DWORD ReplaceWholeFile(const std::string& path, const std::string& content,
                       std::optional<mode_t> mode) {
    const auto [folderPath, fileName] = SplitPath(path);
    const int folder = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return ErrorFromErrno(errno, errno == ENOENT);
    }
    const DWORD error = ReplaceIn(folder, fileName, content, mode ? *mode : 0666 & ~CurrentUmask());
    close(folder);
    ForgetFolderOf(path);
    return error;
}

}  // namespace platform
