// A file's path resolved against the disk once, for a caller that asks
// several things about the file before it writes it (extraction): one walk
// of the path instead of one per question.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Files.h"

namespace platform {

struct ResolvedPath;

// A folder resolved once for the many targets below it in one call. While
// it existed as a folder when resolved, targets below it walk on from its
// resolved spelling without looking at its own components again (those
// are the caller's choice: a link among them is followed, as it always
// was); a caller that had to make folders, or suspects the folder moved,
// resolves it anew.
class TargetFolder {
  public:
    // `folder` ends with a delimiter.
    explicit TargetFolder(const std::string& folder);
    ~TargetFolder();
    TargetFolder(const TargetFolder&) = delete;
    TargetFolder& operator=(const TargetFolder&) = delete;

    const std::string& Given() const { return given_; }

  private:
    friend class TargetPath;

    std::string given_;
    std::unique_ptr<ResolvedPath> resolved_;  // null unless it was a folder
};

class TargetPath {
  public:
    // `name` below `folder`; `folder` ends with a delimiter. Both may use
    // either separator.
    TargetPath(const std::string& folder, const std::string& name);
    // The same below a folder resolved before.
    TargetPath(const TargetFolder& folder, const std::string& name);
    ~TargetPath();
    TargetPath(const TargetPath&) = delete;
    TargetPath& operator=(const TargetPath&) = delete;

    // folder + name with '/' separators, as given: the name for messages.
    const std::string& Given() const { return given_; }
    // A component of the name (a folder on the way, or the last one) is a
    // symbolic link; the folder's own components are not looked at.
    bool LinkBelowFolder() const;
    // The path ends in a name whose folder exists as a folder: a file can be
    // made there without making folders first.
    bool FoldersReady() const;
    // Something other than a folder is there (as FileExists answers).
    bool IsFile() const { return isFile_; }
    // The attribute word as GetFileAttributes gives it;
    // INVALID_FILE_ATTRIBUTES when nothing is there.
    DWORD Attributes() const { return attributes_; }
    // The last-write time as MS-DOS date-time (FileAge); -1 for no file.
    std::int64_t Age() const { return age_; }

  private:
    friend class TFileStream;

    void LookAtTarget();

    std::string given_;
    std::unique_ptr<ResolvedPath> resolved_;
    std::size_t folderComponents_ = 0;
    bool isFile_ = false;
    DWORD attributes_ = INVALID_FILE_ATTRIBUTES;
    std::int64_t age_ = -1;
};

}  // namespace platform
