// The names of folders, read once and kept for case-insensitive look-ups
// while a caller holds a FolderNameCacheScope.
//
// Why it is sound:
// - Only a look-up that misses the exact spelling comes here; the exact
//   name is always checked on disk first.
// - A folder's names are trusted only while the folder's device, inode,
//   change and modification times are those seen before it was read; any
//   change to the folder (ours or another program's) moves its times, and
//   the folder is read again.
// - Our own creates and deletes update the names and the times they see,
//   so a folder we are filling is not read again for every new file.
// - Our own change to a folder is marked from just before its call until
//   it is noted (OwnNameChange): a look-up that sees the folder changed
//   while another thread of ours is changing it waits for that note, then
//   checks the stamp again, instead of reading the folder on every change
//   that a worker beside it makes.
// - A folder pinned with its names (PinScope::Names: the workspace's own,
//   which no other program changes while its lock is held) is read once;
//   its names are then trusted as read and as our changes noted them,
//   without a stat() of the folder for each look-up or change. Every change
//   this process makes there is noted: by the calls above, and by the
//   extraction's own calls (TargetPath).
//   A name such a folder's names lack, in every spelling, is not looked
//   for on disk at all.
// - A case variant found in the cache is checked on disk before it is
//   returned, so a stale name is never given out; the worst a stale cache
//   can do is miss a variant made by another program in the same instant as
//   one of our own changes, and then the new file gets its own name beside
//   it: nothing is overwritten. The uncached look-up has the same window
//   between reading the folder and creating the file.
// - The cache lives only while a scope is held (one extraction call), so
//   nothing is remembered between calls.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace platform {

namespace {

// The first name in byte order among those of one folded form, and how many
// names share that form.
struct Variants {
    std::string first;
    std::size_t count = 0;
};

struct FolderStamp {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    timespec changed{};
};

struct FolderEntry {
    FolderStamp stamp;
    std::unordered_map<std::string, Variants> byFold;
    bool trusted = false;  // pinned with its names: the stamp is not checked
};

// At most this many folders are kept; past it the cache starts afresh.
constexpr std::size_t kMaxFolders = 256;

std::atomic<int> scopes{0};
std::mutex guard;
std::unordered_map<std::string, FolderEntry> folders;
// Folders with changes of our own in flight, and the number each change
// drew (drawn in increasing order); under `guard`.
std::unordered_map<std::string, std::vector<std::uint64_t>> changing;
std::uint64_t lastChangeDrawn = 0;
std::condition_variable changesNoted;
// How many OwnNameChange this thread holds: such a thread never waits.
thread_local int changesHeld = 0;
// A wait for another thread's note is cut short after this long; the
// folder is then read again, as without the wait.
constexpr std::chrono::milliseconds kLongestWaitForNote{100};

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameStamp(const FolderStamp& a, const FolderStamp& b) {
    return a.device == b.device && a.inode == b.inode && SameTime(a.modified, b.modified) &&
           SameTime(a.changed, b.changed);
}

// The stamp from `given` when there is one, else from a stat() now.
bool StampOf(const std::string& folder, FolderStamp& stamp, const struct stat* given = nullptr) {
    struct stat now;
    if (given == nullptr) {
        CountFolderStamp();
        if (!StatPath(folder, now)) {
            return false;
        }
    }
    const struct stat& info = given != nullptr ? *given : now;
    if (!S_ISDIR(info.st_mode)) {
        return false;
    }
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.modified = info.st_mtim;
    stamp.changed = info.st_ctim;
    return true;
}

void AddName(FolderEntry& entry, const std::string& name) {
    Variants& variants = entry.byFold[FoldFileName(name)];
    if (variants.count == 0 || name < variants.first) {
        variants.first = name;
    }
    ++variants.count;
}

// Reads every name of `folder` into `entry`; false when the folder cannot be
// read (`error` set unless it is missing or no folder).
bool ReadFolder(const std::string& folder, FolderEntry& entry, DWORD& error) {
    const int err = ForEachFolderName(folder, [&](const char* name) { AddName(entry, name); });
    if (err != 0 && err != ENOENT && err != ENOTDIR) {
        error = ErrorFromErrno(err);
    }
    return err == 0;
}

std::string FolderKey(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return "";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameInFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    return folder.back() == '/' ? folder + name : folder + '/' + name;
}

using Clock = std::chrono::steady_clock;

// Waits until the changes of our other threads that are under way in
// `folder` now have been noted (changes begun meanwhile are not waited
// for); false when there was none to wait for, or no time is left.
bool AwaitOwnChanges(std::unique_lock<std::mutex>& lock, const std::string& folder,
                     Clock::time_point deadline) {
    auto it = changing.find(folder);
    if (changesHeld != 0 || it == changing.end() || Clock::now() >= deadline) {
        return false;
    }
    const std::uint64_t last = *std::max_element(it->second.begin(), it->second.end());
    changesNoted.wait_until(lock, deadline, [&] {
        const auto now = changing.find(folder);
        return now == changing.end() ||
               *std::min_element(now->second.begin(), now->second.end()) > last;
    });
    return true;
}

// The cached names of `folder`, read anew unless its stamp still holds;
// nullptr when it cannot be read.
FolderEntry* CurrentNames(std::unique_lock<std::mutex>& lock, const std::string& folder,
                          DWORD& error, const struct stat* folderInfo) {
    if (const auto trusted = folders.find(folder);
        trusted != folders.end() && trusted->second.trusted) {
        return &trusted->second;
    }
    FolderStamp now;
    if (!StampOf(folder, now, folderInfo)) {
        folders.erase(folder);
        return nullptr;
    }
    auto it = folders.find(folder);
    if (it != folders.end() && !SameStamp(it->second.stamp, now)) {
        // The stat given may be older than a change of ours noted since, and
        // changes of ours may be under way: the stamp is taken again, after
        // waiting for each round of them, before the folder is read again.
        const Clock::time_point deadline = Clock::now() + kLongestWaitForNote;
        bool takeAgain = folderInfo != nullptr || AwaitOwnChanges(lock, folder, deadline);
        while (takeAgain) {
            if (!StampOf(folder, now)) {
                folders.erase(folder);
                return nullptr;
            }
            it = folders.find(folder);
            takeAgain = it != folders.end() && !SameStamp(it->second.stamp, now) &&
                        AwaitOwnChanges(lock, folder, deadline);
        }
    }
    if (it != folders.end() && SameStamp(it->second.stamp, now)) {
        return &it->second;
    }
    if (it != folders.end()) {
        folders.erase(it);
    }
    // The stamp is taken before the read: a change during the read moves the
    // times past it, so the next look-up reads again.
    FolderEntry entry;
    entry.stamp = now;
    entry.trusted = NamesArePinned(folder);
    if (!ReadFolder(folder, entry, error)) {
        return nullptr;
    }
    if (folders.size() >= kMaxFolders) {
        folders.clear();
    }
    return &folders.emplace(folder, std::move(entry)).first->second;
}

// Brings the stamp up to date after a change of our own, or drops the
// folder when it is no longer the one read.
void Restamp(const std::string& folder, FolderEntry& entry) {
    FolderStamp now;
    if (!StampOf(folder, now) || now.device != entry.stamp.device ||
        now.inode != entry.stamp.inode) {
        folders.erase(folder);
        return;
    }
    entry.stamp = now;
}

// Applies a change of our own to the name at `path` to its folder's cached
// names, when they are cached: `change` gets them and the name, and returns
// false when they can no longer be trusted (the folder is then read again
// on its next look-up).
template <typename Change>
void NoteChange(const std::string& path, Change change) {
    if (scopes.load() == 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(guard);
    const std::string folder = FolderKey(path);
    auto it = folders.find(folder);
    if (it == folders.end()) {
        return;
    }
    if (!change(it->second, NameInFolder(path))) {
        folders.erase(it);
        return;
    }
    if (!it->second.trusted) {
        Restamp(folder, it->second);
    }
}

}  // namespace

int ForEachFolderName(const std::string& folder, const std::function<void(const char*)>& visit) {
    CountFolderRead();
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return errno;
    }
    int err = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (entry == nullptr) {
            err = errno;
            break;
        }
        CountNameRead();
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            visit(entry->d_name);
        }
    }
    closedir(dir);
    return err;
}

int ForEachKnownName(const std::string& folder, const std::function<void(const char*)>& visit) {
    std::vector<std::string> names;
    bool known = false;
    if (scopes.load() != 0) {
        std::lock_guard<std::mutex> lock(guard);
        FolderStamp now;
        const auto it = folders.find(folder);
        // Only a list that holds every name once can stand for the folder.
        known =
            it != folders.end() &&
            (it->second.trusted || (StampOf(folder, now) && SameStamp(it->second.stamp, now))) &&
            std::all_of(it->second.byFold.begin(), it->second.byFold.end(),
                        [](const auto& variants) { return variants.second.count == 1; });
        if (known) {
            for (const auto& variants : it->second.byFold) {
                names.push_back(variants.second.first);
            }
        }
    }
    if (!known) {
        return ForEachFolderName(folder, visit);
    }
    for (const std::string& name : names) {
        visit(name.c_str());
    }
    return 0;
}

std::string ScanForCaseVariant(const std::string& folder, const std::string& name, DWORD& error) {
    std::string best;
    const int err = ForEachFolderName(folder, [&](const char* candidate) {
        if (SameFileName(candidate, name) && (best.empty() || candidate < best)) {
            best = candidate;
        }
    });
    if (err != 0) {
        if (err != ENOENT && err != ENOTDIR) {
            error = ErrorFromErrno(err);
        }
        return "";
    }
    return best;
}

std::string FindCaseVariant(const std::string& folder, const std::string& name, DWORD& error,
                            const struct stat* folderInfo) {
    if (FaultFires(FaultPoint::FolderScan)) {
        error = GetLastError();
        return "";
    }
    if (scopes.load() == 0) {
        return ScanForCaseVariant(folder, name, error);
    }
    std::unique_lock<std::mutex> lock(guard);
    FolderEntry* entry = CurrentNames(lock, folder, error, folderInfo);
    if (entry == nullptr) {
        return "";
    }
    auto it = entry->byFold.find(FoldFileName(name));
    if (it == entry->byFold.end()) {
        return "";
    }
    struct stat info;
    if (lstat(Join(folder, it->second.first).c_str(), &info) == 0) {
        return it->second.first;
    }
    // Gone behind our back: forget the folder and read it as it is now.
    folders.erase(folder);
    return ScanForCaseVariant(folder, name, error);
}

bool TrustedCaseVariant(const std::string& folder, const std::string& name, std::string& variant) {
    if (scopes.load() == 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(guard);
    const auto it = folders.find(folder);
    if (it == folders.end() || !it->second.trusted) {
        return false;
    }
    const auto variants = it->second.byFold.find(FoldFileName(name));
    variant = variants != it->second.byFold.end() ? variants->second.first : std::string();
    return true;
}

bool FolderNamesKept() {
    return scopes.load() != 0;
}

void NoteNameCreated(const std::string& path) {
    NoteChange(path, [](FolderEntry& entry, const std::string& name) {
        AddName(entry, name);
        return true;
    });
}

void NoteFolderGone(const std::string& path) {
    if (scopes.load() == 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(guard);
    const std::string below = path + '/';
    std::erase_if(folders, [&](const auto& entry) {
        return entry.first == path || entry.first.compare(0, below.size(), below) == 0;
    });
}

void NoteFolderMade(const std::string& path) {
    if (scopes.load() == 0) {
        return;
    }
    // A folder made just now holds no names; its stamp is taken after it
    // was made, so whatever comes into it later moves the stamp on.
    FolderEntry entry;
    entry.trusted = NamesArePinned(path);
    if (!entry.trusted && !StampOf(path, entry.stamp)) {
        return;
    }
    std::lock_guard<std::mutex> lock(guard);
    if (folders.size() >= kMaxFolders) {
        folders.clear();
    }
    folders.insert_or_assign(path, std::move(entry));
}

void NoteNameRemoved(const std::string& path) {
    NoteChange(path, [](FolderEntry& entry, const std::string& name) {
        const auto variants = entry.byFold.find(FoldFileName(name));
        // When the first of several variants goes, the next is not known
        // here, and a name the cache never saw means it is out of step.
        if (variants == entry.byFold.end() ||
            (variants->second.first == name) != (variants->second.count == 1)) {
            return false;
        }
        if (--variants->second.count == 0) {
            entry.byFold.erase(variants);
        }
        return true;
    });
}

void NoteNamePresent(const std::string& path) {
    NoteChange(path, [](FolderEntry& entry, const std::string& name) {
        const auto variants = entry.byFold.find(FoldFileName(name));
        if (variants == entry.byFold.end()) {
            AddName(entry, name);
            return true;
        }
        // Whether this spelling was there before is not known here unless
        // it is the folder's only spelling of the name.
        return variants->second.count == 1 && variants->second.first == name;
    });
}

OwnNameChange::OwnNameChange(const std::string& path) {
    if (scopes.load() == 0) {
        return;
    }
    folder_ = FolderKey(path);
    std::lock_guard<std::mutex> lock(guard);
    number_ = ++lastChangeDrawn;
    changing[folder_].push_back(number_);
    ++changesHeld;
    held_ = true;
}

OwnNameChange::~OwnNameChange() {
    if (!held_) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(guard);
        const auto it = changing.find(folder_);
        std::erase(it->second, number_);
        if (it->second.empty()) {
            changing.erase(it);
        }
        --changesHeld;
    }
    changesNoted.notify_all();
}

void ForgetFolderOf(const std::string& path) {
    if (scopes.load() == 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(guard);
    folders.erase(FolderKey(path));
}

FolderNameCacheScope::FolderNameCacheScope() {
    ++scopes;
}

FolderNameCacheScope::~FolderNameCacheScope() {
    if (--scopes == 0) {
        std::lock_guard<std::mutex> lock(guard);
        folders.clear();
    }
}

}  // namespace platform
