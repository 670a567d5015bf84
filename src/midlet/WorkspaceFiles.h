// File helpers of the workspace: whole files as bytes, folders removed with
// everything below them, trees moved without overwriting anything, trees
// flushed to the disk, and a text file replaced in one step. Every helper
// raises when a call it makes fails.
#pragma once

#include <string>
#include <vector>

namespace midlet {

// The file's bytes; the stream's exception when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Creates the file anew (its folder too) with these bytes: a file of the
// workspace's, which no other run meets while its lock is held.
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Deletes a file, read-only or not; a missing file is no error.
void DiscardFile(const std::string& path);

// Removes a folder with every file and folder below it; a missing folder is
// no error. Symbolic links are removed, never followed.
void RemoveTree(const std::string& folder);

// Replaces the text file at `path` by one of these lines in one step: the
// new file is written in a staging place of `tempFolder` (on the same file
// system), flushed and moved over the old one, and the folder flushed. A
// reader finds the old file or the new one, never a part. What is left of
// the new file after a failure is removed.
void ReplaceTextFile(const std::string& path, const std::vector<std::string>& lines,
                     const std::string& tempFolder);

}  // namespace midlet
