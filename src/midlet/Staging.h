// The staging places of the workspace: folders and files under the temp
// folder, with names no other run and no earlier run uses, where a project
// is built before it is moved into the projects folder whole. A run that
// is killed leaves only staging places, which the next run removes.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace midlet {

// Every staging place's name starts so; nothing else in the temp folder
// does.
inline constexpr const char* kStagingPrefix = ".stage-";

// A path in the temp folder that names nothing yet: the prefix and 16
// random hexadecimal digits. Not created.
std::string NewStagingPath(const std::string& tempFolder);

// A folder of its own in the temp folder: made when constructed, removed
// with all it holds when destroyed unless it was moved away.
class StagingFolder {
  public:
    // Raises EInOutError when the folder cannot be made.
    explicit StagingFolder(const std::string& tempFolder);
    // Removes what is left; never raises (a run that holds the workspace
    // later removes what stayed).
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // With its trailing delimiter.
    const std::string& Path() const { return path_; }
    // Removes the folder with all it holds now; raises when it cannot.
    void Remove();
    // The folder was moved elsewhere: nothing is left to remove.
    void MovedAway() { path_.clear(); }

  private:
    std::string path_;
};

// A file of its own in the temp folder, not made yet: whoever holds it
// writes it at Path(). Removed when destroyed unless it was moved away.
class StagingFile {
  public:
    explicit StagingFile(const std::string& tempFolder) : path_(NewStagingPath(tempFolder)) {}
    // Removes what is there; never raises (a later run removes what stayed).
    ~StagingFile();
    StagingFile(const StagingFile&) = delete;
    StagingFile& operator=(const StagingFile&) = delete;

    const std::string& Path() const { return path_; }
    void MovedAway() { path_.clear(); }

  private:
    std::string path_;
};

// A worker's folder for the JARs it prepares one after another. Making and
// removing a folder for every JAR costs the file system more than the JAR's
// own bytes (a freed inode is passed over, for a while, by every inode
// made after it), so the folder is made for the first JAR and kept for the
// next one as long as each leaves it as it found it.
class WorkFolder {
  public:
    explicit WorkFolder(std::string tempFolder) : tempFolder_(std::move(tempFolder)) {}

    // The folder, with its trailing delimiter; made when there is none.
    // Raises EInOutError when it cannot be made.
    const std::string& Path();
    // A JAR left files in the folder: the folder goes with them, and the
    // next JAR gets a new one. Never raises: a folder that cannot be removed
    // is left to the next run, which removes every staging place.
    void Discard();

  private:
    std::string tempFolder_;
    std::optional<StagingFolder> folder_;
};

// Removes every staging place in the temp folder. Only a run that holds the
// workspace lock calls it, so every one found was left by a run that has
// ended. Raises when one cannot be removed.
void RemoveStaleStaging(const std::string& tempFolder);

}  // namespace midlet
