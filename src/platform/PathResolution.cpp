// Case-insensitive resolution of a path, one component at a time.
#include <algorithm>
#include <cerrno>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t start = pos;
        if (DecodeUtf8(text, pos) == kReplacement && pos - start == 1) {
            return false;
        }
    }
    return true;
}

// Unicode simple case folding of one code point. Folding upper-cases and
// lower-cases again so that the final sigma, the long s and their kin meet
// their plain letters; the dotted capital I and the dotless small i fold only
// to themselves, as simple folding has them.
char32_t FoldCase(char32_t cp) {
    if (cp == 0x0130 || cp == 0x0131) {
        return cp;
    }
    return SimpleLower(SimpleUpper(cp));
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsPlainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool SameFileName(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    // Plain ASCII folds by itself, as every code point below 0x80 does; so
    // does a name that is not UTF-8.
    if ((IsPlainAscii(a) && IsPlainAscii(b)) || !IsValidUtf8(a) || !IsValidUtf8(b)) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
    }
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCase(DecodeUtf8(a, i)) != FoldCase(DecodeUtf8(b, j))) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

std::string FoldFileName(std::string_view name) {
    if (IsPlainAscii(name) || !IsValidUtf8(name)) {
        std::string folded(name);
        std::transform(folded.begin(), folded.end(), folded.begin(), FoldAscii);
        return folded;
    }
    std::string folded;
    folded.reserve(name.size());
    std::size_t pos = 0;
    while (pos < name.size()) {
        folded += EncodeUtf8(FoldCase(DecodeUtf8(name, pos)));
    }
    return folded;
}

bool StatPath(const std::string& path, struct stat& info) {
    return stat(path.empty() ? "." : path.c_str(), &info) == 0;
}

namespace {

// The name of `wanted` in `folder` on disk: the exact spelling, else a case
// variant; empty when neither exists or the folder cannot be read (`error`
// set). `current` is the folder with its trailing delimiter (or empty for the
// working folder); `folderInfo` its lstat() when the walk has one. `info` is
// the lstat() of the name found (st_mode 0 when it could not be had).
std::string FindOnDisk(const std::string& folder, const std::string& current,
                       const std::string& wanted, const struct stat* folderInfo, DWORD& error,
                       struct stat& info) {
    // A name the folder's trusted names lack in every spelling is not there.
    if (std::string variant; TrustedCaseVariant(folder, wanted, variant) && variant.empty()) {
        info.st_mode = 0;
        return "";
    }
    CountComponentLookup();
    if (lstat((current + wanted).c_str(), &info) == 0) {
        return wanted;
    }
    std::string variant = FindCaseVariant(folder, wanted, error, folderInfo);
    if (!variant.empty()) {
        CountComponentLookup();
    }
    if (variant.empty() || lstat((current + variant).c_str(), &info) != 0) {
        info.st_mode = 0;
    }
    return variant;
}

// A folder's lstat() from the walk, when it shows a folder itself and not a
// link to one; nullptr otherwise.
const struct stat* PlainFolder(const struct stat& info) {
    return S_ISDIR(info.st_mode) ? &info : nullptr;
}

// Whether the folder that holds the last component is a folder: from the
// walk's lstat() of it when that says, else from the disk.
bool ParentIsFolder(const ResolvedPath& result, const struct stat& parent, bool parentSeen) {
    if (parentSeen && parent.st_mode != 0 && !S_ISLNK(parent.st_mode)) {
        return S_ISDIR(parent.st_mode);
    }
    const std::string& path = result.path;
    struct stat info;
    return StatPath(path.substr(0, path.size() - result.components.back().size()), info) &&
           S_ISDIR(info.st_mode);
}

// Resolves `parts` from `from` on, after `result`: nothing yet, or a
// pinned folder, whose components all exist and whose last one is a folder
// (its lstat() is not known here: a case variant below it stats the folder
// anew).
ResolvedPath Walk(ResolvedPath result, bool absolute, const std::vector<std::string>& parts,
                  std::size_t from) {
    std::string current = !result.components.empty() ? result.path : absolute ? "/" : "";
    bool onDisk = true;
    bool linkSeen = result.lastLink < result.components.size();  // lastLink is set
    // The lstat() of the last two components found, for the folder checks
    // (st_mode 0 when not known); `stamped` once lastFound is a real one.
    struct stat lastFound {};
    struct stat beforeLast {};
    bool stamped = false;
    bool lastWalked = false;  // the last component was looked up and found
    if (!result.components.empty()) {
        lastFound.st_mode = S_IFDIR;
    }
    for (std::size_t part = from; part < parts.size(); ++part) {
        const std::string& given = parts[part];
        // A name that exists as given is that name, trailing dots and spaces
        // included; only a name that does not is taken as Win32 takes it.
        const std::string stripped = StripTrailingSpacesAndDots(given);
        std::string name = stripped;
        if (stripped.size() > kMaxComponentLength) {
            result.error = ERROR_FILENAME_EXCED_RANGE;
        }
        const std::string folder = current;
        if (!result.components.empty()) {
            current += '/';
        }
        // A name with a NUL byte never names anything on disk: the system
        // would see only the part before it.
        if (given.find('\0') != std::string::npos) {
            onDisk = false;
        }
        // The given spelling, else the stripped one; a component found in
        // neither stays as stripped, and so do all that follow it.
        // When the folder cannot be read, whether a case variant exists is
        // unknown: the failure is the path's error.
        lastWalked = false;
        if (onDisk && result.error == ERROR_SUCCESS) {
            const struct stat* folderInfo =
                result.existing > 0 && stamped ? PlainFolder(lastFound) : nullptr;
            struct stat info {};
            std::string found = FindOnDisk(folder, current, given, folderInfo, result.error, info);
            if (found.empty() && stripped != given && result.error == ERROR_SUCCESS) {
                found = FindOnDisk(folder, current, stripped, folderInfo, result.error, info);
            }
            if (found.empty()) {
                onDisk = false;
            } else {
                name = found;
                ++result.existing;
                beforeLast = lastFound;
                lastFound = info;
                stamped = true;
                lastWalked = info.st_mode != 0;
                // A link counts where its own path is one the system can name.
                if (S_ISLNK(info.st_mode) && current.size() + name.size() <= kMaxPathLength) {
                    result.lastLink = result.components.size();
                    linkSeen = true;
                }
            }
        }
        current += name;
        result.components.push_back(name);
    }
    if (!linkSeen) {
        result.lastLink = result.components.size();
    }
    result.path = current;
    if (result.path.size() > kMaxPathLength) {
        result.error = ERROR_FILENAME_EXCED_RANGE;
    }
    const std::size_t count = result.components.size();
    // Anything looked up below a pinned folder leaves it as it was found.
    result.pinned = result.pinned && from == parts.size();
    if (lastWalked && result.existing == count) {
        result.leaf = lastFound;
        result.leafKnown = true;
    }
    result.exists =
        result.error == ERROR_SUCCESS && result.existing == count && (count > 0 || absolute);
    if (result.pinned) {
        result.parentIsFolder = true;  // it holds a folder
    } else if (count > 0 && result.existing + 1 >= count) {
        const bool allFound = result.existing == count;
        result.parentIsFolder =
            ParentIsFolder(result, allFound ? beforeLast : lastFound, count >= 2);
    }
    return result;
}

}  // namespace

ResolvedPath Resolve(std::string_view path) {
    const bool absolute = !path.empty() && IsPathDelimiter(path.front());
    const std::vector<std::string> parts = SplitComponents(path);
    ResolvedPath pinned;
    const std::size_t covered = FindPinnedPrefix(absolute, parts, pinned);
    return Walk(covered > 0 ? std::move(pinned) : ResolvedPath{}, absolute, parts, covered);
}

std::string ResolvePath(std::string_view path) {
    std::string resolved = Resolve(path).path;
    if (!path.empty() && IsPathDelimiter(path.back()) && resolved != "/") {
        resolved += '/';
    }
    return resolved;
}

bool StatTarget(const ResolvedPath& target, struct stat& info) {
    if (target.leafKnown && !S_ISLNK(target.leaf.st_mode)) {
        info = target.leaf;
        return true;
    }
    return StatPath(target.path, info);
}

bool LstatTarget(const ResolvedPath& target, struct stat& info) {
    if (target.leafKnown) {
        info = target.leaf;
        return true;
    }
    return lstat(target.path.c_str(), &info) == 0;
}

ResolvedPath ResolvedPrefix(const ResolvedPath& target, std::size_t count, bool absolute) {
    ResolvedPath prefix;
    std::string path;
    if (absolute) {
        path.push_back('/');
    }
    for (std::size_t i = 0; i < count && i < target.components.size(); ++i) {
        if (i > 0) {
            path.push_back('/');
        }
        path.append(target.components[i]);
        prefix.components.push_back(target.components[i]);
    }
    prefix.path = std::move(path);
    prefix.existing = prefix.components.size();
    prefix.exists = true;
    prefix.parentIsFolder = true;
    prefix.lastLink = target.lastLink < prefix.existing ? target.lastLink : prefix.existing;
    return prefix;
}

DWORD MissingCode(const ResolvedPath& target) {
    if (target.error != ERROR_SUCCESS) {
        return target.error;
    }
    return target.parentIsFolder ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD CodeForErrno(int err, const ResolvedPath& target) {
    return ErrorFromErrno(err, !target.parentIsFolder);
}

DWORD CheckCreatable(const ResolvedPath& target) {
    if (target.error != ERROR_SUCCESS) {
        return target.error;
    }
    for (std::size_t i = target.existing; i < target.components.size(); ++i) {
        DWORD error = CheckNameComponent(target.components[i]);
        if (error != ERROR_SUCCESS) {
            return error;
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace platform
