// Where the program keeps its settings file, temp/ and projects/: beside the
// executable for a portable copy, else in the user's data folder.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/Files.h"
#include "platform/Paths.h"

namespace platform {

namespace {

// The value of an environment variable, "" when unset.
std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string UserDataProgramFolder() {
    // A relative XDG_DATA_HOME is invalid and ignored, as for every program
    // that follows the convention.
    std::string data = Environment("XDG_DATA_HOME");
    if (data.empty() || data.front() != '/') {
        const std::string home = Environment("HOME");
        if (home.empty()) {
            return {};
        }
        data = IncludeTrailingPathDelimiter(home) + ".local/share";
    }
    return IncludeTrailingPathDelimiter(data) + "quellor/";
}

bool IsPortableCopy(const std::string& executableFolder) {
    return FileExists(IncludeTrailingPathDelimiter(executableFolder) + kPortableMarker);
}

std::string ProgramFolderFor(const std::string& executableFolder) {
    // Whether the folder is writable never decides alone: root may write
    // /usr/bin, and an installed program must not fill it. access() asks the
    // file system, so a portable copy on a read-only mount counts as not
    // writable even for root.
    if (IsPortableCopy(executableFolder) && access(executableFolder.c_str(), W_OK) == 0) {
        return executableFolder;
    }
    const std::string data = UserDataProgramFolder();
    if (data.empty()) {
        return executableFolder;
    }
    // The settings file is saved before any run has made temp/ or projects/.
    // A folder that cannot be made shows up when the first file is written.
    ForceDirectories(data);
    return data;
}

std::string HelpPagePath() {
    const std::string beside = ProgramFolder() + "help.html";
    const std::string installed = ExecutableFolder() + "../share/quellor/help.html";
    return !FileExists(beside) && FileExists(installed) ? installed : beside;
}

}  // namespace platform
