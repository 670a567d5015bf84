// File helpers of the workspace: whole files as bytes, folders removed with
// everything below them, and trees moved without overwriting anything.
#pragma once

#include <string>

namespace midlet {

// The file's bytes; the stream's exception when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Creates the file anew (its folder too) with these bytes.
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Deletes a file, read-only or not; a missing file is no error.
void DiscardFile(const std::string& path);

// Removes a folder with every file and folder below it; a missing folder is
// no error. Symbolic links are removed, never followed.
void RemoveTree(const std::string& folder);

// Moves every file below `from` to the same place below `to`, making the
// folders on the way; a file or folder that already exists there is left
// as it is, and what could not be moved stays below `from`.
void MoveTreeWithoutOverwriting(const std::string& from, const std::string& to);

}  // namespace midlet
