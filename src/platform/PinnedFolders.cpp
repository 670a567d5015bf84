// Folders of the program's own, resolved once and trusted while they are
// pinned.
//
// Why it is sound:
// - Only a folder that no other program changes while it is held is pinned
//   (the workspace's folders, under the workspace lock that no other run
//   can share); a path is matched against the pins by its spelling as
//   given, component for component, so only what was resolved before is
//   taken over, and the rest of the path is looked up on disk as ever.
// - Folders made through this layer below a pinned folder are ours as well:
//   they are pinned with it, and dropped, with everything below them, when
//   they are removed or moved through this layer.
// - A pinned folder that is gone all the same (removed by hand) can only
//   make the next call on a path below it fail where the system refuses it.
// - A pin with its names (PinScope::Names) lets the names cache trust the
//   folder's names as read and noted; when the pin goes, so do the names
//   kept under it.
#include <sys/stat.h>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace platform {

namespace {

struct Pin {
    std::uint64_t owner = 0;  // the PinnedFolder it came from
    PinScope scope = PinScope::Resolution;
    bool absolute = false;
    std::vector<std::string> given;  // the components as spelled by callers
    ResolvedPath resolved;
};

// Folders made below the pins count here; past this many none is added.
constexpr std::size_t kMaxPins = 256;

std::shared_mutex guard;
std::vector<Pin> pins;
std::atomic<std::uint64_t> lastOwner{0};

bool StartsWith(const std::vector<std::string>& parts, const std::vector<std::string>& prefix) {
    return prefix.size() <= parts.size() && std::equal(prefix.begin(), prefix.end(), parts.begin());
}

// The pin that covers most of `parts`; nullptr when none does. The caller
// holds the guard.
const Pin* LongestPin(bool absolute, const std::vector<std::string>& parts) {
    const Pin* best = nullptr;
    for (const Pin& pin : pins) {
        if (pin.absolute == absolute && StartsWith(parts, pin.given) &&
            (best == nullptr || pin.given.size() > best->given.size())) {
            best = &pin;
        }
    }
    return best;
}

// `path` is `folder` or lies below it (resolved paths, '/' separators).
bool IsWithin(const std::string& path, const std::string& folder) {
    return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/' || folder == "/");
}

}  // namespace

std::size_t FindPinnedPrefix(bool absolute, const std::vector<std::string>& parts,
                             ResolvedPath& prefix) {
    std::shared_lock<std::shared_mutex> lock(guard);
    const Pin* pin = LongestPin(absolute, parts);
    if (pin == nullptr) {
        return 0;
    }
    prefix = pin->resolved;
    return pin->given.size();
}

void NotePinnedFolderMade(bool absolute, const std::vector<std::string>& given,
                          const ResolvedPath& made) {
    if (given.empty() || given.size() != made.components.size()) {
        return;
    }
    std::unique_lock<std::shared_mutex> lock(guard);
    const std::vector<std::string> parent(given.begin(), given.end() - 1);
    const Pin* holder = LongestPin(absolute, parent);
    if (holder == nullptr || holder->given.size() != parent.size() || pins.size() >= kMaxPins) {
        return;
    }
    Pin pin;
    pin.owner = holder->owner;
    pin.scope = holder->scope;
    pin.absolute = absolute;
    pin.given = given;
    pin.resolved = made;
    pin.resolved.pinned = true;
    pin.resolved.pinnedLink = false;  // made here as a folder
    pin.resolved.leafKnown = false;
    pins.push_back(std::move(pin));
}

void NotePinnedFolderGone(const std::string& path) {
    std::unique_lock<std::shared_mutex> lock(guard);
    std::erase_if(pins, [&](const Pin& pin) { return IsWithin(pin.resolved.path, path); });
}

std::size_t PinnedFolderCount() {
    std::shared_lock<std::shared_mutex> lock(guard);
    return pins.size();
}

bool NamesArePinned(const std::string& folder) {
    std::shared_lock<std::shared_mutex> lock(guard);
    return std::any_of(pins.begin(), pins.end(), [&](const Pin& pin) {
        return pin.scope == PinScope::Names && pin.resolved.path == folder;
    });
}

PinnedFolder::PinnedFolder(const std::string& folder, PinScope scope) {
    ResolvedPath resolved = Resolve(folder);
    if (!resolved.exists || resolved.components.empty()) {
        return;
    }
    // A folder pinned already, or one the walk itself found, needs no
    // second look.
    if (!resolved.pinned) {
        struct stat info;
        struct stat own;
        if (resolved.leafKnown && S_ISDIR(resolved.leaf.st_mode)) {
            own = resolved.leaf;
        } else if (!StatPath(resolved.path, info) || !S_ISDIR(info.st_mode) ||
                   lstat(resolved.path.c_str(), &own) != 0) {
            return;
        }
        resolved.pinned = true;
        resolved.pinnedLink = S_ISLNK(own.st_mode);
    }
    resolved.leafKnown = false;
    owner_ = ++lastOwner;
    Pin pin;
    pin.owner = owner_;
    pin.scope = scope;
    pin.absolute = IsPathDelimiter(folder.front());
    pin.given = SplitComponents(folder);
    pin.resolved = std::move(resolved);
    std::unique_lock<std::shared_mutex> lock(guard);
    pins.push_back(std::move(pin));
}

PinnedFolder::~PinnedFolder() {
    if (owner_ == 0) {
        return;
    }
    std::vector<std::string> withNames;
    {
        std::unique_lock<std::shared_mutex> lock(guard);
        std::erase_if(pins, [&](const Pin& pin) {
            if (pin.owner != owner_) {
                return false;
            }
            if (pin.scope == PinScope::Names) {
                withNames.push_back(pin.resolved.path);
            }
            return true;
        });
    }
    // The names kept on the pin's word are not trusted any longer.
    for (const std::string& path : withNames) {
        NoteFolderGone(path);
    }
}

}  // namespace platform
