// The temporary folder and uniquely named temporary files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "platform/CodePage.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/RandomNumbers.h"

namespace platform {

namespace {

constexpr unsigned kUniqueNumbers = 0x10000;

// The first three characters of the prefix (whole UTF-8 characters).
std::string PrefixPart(const std::string& prefix) {
    std::size_t pos = 0;
    for (int i = 0; i < 3 && pos < prefix.size(); ++i) {
        DecodeUtf8(prefix, pos);
    }
    return prefix.substr(0, pos);
}

// The order in which the numbers are tried: from an unguessable first one,
// in unguessable odd steps, which visit every number once. Another user who
// may write to the folder cannot tell which names to take first.
struct NumberWalk {
    unsigned first = 0;
    unsigned step = 1;
    unsigned At(unsigned i) const { return (first + i * step) % kUniqueNumbers; }
};

bool RandomWalk(NumberWalk& walk) {
    std::uint64_t random = 0;
    if (!UnguessableNumber(random)) {
        return false;
    }
    walk.first = static_cast<unsigned>(random % kUniqueNumbers);
    walk.step = static_cast<unsigned>((random >> 16) % kUniqueNumbers) | 1u;
    return true;
}

// The folded names in `folder` that may fold to a name `length` bytes long:
// plain ASCII keeps its length when folded, so any other such name is left
// out without being folded. `error` set when the folder cannot be read.
std::unordered_set<std::string> FoldedNames(const std::string& folder, std::size_t length,
                                            DWORD& error) {
    std::unordered_set<std::string> names;
    const int err = ForEachFolderName(folder, [&](const char* name) {
        const std::string_view text(name);
        if (text.size() == length || !IsPlainAscii(text)) {
            names.insert(FoldFileName(text));
        }
    });
    if (err != 0) {
        error = ErrorFromErrno(err);
    }
    return names;
}

}  // namespace

std::string GetTempPath() {
    const char* dir = std::getenv("TMPDIR");
    struct stat info;
    if (dir == nullptr || *dir == '\0' || stat(dir, &info) != 0 || !S_ISDIR(info.st_mode)) {
        return "/tmp/";
    }
    std::string path = dir;
    // A relative folder is taken from the working folder now, so the path
    // names the same folder after the working folder changes.
    if (!IsPathDelimiter(path.front())) {
        std::string cwd(4096, '\0');
        if (getcwd(cwd.data(), cwd.size()) == nullptr) {
            return "/tmp/";
        }
        cwd.resize(cwd.find('\0'));
        path = IncludeTrailingPathDelimiter(cwd) + path;
    }
    return IncludeTrailingPathDelimiter(path);
}

std::string GetTempFileName(const std::string& folder, const std::string& prefix) {
    // The folder must exist; the prefix must make a name a card can hold,
    // in that folder and not below it.
    ResolvedPath where = Resolve(folder);
    struct stat info;
    if (!where.exists || !StatPath(where.path, info) || !S_ISDIR(info.st_mode)) {
        SetLastError(where.error != ERROR_SUCCESS ? where.error : ERROR_PATH_NOT_FOUND);
        return "";
    }
    if (prefix.find_first_of("/\\") != std::string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return "";
    }
    const std::string start = PrefixPart(prefix);
    if (DWORD error = CheckNameComponent(start); error != ERROR_SUCCESS) {
        SetLastError(error);
        return "";
    }
    // Try the numbers in turn until a name is free; a case variant of an
    // existing name is that name on a case-insensitive disk.
    DWORD error = ERROR_SUCCESS;
    const std::size_t foldedLength = FoldFileName(start).size() + std::strlen("0000.tmp");
    const std::unordered_set<std::string> taken = FoldedNames(where.path, foldedLength, error);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return "";
    }
    NumberWalk walk;
    if (!RandomWalk(walk) || FaultFires(FaultPoint::FileCreate)) {
        return "";
    }
    // Made for this process alone (mode 0600); a name that is there, a link
    // included, is never opened.
    std::string base = IncludeTrailingPathDelimiter(where.path) + start;
    for (unsigned i = 0; i < kUniqueNumbers; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%04X", walk.At(i));
        std::string path = base + number + ".tmp";
        if (taken.count(FoldFileName(start + number + ".tmp")) != 0) {
            continue;
        }
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const bool closed = close(fd) == 0;
            const int err = errno;
            ForgetFolderOf(path);
            if (!closed) {
                unlink(path.c_str());
                SetLastError(ErrorFromErrno(err));
                return "";
            }
            return path;
        }
        if (errno != EEXIST) {
            SetLastError(ErrorFromErrno(errno));
            return "";
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return "";
}

}  // namespace platform
