// Paths as the program sees them: both separators, a case-insensitive file
// system, the program folder, and the names a FAT card can hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Errors.h"

namespace platform {

// The delimiter of paths that a user reads (log lines, messages).
inline constexpr char PathDelim = '/';

// The program folder, with a trailing delimiter: where the settings file,
// temp/ and projects/ live. It is ProgramFolderFor the running executable's
// folder (from /proc/self/exe). SetProgramFolder overrides it (headless front
// ends, tests); an empty string goes back to the rule.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);
// The file that makes a copy portable: an executable whose folder holds it
// keeps its data beside itself. The build writes one beside every program it
// makes; an installation has none.
inline constexpr const char* kPortableMarker = "quellor.portable";
bool IsPortableCopy(const std::string& executableFolder);
// The executable's folder for a portable copy that may write there; else
// (an installed copy, root's included, or a portable copy on a read-only
// medium) the user's UserDataProgramFolder, made when missing.
std::string ProgramFolderFor(const std::string& executableFolder);
// The running executable's folder, with a trailing delimiter.
std::string ExecutableFolder();
// The help page: help.html in the program folder (a portable copy), else the
// one an install put in share/quellor/ beside bin/.
std::string HelpPagePath();
// $XDG_DATA_HOME/quellor/, or ~/.local/share/quellor/ when XDG_DATA_HOME is
// unset or relative; "" when HOME is unset too.
std::string UserDataProgramFolder();

// True for '/' and '\\'.
inline bool IsPathDelimiter(char c) {
    return c == '/' || c == '\\';
}

// Path helpers of the runtime, over both separators:
// ExtractFilePath("a\\b/c.jar") == "a\\b/", ExtractFileName(...) == "c.jar".
// ExtractFileName also stops at a ':' (drive).
std::string ExtractFilePath(std::string_view path);
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);  // with the dot, "" when none
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
// Every '\\' turned into '/' (and runs of separators kept as they are).
std::string NormalizeSeparators(std::string_view path);
// The non-empty components between delimiters of either kind:
// SplitComponents("/a\\b//c/") == {"a", "b", "c"}.
std::vector<std::string> SplitComponents(std::string_view path);

// Resolves a path one component at a time against the disk: an exact match
// wins, else the first name in byte order equal under simple case folding.
// Trailing spaces and dots count: they are dropped only from a component
// that does not exist as given, which is then looked up without them.
// Components that do not exist keep the spelling given, without trailing
// spaces and dots. Never fails; the result uses '/'.
std::string ResolvePath(std::string_view path);

// While one of these is alive, a case-insensitive look-up of a name that
// does not exist as spelled reads each folder once and keeps its names,
// kept in step by our own creates and deletes and checked against the
// folder's times, so that filling a folder with many files stays linear.
// The names are forgotten when the last scope ends.
class FolderNameCacheScope {
  public:
    FolderNameCacheScope();
    ~FolderNameCacheScope();
    FolderNameCacheScope(const FolderNameCacheScope&) = delete;
    FolderNameCacheScope& operator=(const FolderNameCacheScope&) = delete;
};

// A folder of the program's own that no other program changes while this
// object lives (the workspace's folders, under the workspace lock): it is
// resolved once, here, and a path that begins with it, spelled as it was
// given here, has only its remaining components looked up on disk. Folders
// made through this layer below it are taken as resolved too, until they
// are removed or moved through this layer. Nothing is pinned when `folder`
// is no existing folder. A folder the user named may be pinned for a short
// spell, while one file in it is read: the path it was found at stays the
// file's for that spell, and a folder renamed meanwhile only makes the
// calls below it fail, as the system refuses them.
//
// A pin vouches for the folder's resolution; one with PinScope::Names
// vouches for its names too (a folder of the program's own, which only this
// process changes, all through this layer): the names cache then trusts
// what it read and noted there without asking the system whether the folder
// changed, in it and in the folders made below it.
enum class PinScope { Resolution, Names };

class PinnedFolder {
  public:
    explicit PinnedFolder(const std::string& folder, PinScope scope = PinScope::Resolution);
    ~PinnedFolder();
    PinnedFolder(const PinnedFolder&) = delete;
    PinnedFolder& operator=(const PinnedFolder&) = delete;

  private:
    std::uint64_t owner_ = 0;
};

// How many look-ups of one path component on disk, how many reads of a
// whole folder, and how many names those reads went through, this process
// has made: for tests that hold the cost of a path look-up to what it must
// be.
struct PathLookupCounts {
    std::uint64_t components = 0;
    std::uint64_t folderReads = 0;
    std::uint64_t namesRead = 0;
    // stat() calls that checked whether a folder with cached names changed
    std::uint64_t folderStamps = 0;
};
PathLookupCounts CountedPathLookups();

// Checks a path that is about to be created: returns 0, ERROR_INVALID_NAME
// (a character a FAT card cannot hold in a component) or
// ERROR_FILENAME_EXCED_RANGE (component over 255 bytes, path over 4095).
// Trailing spaces and dots of components are dropped into `cleaned`.
DWORD CheckNewPath(std::string_view path, std::string* cleaned = nullptr);

// The longest component and the longest path the layer accepts (206 beyond).
inline constexpr std::size_t kMaxComponentLength = 255;
inline constexpr std::size_t kMaxPathLength = 4095;

// One component as Win32 takes it: trailing spaces and dots dropped ("." and
// ".." stay, and so does a name made only of them).
std::string StripTrailingSpacesAndDots(std::string_view component);
// 0, ERROR_INVALID_NAME or ERROR_FILENAME_EXCED_RANGE for one component.
DWORD CheckNameComponent(std::string_view component);
// True when two file names are the same name under Unicode simple case
// folding (plain ASCII folding when either is not valid UTF-8).
bool SameFileName(std::string_view a, std::string_view b);
// A file name in the one form that all its case variants share: two names
// are SameFileName exactly when their folded forms are equal.
std::string FoldFileName(std::string_view name);

}  // namespace platform
