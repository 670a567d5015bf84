// The lock a run holds on its workspace: two runs on one program folder
// (the window and quellor-batch, or two batches) would mix their suites in
// the shared temp folder.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {
class FolderNameCacheScope;
class PinnedFolder;
class TFileStream;
}  // namespace platform

namespace midlet {

// The lock file in the temp folder. It stays there between runs: removing
// it would let a run that opened it just before lock a file no other run
// can see any more.
inline constexpr const char* kWorkspaceLockName = ".workspace-lock";

// Holds the workspace from construction to destruction, in this and every
// other process. While it is held, the workspace's folders (the program
// folder, the temp folder and the projects folder) are this run's alone:
// they are resolved once and pinned, and the names of the folders the run
// looks into are kept, so that a JAR's look-ups cost the same however many
// projects there are.
class WorkspaceLock {
  public:
    // Raises, with a message naming the program folder, when another run
    // holds the workspace; the stream's exception when the lock file cannot
    // be made.
    WorkspaceLock(const std::string& programFolder, const std::string& tempFolder);
    ~WorkspaceLock();
    WorkspaceLock(const WorkspaceLock&) = delete;
    WorkspaceLock& operator=(const WorkspaceLock&) = delete;

  private:
    std::unique_ptr<platform::TFileStream> file_;
    std::unique_ptr<platform::FolderNameCacheScope> names_;
    std::vector<std::unique_ptr<platform::PinnedFolder>> pins_;
};

}  // namespace midlet
