// What makes a change survive a power loss, and replace a file in one step:
// flushing a file or a folder to the disk, moving a file over another, and
// exchanging two names.
#pragma once

#include <string>
#include <utility>

#include "platform/Errors.h"

namespace platform {

// MoveFileEx flags.
inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;

// FlushFileBuffers of a file given by name: its data and size reach the
// disk. False on failure (last error set).
bool FlushFile(const std::string& path);

// The folder's names reach the disk: what was made, moved or removed in it
// stays so after a power loss. False on failure (last error set).
bool FlushFolder(const std::string& folder);

// Everything written to the file system that holds `folder` reaches the
// disk: files, their sizes and the names of every folder. One call makes
// many new files durable at once, where flushing them one by one would
// wait for the disk once per file. False on failure (last error set).
bool FlushFileSystemOf(const std::string& folder);

// A folder flushed again and again (the folder a run moves its results
// into): opened at the first flush as FlushFolder opens it, and held until
// the object goes, so that each flush is one call. Only for a folder of the
// program's own that stays where it is while the object lives.
class HeldFolder {
  public:
    explicit HeldFolder(std::string path) : path_(std::move(path)) {}
    ~HeldFolder();
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    // FlushFolder and FlushFileSystemOf of the folder.
    bool Flush();
    bool FlushFileSystem();

  private:
    bool FlushHeld(bool wholeFileSystem);

    std::string path_;
    int fd_ = -1;
};

// MoveFile, and with MOVEFILE_REPLACE_EXISTING a file in the target's place
// is replaced in one step: a reader finds the old file or the new one,
// never neither. Only a regular file that is not read-only is replaced (5
// otherwise); both must lie on one file system.
bool MoveFileEx(const std::string& source, const std::string& target, DWORD flags);

// Exchanges what two names on one file system stand for, files or folders,
// in one step: a reader finds the one or the other at each name, never
// neither. Both must exist. False on failure (last error set; 50 when the
// file system cannot exchange names).
bool ExchangePaths(const std::string& first, const std::string& second);

}  // namespace platform
