// Inside the platform layer: Windows file sharing between opens of one file,
// in this and other processes of the program run by the same user. The marks of an open are
// open-file-description locks on two bytes of the program's own marks file,
// at a place given by the device and inode of the file opened: other
// programs' locks on the file neither see ours nor count as ours.
#pragma once

#include <string>

#include "platform/Errors.h"

namespace platform {

// The marks live in a file of this user's own, in a folder only this user
// may enter (see PrivateFolder.h): another user can neither lock it nor put
// anything in its place.
inline constexpr const char* kShareMarksName = "quellor-share-marks";
// Tests give their processes a marks file of their own (in a private folder
// as well); "" goes back to the default place, looked for anew.
void SetShareMarksFile(const std::string& path);
// The marks file in force; "" with `problem` saying why when it cannot be
// had.
std::string ShareMarksFile(std::string& problem);

// Marks the file open on `fd` as written and/or as denying write access to
// others, then checks the marks of every other open of it. On success
// `marks` is the descriptor that holds the marks (-1 when the open asks for
// no sharing rule). Returns 0; ERROR_SHARING_VIOLATION when an open that
// denies writing meets one that writes, either way round, or when a mark is
// refused because a lock is in its place; ERROR_LOCK_FAILED, with `problem`
// saying why, when the marks cannot be had: nothing runs without them.
DWORD TakeShareLocks(int fd, bool writeAccess, bool denyWrite, int& marks, std::string& problem);
// Drops the marks held by `marks` (from TakeShareLocks; -1 is nothing); the
// descriptor may be kept for a later open.
void DropShareLocks(int marks);

}  // namespace platform
