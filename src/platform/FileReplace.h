// Replacing a file in one step: its new content is written into a file of
// its own beside it, flushed, and renamed over it, so that a reader (and a
// file system after a power cut) finds the old file or the new one, never a
// mix. The file being written has a hidden name that tells which file it
// replaces, and holds a lock for as long as its process lives: a later run
// tells the leftover of a killed run from a file still being written and
// removes only the former.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Errors.h"

namespace platform {

class TFileStream;

// The file a replacement goes over, as it lies on disk.
struct ReplacedFile {
    std::string path;  // symbolic links resolved: the file itself
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

// Why a file cannot be replaced by renaming another over it.
enum class ReplaceRefusal {
    None,
    Moved,       // the name no longer names the open file: another program replaced it
    HardLinked,  // the file has other names, which would keep the old content
};

// The file that `name` names and `file` has open. Refuses (without a last
// error) what a rename would get wrong; an error while looking (last error
// set) is given as Moved.
ReplaceRefusal FindReplacedFile(const std::string& name, const TFileStream& file,
                                ReplacedFile& found);

// The path on disk a new file named `name` gets, its folders found without
// regard to case. False (last error set) when the name is taken (80),
// cannot be made (123, 206) or its folder is missing (3).
bool PathForNewFile(const std::string& name, std::string& path);

// A new, empty file beside the file at `target` (a path on disk, which
// need not exist yet), for its replacement: a hidden name no other process
// can foresee, made exclusively with mode 0600, opened for reading and
// writing with `share` (the stream's share mode), and locked for the life
// of this process. Raises EFCreateError naming `target` when it cannot be
// made; `made` is then empty.
std::unique_ptr<TFileStream> CreateFileBeside(const std::string& target, std::uint32_t share,
                                              std::string& made);

// The permission bits, and the owner and group where the process may set
// them, of `like` on the open `file`; false (last error set) on failure.
bool TakeModeAndOwner(TFileStream& file, const ReplacedFile& like);
// The permission bits a file the process creates gets (0666 less the
// umask) on the open `file`; false (last error set) on failure.
bool TakeDefaultMode(TFileStream& file);

// Renames the file at `from` to `to` (paths on disk) in one step, replacing
// a file at `to` when `replace` is true and failing with 183 when one is
// there otherwise. False (last error set) on failure.
bool RenameOver(const std::string& from, const std::string& to, bool replace);
// Flushes the folder holding `path` to the device, so that a rename in it
// survives a power cut. False (last error set) on failure.
bool FlushFolderOf(const std::string& path);

// Removes, beside `target`, the files CreateFileBeside made for it whose
// process is gone. Returns how many were removed; one that cannot be
// removed is left for a later run.
int RemoveLeftoversBeside(const std::string& target);

// True when `name` names the very file open on `file` (the same device and
// inode), links followed.
bool NamesOpenFile(const std::string& name, const TFileStream& file);

}  // namespace platform
