// The temporary folder and uniquely named temporary files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

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

}  // namespace

std::string GetTempPath() {
    const char* dir = std::getenv("TMPDIR");
    struct stat info;
    if (dir != nullptr && *dir != '\0' && stat(dir, &info) == 0 && S_ISDIR(info.st_mode)) {
        return IncludeTrailingPathDelimiter(dir);
    }
    return "/tmp/";
}

std::string GetTempFileName(const std::string& folder, const std::string& prefix) {
    // 1. The folder must exist; the prefix must make a name a card can hold.
    ResolvedPath where = Resolve(folder);
    struct stat info;
    if (!where.exists || !StatPath(where.path, info) || !S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return "";
    }
    std::string start = PrefixPart(prefix);
    if (DWORD error = CheckNameComponent(start); error != ERROR_SUCCESS) {
        SetLastError(error);
        return "";
    }
    // 2. Try the numbers in turn until a name is free.
    std::string base = IncludeTrailingPathDelimiter(where.path) + start;
    unsigned first = FirstNumber();
    for (unsigned i = 0; i < kUniqueNumbers; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%04X", (first + i) % kUniqueNumbers);
        std::string path = base + number + ".tmp";
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
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
