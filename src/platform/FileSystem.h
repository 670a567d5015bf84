// Inside the platform layer: a path resolved against the disk, and the small
// POSIX helpers every file service shares.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Errors.h"
#include "platform/Faults.h"
#include "platform/Paths.h"

namespace platform {

// A path after case-insensitive resolution.
struct ResolvedPath {
    std::string path;                     // the spelling on disk, '/' separators
    std::vector<std::string> components;  // resolved names, in order
    std::size_t existing = 0;             // how many leading components exist on disk
    bool exists = false;                  // the whole path names something on disk
    bool parentIsFolder = false;          // the folder that holds the last component exists
    std::size_t lastLink = 0;             // index of the last symbolic link; size() when none
    // 206 for a component or path too long, or the code of a folder that
    // could not be read while looking for a case variant.
    DWORD error = ERROR_SUCCESS;
    // The lstat() of the last component, when the walk itself found it.
    bool leafKnown = false;
    struct stat leaf {};
    // The whole path is a pinned folder (PinnedFolder): a folder, or a
    // symbolic link to one when `pinnedLink`.
    bool pinned = false;
    bool pinnedLink = false;
};

ResolvedPath Resolve(std::string_view path);

// The pinned folder (PinnedFolder) that covers most of the components
// `parts` of a path as given: its resolution in `prefix`, and how many of
// `parts` it covers; 0 when no pin covers them.
std::size_t FindPinnedPrefix(bool absolute, const std::vector<std::string>& parts,
                             ResolvedPath& prefix);
// A folder was made (`made`, resolved; `given`, its components as given):
// it is pinned when the folder that holds it is.
void NotePinnedFolderMade(bool absolute, const std::vector<std::string>& given,
                          const ResolvedPath& made);
// A folder was removed or moved away (resolved path): it is no longer
// pinned, nor is anything below it.
void NotePinnedFolderGone(const std::string& path);
// How many folders are pinned now, those made below pins included.
std::size_t PinnedFolderCount();
// `folder` (resolved) is pinned with its names (PinScope::Names).
bool NamesArePinned(const std::string& folder);
// Counted look-ups (CountedPathLookups).
void CountComponentLookup();
void CountFolderRead();
void CountNameRead();
void CountFolderStamp();

// stat() (links followed) and lstat() of what a path resolved just now
// names: from the walk when it found the last component, else from the
// disk. False when nothing is there.
bool StatTarget(const ResolvedPath& target, struct stat& info);
bool LstatTarget(const ResolvedPath& target, struct stat& info);

// The first `count` components of `target`, all on disk (made or found).
ResolvedPath ResolvedPrefix(const ResolvedPath& target, std::size_t count, bool absolute);

// The code for a path that is missing: 2 when its folder exists, else 3
// (the path's own error first).
DWORD MissingCode(const ResolvedPath& target);
// The code for an errno met on `target` (ENOENT told apart by its folder).
DWORD CodeForErrno(int err, const ResolvedPath& target);
// 0 when every component still to be made is a name a FAT card can hold,
// else 123 or 206 (the path's own error first).
DWORD CheckCreatable(const ResolvedPath& target);

// Calls `visit` with every name in `folder` ("" is the working folder) but
// "." and "..". Returns 0, or the errno of the open or of a read that failed
// part-way (then some names were visited).
int ForEachFolderName(const std::string& folder, const std::function<void(const char*)>& visit);

// The same, from the names kept while a FolderNameCacheScope is held when
// they are known for the folder as it is now (its stamp checked), else from
// a read of the folder. `folder` as resolved, without a trailing delimiter.
// Kept names may miss one made in the same clock tick through another way
// than this layer's path services: only for a search where a name missed
// costs nothing (leftovers that a later call removes).
int ForEachKnownName(const std::string& folder, const std::function<void(const char*)>& visit);

// True when every byte is below 0x80: such a name folds byte for byte.
bool IsPlainAscii(std::string_view text);

// The name among those in `folder` that equals `name` under case folding;
// the first in byte order when several do. Empty when none does, and when
// the folder cannot be read: then `error` is the code of the failure (a
// folder that is missing, or is no folder, is no failure). While a
// FolderNameCacheScope is held the folder's names come from the cache;
// `folderInfo`, when given, is a stat() of the folder taken just before.
std::string FindCaseVariant(const std::string& folder, const std::string& name, DWORD& error,
                            const struct stat* folderInfo = nullptr);
// The same, always from one read of the folder.
std::string ScanForCaseVariant(const std::string& folder, const std::string& name, DWORD& error);
// Keep the cached names in step with our own changes (resolved paths): a
// name made, a name removed, or a folder whose names changed otherwise.
void NoteNameCreated(const std::string& path);
void NoteNameRemoved(const std::string& path);
// A folder made just now, empty: its names are known without a read.
void NoteFolderMade(const std::string& path);
// A folder removed or moved away: its names, and those of every folder
// below it, are forgotten.
void NoteFolderGone(const std::string& path);
void ForgetFolderOf(const std::string& path);
// The name at `to` now stands for a file whether or not one stood there
// before (a rename that may have replaced it).
void NoteNamePresent(const std::string& path);
// The case variant of `name` among the names of `folder` (resolved) when
// they are kept and trusted (PinScope::Names): true, with `variant` the
// first in byte order (empty when there is none, and then the name need
// not be looked for on disk); false when the folder itself must be asked.
bool TrustedCaseVariant(const std::string& folder, const std::string& name, std::string& variant);
// A FolderNameCacheScope is held: names are kept, and changes worth noting.
bool FolderNamesKept();

// Held around a change of our own to the names of the folder holding `path`
// (resolved), from just before the call that makes it until the change is
// noted. Meanwhile a look-up in that folder by another thread, which would
// see the folder changed, waits for the note instead of reading the whole
// folder again. A thread that holds one never waits. Held over one short
// call only (not over a copy of a file's bytes): a look-up may wait for it.
class OwnNameChange {
  public:
    explicit OwnNameChange(const std::string& path);
    ~OwnNameChange();
    OwnNameChange(const OwnNameChange&) = delete;
    OwnNameChange& operator=(const OwnNameChange&) = delete;

  private:
    std::string folder_;
    std::uint64_t number_ = 0;
    bool held_ = false;
};

// The attribute word of what `target` names, from its stat().
DWORD AttributesOf(const ResolvedPath& target, const struct stat& info);
// The permission bits `mode` takes for an attribute word: read-only clears
// every write bit, else the owner's is set.
mode_t ModeWithAttributes(mode_t mode, DWORD attributes);
// The last-write time of a stat() as MS-DOS date-time.
std::int64_t DosAgeOf(const struct stat& info);

// stat() that follows links; false when the name does not exist.
bool StatPath(const std::string& path, struct stat& info);
// Read-only is the owner's missing write bit, for root as for anyone.
inline bool IsReadOnlyMode(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

// Copies `count` bytes (or to the end of the source when count < 0) between
// two descriptors at explicit offsets, with copy_file_range and a read/write
// fallback. Returns the bytes copied; on failure returns -1 with errno set.
std::int64_t CopyBytes(int from, std::int64_t& fromOffset, int to, std::int64_t& toOffset,
                       std::int64_t count);

// Copies a file's data, permission bits and last-write time onto a new or
// truncated file (resolved paths). Returns 0 or a Windows code; a failed copy
// leaves no target. `fault` is the fault point checked where the data moves
// (FaultPoint::Count for none).
DWORD CopyFileData(const std::string& source, const std::string& target, bool failIfExists,
                   FaultPoint fault);

}  // namespace platform
