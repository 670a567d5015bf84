// Inside the platform layer: Windows file sharing between opens of one file,
// in this and other processes of the program. The marks of an open are
// open-file-description locks on two bytes of the program's own marks file,
// at a place given by the device and inode of the file opened: other
// programs' locks on the file neither see ours nor count as ours.
#pragma once

#include <string>

#include "platform/Errors.h"

namespace platform {

// Where the marks of every process of the program meet.
inline constexpr const char* kShareMarksFile = "/tmp/.quellor-share-marks";
// Tests give their processes a marks file of their own; "" goes back to the
// default.
void SetShareMarksFile(const std::string& path);

// Marks the file open on `fd` as written and/or as denying write access to
// others, then checks the marks of every other open of it. On success
// `marks` is the descriptor that holds the marks (-1 when the marks file
// cannot be had: then nothing is shared out). Returns
// 0, or ERROR_SHARING_VIOLATION when an open that denies writing meets one
// that writes, either way round, or when a mark is refused because a lock
// is in its place.
DWORD TakeShareLocks(int fd, bool writeAccess, bool denyWrite, int& marks);
// Drops the marks held by `marks` (from TakeShareLocks; -1 is nothing); the
// descriptor may be kept for a later open.
void DropShareLocks(int marks);

}  // namespace platform
