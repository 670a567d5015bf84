// The Windows file services over POSIX. Services that report only a result
// return false and leave the code in GetLastError(); services that raise
// throw EInOutError. Every path goes through ResolvePath first.
#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Errors.h"

namespace platform {

// Attribute word (Windows values). Only these bits are ever reported.
inline constexpr DWORD faReadOnly = 0x01;
inline constexpr DWORD faHidden = 0x02;
inline constexpr DWORD faSysFile = 0x04;
inline constexpr DWORD faVolumeID = 0x08;
inline constexpr DWORD faDirectory = 0x10;
inline constexpr DWORD faArchive = 0x20;
inline constexpr DWORD faNormal = 0x80;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// --- services that report a result -----------------------------------------
bool CopyFile(const std::string& source, const std::string& target, bool failIfExists);
// MoveFile fails with 183 when the target exists, a case variant included;
// only a file renamed to a case variant of its own name is let through.
// Files move across file systems by copy and delete.
bool MoveFile(const std::string& source, const std::string& target);
bool DeleteFile(const std::string& path);
// Size through a directory search (attribute mask 63): false and size 0
// when nothing is found.
bool FindFileSize(const std::string& path, std::uint64_t& size);

// --- services that raise EInOutError ---------------------------------------
void CreateDirectory(const std::string& path);  // 183 exists, 3 parent missing, 123 invalid
void RemoveDirectory(const std::string& path);  // 2 missing, 145 not empty, 267 not a folder
// Creates every missing folder of the path; false when one cannot be made.
bool ForceDirectories(const std::string& path);

// --- queries ---------------------------------------------------------------
bool FileExists(const std::string& path);  // true only for a file
bool DirectoryExists(const std::string& path);
// True when the last component of the path is a symbolic link (the link
// itself is looked at, not what it points to).
bool IsSymbolicLink(const std::string& path);

// What a path names, its last component not followed, from one look-up:
// nothing, a folder, a symbolic link, or a file (anything else that is
// there). `readOnly`, when given, tells whether a file or folder is
// read-only.
enum class PathKind { Missing, File, Folder, Link };
PathKind KindOfPath(const std::string& path, bool* readOnly = nullptr);

// Attribute word of a file or folder, INVALID_FILE_ATTRIBUTES when missing
// (last error set).
DWORD GetFileAttributes(const std::string& path);
// Sets read-only (0x01 clears every write bit, else sets the owner's). Other
// bits are ignored. False on failure.
bool SetFileAttributes(const std::string& path, DWORD attributes);

// Last-write time as seconds since the epoch with nanoseconds.
struct FileTime {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
};
bool GetFileLastWriteTime(const std::string& path, FileTime& time);
// What GetFileAttributesEx reports of a file or folder from one look-up: its
// attribute word, last-write time and size (0 for a folder). False when it
// is missing, with the last error GetFileAttributes sets.
struct FileAttributeData {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    FileTime lastWriteTime;
    std::uint64_t size = 0;
};
bool GetFileAttributesEx(const std::string& path, FileAttributeData& data);
bool SetFileLastWriteTime(const std::string& path, const FileTime& time);

// MS-DOS date-time: date in the high 16 bits, time in the low 16, local
// time, 2-second steps, 1980 onward.
DWORD FileTimeToDosDateTime(const FileTime& time);
FileTime DosDateTimeToFileTime(DWORD dosDateTime);
// The file's last-write time as MS-DOS date-time (FileAge); -1 when missing.
std::int64_t FileAge(const std::string& path);
// Sets a file's last-write time from MS-DOS date-time (FileSetDate).
bool FileSetDate(const std::string& path, DWORD dosDateTime);

// Names in a folder (not "." and ".."), in byte order.
std::vector<std::string> ListFolder(const std::string& folder);

// --- temporary files ---------------------------------------------------------
// $TMPDIR when it names an existing folder, else "/tmp/"; absolute (a
// relative $TMPDIR is taken from the working folder), trailing delimiter.
std::string GetTempPath();
// Creates, exclusively, an empty file: folder + first three characters of
// prefix + four upper-case hex digits + ".tmp", a number whose name exists in
// no case, drawn so that no other process can guess it. The file is this
// user's alone (mode 0600); nothing that is at a name already, a link
// included, is opened. Returns "" and sets the last error on failure (123 for
// a prefix with a separator; 80 when every number is taken).
std::string GetTempFileName(const std::string& folder, const std::string& prefix);

// --- memory, drives, the archive lock ----------------------------------------
// MemAvailable of /proc/meminfo, in bytes.
std::uint64_t AvailablePhysicalMemory();

// The one process-wide re-entrant lock (a critical section).
std::recursive_mutex& ArchiveLock();

}  // namespace platform
