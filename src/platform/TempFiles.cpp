// The temporary folder and uniquely named temporary files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <unordered_set>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"
#include "platform/Paths.h"

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

// Where the search for a free number starts: differs between processes and
// between calls, so that names rarely collide.
unsigned FirstNumber() {
    static std::atomic<unsigned> calls{0};
    unsigned seed = static_cast<unsigned>(std::time(nullptr)) ^
                    static_cast<unsigned>(getpid()) * 2654435761u ^ calls.fetch_add(1) * 40503u;
    return seed % kUniqueNumbers;
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
    std::string base = IncludeTrailingPathDelimiter(where.path) + start;
    unsigned first = FirstNumber();
    for (unsigned i = 0; i < kUniqueNumbers; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%04X", (first + i) % kUniqueNumbers);
        std::string path = base + number + ".tmp";
        if (taken.count(FoldFileName(start + number + ".tmp")) != 0) {
            continue;
        }
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            ForgetFolderOf(path);
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
