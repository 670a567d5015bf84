#include "archive/names/ZipPaths.h"

#include <vector>

#include "archive/names/ZipStrFunc.h"
#include "platform/CommandLine.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace archive {

namespace {

using platform::IsPathDelimiter;
using platform::SplitComponents;

bool StartsWithTwoDelimiters(std::string_view path) {
    return path.size() >= 2 && IsPathDelimiter(path[0]) && IsPathDelimiter(path[1]);
}

// `path` made absolute against the folder `currentFolder()` gives, "." and
// ".." resolved without looking at the disk; a trailing delimiter stays.
// The current folder is asked for only when the path is relative.
template <typename CurrentFolder>
std::string ExpandPath(const std::string& path, CurrentFolder currentFolder) {
    if (!path.empty() && IsPathDelimiter(path.front())) {
        return platform::ExpandFileName(path);
    }
    return platform::ExpandFileName(platform::IncludeTrailingPathDelimiter(currentFolder()) + path);
}

// `full` relative to the folder `base`: folder names compared without
// regard to case, the spelling of `full` kept, "../" for each folder of
// `base` that `full` does not share.
std::string RelativePath(const std::string& base, const std::string& full) {
    const std::vector<std::string> baseParts = SplitComponents(base);
    const std::vector<std::string> fullParts = SplitComponents(full);
    std::size_t common = 0;
    while (common < baseParts.size() && common + 1 < fullParts.size() &&
           platform::SameFileName(baseParts[common], fullParts[common])) {
        ++common;
    }
    std::string result;
    for (std::size_t i = common; i < baseParts.size(); ++i) {
        result += "../";
    }
    for (std::size_t i = common; i < fullParts.size(); ++i) {
        result += fullParts[i];
        if (i + 1 < fullParts.size()) {
            result += '/';
        }
    }
    return result;
}

}  // namespace

std::string ResolvePath(const std::string& base, const std::string& name,
                        const std::string& currentFolder) {
    const auto current = [&] {
        return currentFolder.empty() ? platform::GetCurrentDir() : currentFolder;
    };
    // A name with a drive or server stands for itself.
    if (name.find(':') != std::string::npos || StartsWithTwoDelimiters(name)) {
        return name;
    }
    // A name from the root takes the current drive; any other goes below
    // the base, or the current folder without one.
    if (!name.empty()) {
        if (IsPathDelimiter(name.front())) {
            return ExpandPath(name, current);
        }
        const std::string folder = base.empty() ? current() : base;
        return ExpandPath(platform::IncludeTrailingPathDelimiter(folder) + name, current);
    }
    // Without a name, the base itself.
    if (base.find(':') != std::string::npos ||
        (!base.empty() && !platform::DirectoryExists(base))) {
        return base;
    }
    return ExpandPath(platform::IncludeTrailingPathDelimiter(base), current);
}

namespace {

// The source's absolute path, without a trailing delimiter or dot.
std::string FullSourcePath(const std::string& absoluteBase, const std::string& path) {
    std::string full = ResolvePath(absoluteBase, path);
    if (!full.empty() && IsPathDelimiter(full.back())) {
        full.pop_back();
    }
    if (!full.empty() && full.back() == '.') {
        full.pop_back();
    }
    return full;
}

// The part of the path the store-path mode keeps.
std::string NameForMode(const std::string& full, const std::string& absoluteBase,
                        TZipStorePathMode mode) {
    std::string result;
    switch (mode) {
        case spNoPath:
            result = platform::ExtractFileName(full);
            break;
        case spRelativePath:
            result = RelativePath(absoluteBase, full);
            if (result.find("../") != std::string::npos ||
                result.find("..\\") != std::string::npos) {
                result = full;
            }
            break;
        case spFullPath:
            result = full;
            break;
        case spFullPathWithDrive:
            result = ExpandPath(full, platform::GetCurrentDir);
            break;
    }
    return result;
}

// Unless the mode keeps the drive, a drive or server in front goes, and so
// does a leading delimiter.
std::string WithoutDriveOrServer(std::string result, TZipStorePathMode mode) {
    if (mode != spFullPathWithDrive) {
        if (const std::size_t colon = result.find(':'); colon != std::string::npos) {
            result.erase(0, colon + 1);
        } else {
            for (std::size_t i = 0; i + 1 < result.size(); ++i) {
                if (IsPathDelimiter(result[i]) && IsPathDelimiter(result[i + 1])) {
                    std::size_t after = i + 2;
                    while (after < result.size() && !IsPathDelimiter(result[after])) {
                        ++after;
                    }
                    result.erase(0, std::min(after + 1, result.size()));
                    break;
                }
            }
        }
        if (!result.empty() && IsPathDelimiter(result.front())) {
            result.erase(0, 1);
        }
    }
    return result;
}

}  // namespace

std::string MakeStoredName(const std::string& path, const std::string& base,
                           TZipStorePathMode mode) {
    const std::string absoluteBase = ResolvePath(base, {});
    const std::string full = FullSourcePath(absoluteBase, path);
    return ReplaceChar(WithoutDriveOrServer(NameForMode(full, absoluteBase, mode), mode), '\\',
                       '/');
}

bool IsRemovablePath(const std::string& path) {
    const std::string drive = ExtractFileDrive(path);
    return drive == "A:" || drive == "a:" || drive == "B:" || drive == "b:";
}

bool IsContainedEntryName(std::string_view name) {
    if (name.empty() || IsPathDelimiter(name.front()) || name.find(':') != std::string_view::npos) {
        return false;
    }
    for (const std::string& part : SplitComponents(name)) {
        if (part == "..") {
            return false;
        }
    }
    return true;
}

}  // namespace archive
