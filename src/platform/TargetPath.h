// Files inside a destination folder (extraction): the folder is opened once,
// and every folder below it, and the file itself, is resolved from the
// descriptor of the folder that holds it, never through a symbolic link:
// a folder seen before in one call to openat2 that stays beneath the
// destination, any other one name at a time. Each target resolves its
// folder anew, so a folder swapped for a link while the caller works can
// only make an entry fail; nothing is written outside.
//
// Names stay case-insensitive: an exact name wins, else an existing case
// variant of it is used; a new name is checked against what a FAT memory
// card can hold, and loses its trailing spaces and dots.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Files.h"

namespace platform {

// Windows' code for a name the system cannot resolve; here: a symbolic link
// on the way, or in the place of the target, which is never followed.
inline constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;

class OpenFolderNames;
class TargetPath;

// The destination of one call (the user's choice: reached through links
// as any path is), opened on first use, made with its parents when the
// caller makes folders. The spelling on disk of the folders that targets
// were resolved in is kept while the object lives, so that the many files of
// one folder do not look for its case variants again; the object is meant
// to live for one call only.
class TargetFolder {
  public:
    // `folder` ends with a delimiter; either separator.
    explicit TargetFolder(const std::string& folder);
    ~TargetFolder();
    TargetFolder(const TargetFolder&) = delete;
    TargetFolder& operator=(const TargetFolder&) = delete;

    const std::string& Given() const { return given_; }

  private:
    friend class TargetPath;

    // A descriptor of the folder `parts` below the destination, made when
    // `make` (the destination's own when `parts` is empty; any other is the
    // caller's to close); -1 with the failure noted in `target`.
    int Open(const std::vector<std::string>& parts, bool make, TargetPath& target);
    int Root(bool make, DWORD& error);
    // A folder below the destination by its spelling on disk, in one call.
    int OpenBeneath(const std::string& onDisk);
    // One folder below the one open on `parent` (`parentOnDisk` below the
    // destination), made when missing and `make`; its name on disk in
    // `found`, or -1 with the code in `error`.
    int OpenBelow(int parent, const std::string& parentOnDisk, const std::string& part, bool make,
                  std::string& found, DWORD& error);
    // The case variant of `name` in the folder open on `folder` (`onDisk`
    // below the destination): from the names kept by path when they are
    // trusted there (the run's own folders), else from the folder itself.
    std::string Variant(int folder, const std::string& onDisk, const std::string& name,
                        DWORD& error);
    // `name` in the folder open on `folder`: the exact name, else a case
    // variant; "" when neither is there (or the folder cannot be read:
    // `error` set). `info` is its lstat().
    std::string FindName(int folder, const std::string& onDisk, const std::string& name,
                         DWORD& error, struct stat& info);
    // Tells the names kept by path (FolderNameCacheScope) of a name made or
    // removed here: `onDisk`, its spelling below the destination.
    void NoteMade(const std::string& onDisk);
    void NoteRemoved(const std::string& onDisk);
    // The destination's path as resolved, found at the first note.
    const std::string& ResolvedRoot();

    // At most this many spellings are kept; past it they start afresh.
    static constexpr std::size_t kMaxSpellings = 4096;

    std::string given_;
    int root_ = -1;
    std::optional<std::string> resolvedRoot_;
    bool beneathWorks_ = true;  // openat2 may be tried
    // The folder part of the names (as given) -> its spelling on disk.
    std::unordered_map<std::string, std::string> spelled_;
    std::unique_ptr<OpenFolderNames> names_;
};

class TargetPath {
  public:
    // `name` (either separator) below `folder`. Its folders are made when
    // `makeFolders`; with `isFolder` the whole name is such a folder and
    // nothing more is looked at. Error() tells whether it worked.
    TargetPath(TargetFolder& folder, const std::string& name, bool makeFolders, bool isFolder);
    ~TargetPath();
    TargetPath(const TargetPath&) = delete;
    TargetPath& operator=(const TargetPath&) = delete;

    // folder + name with '/' separators, as given: the name for messages.
    const std::string& Given() const { return given_; }
    // 0 when the path was resolved; else ERROR_CANT_RESOLVE_FILENAME for a
    // link on the way or at the end, ERROR_INVALID_NAME or
    // ERROR_FILENAME_EXCED_RANGE for a name that cannot be made, or the
    // code of a folder that could not be opened or made.
    DWORD Error() const { return error_; }
    // The error came from a folder on the way (the destination included).
    bool InFolder() const { return inFolder_; }

    // Something other than a folder is there.
    bool IsFile() const { return isFile_; }
    // The attribute word as GetFileAttributes gives it;
    // INVALID_FILE_ATTRIBUTES when nothing is there.
    DWORD Attributes() const { return attributes_; }
    // The last-write time as MS-DOS date-time (FileAge); -1 for no file.
    std::int64_t Age() const { return age_; }

    // Deletes the file that was there, by its name in its folder: the
    // read-only attribute does not keep it. False with the last error set.
    bool DeleteExisting();
    // Deletes the file that OpenNew made (an entry that failed).
    bool DeleteMade();

  private:
    friend class TFileStream;
    friend class TargetFolder;

    void LookAtTarget(const std::string& part);
    void Fail(DWORD error, bool inFolder = false);
    // Makes the file anew, exclusively, in its folder with `flags` added;
    // the descriptor, or -1 with the code in `error`. An existing name,
    // a link included, is never opened.
    int OpenNew(int flags, DWORD& error) const;

    std::string given_;
    TargetFolder& folder_;
    int folderFd_ = -1;         // its folder; owned unless it is the destination
    std::string folderOnDisk_;  // its folder's spelling below the destination
    std::string existing_;      // the name found on disk, when one was
    std::string newName_;       // the name a new file gets
    DWORD error_ = ERROR_SUCCESS;
    bool inFolder_ = false;
    bool isFile_ = false;
    DWORD attributes_ = INVALID_FILE_ATTRIBUTES;
    std::int64_t age_ = -1;
};

}  // namespace platform
