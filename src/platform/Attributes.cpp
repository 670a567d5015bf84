// Attribute words, last-write times and MS-DOS date-time.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "platform/FileSystem.h"
#include "platform/Files.h"

namespace platform {

namespace {

constexpr int kDosFirstYear = 1980;
constexpr int kDosLastYear = 2107;

// `path` resolved and its status read; false, with the last error of a
// missing name, when nothing is there.
bool LookUp(const std::string& path, ResolvedPath& target, struct stat& info) {
    target = Resolve(path);
    if (!target.exists || !StatTarget(target, info)) {
        SetLastError(MissingCode(target));
        return false;
    }
    return true;
}

}  // namespace

DWORD GetFileAttributes(const std::string& path) {
    ResolvedPath target;
    struct stat info;
    if (!LookUp(path, target, info)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(target, info);
}

DWORD AttributesOf(const ResolvedPath& target, const struct stat& info) {
    DWORD attributes = 0;
    if (IsReadOnlyMode(info.st_mode)) {
        attributes |= faReadOnly;
    }
    if (!target.components.empty() && target.components.back().front() == '.' &&
        target.components.back() != "." && target.components.back() != "..") {
        attributes |= faHidden;
    }
    if (S_ISDIR(info.st_mode)) {
        attributes |= faDirectory;
    } else if (S_ISREG(info.st_mode)) {
        attributes |= faArchive;
    }
    return attributes;
}

bool SetFileAttributes(const std::string& path, DWORD attributes) {
    ResolvedPath target;
    struct stat info;
    if (!LookUp(path, target, info)) {
        return false;
    }
    // Only a change of the bits is written.
    const mode_t mode = ModeWithAttributes(info.st_mode, attributes);
    if (mode != (info.st_mode & 07777) && chmod(target.path.c_str(), mode) != 0) {
        SetLastError(CodeForErrno(errno, target));
        return false;
    }
    return true;
}

mode_t ModeWithAttributes(mode_t mode, DWORD attributes) {
    mode &= 07777;
    return (attributes & faReadOnly) != 0 ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
}

bool GetFileLastWriteTime(const std::string& path, FileTime& time) {
    ResolvedPath target;
    struct stat info;
    if (!LookUp(path, target, info)) {
        return false;
    }
    time.seconds = info.st_mtim.tv_sec;
    time.nanoseconds = static_cast<std::int32_t>(info.st_mtim.tv_nsec);
    return true;
}

bool GetFileAttributesEx(const std::string& path, FileAttributeData& data) {
    ResolvedPath target;
    struct stat info;
    if (!LookUp(path, target, info)) {
        return false;
    }
    data.attributes = AttributesOf(target, info);
    data.lastWriteTime = {info.st_mtim.tv_sec, static_cast<std::int32_t>(info.st_mtim.tv_nsec)};
    data.size = S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool SetFileLastWriteTime(const std::string& path, const FileTime& time) {
    ResolvedPath target = Resolve(path);
    if (!target.exists) {
        SetLastError(MissingCode(target));
        return false;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(time.seconds);
    times[1].tv_nsec = time.nanoseconds;
    if (utimensat(AT_FDCWD, target.path.c_str(), times, 0) != 0) {
        SetLastError(CodeForErrno(errno, target));
        return false;
    }
    return true;
}

// Times before 1980 give the first MS-DOS moment, times after 2107 the last:
// an archive entry always gets a date it can hold.
DWORD FileTimeToDosDateTime(const FileTime& time) {
    time_t seconds = static_cast<time_t>(time.seconds);
    struct tm local {};
    if (localtime_r(&seconds, &local) == nullptr) {
        return (1u << 5 | 1u) << 16;
    }
    int year = local.tm_year + 1900;
    if (year < kDosFirstYear) {
        return (1u << 5 | 1u) << 16;
    }
    if (year > kDosLastYear) {
        return static_cast<DWORD>((kDosLastYear - kDosFirstYear) << 9 | 12 << 5 | 31) << 16 |
               (23u << 11 | 59u << 5 | 29u);
    }
    DWORD date =
        static_cast<DWORD>((year - kDosFirstYear) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    DWORD clock = static_cast<DWORD>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    return date << 16 | clock;
}

// A zero month or day counts as the first; other out-of-range fields carry
// over as the C library's normalisation does.
FileTime DosDateTimeToFileTime(DWORD dosDateTime) {
    DWORD date = dosDateTime >> 16;
    DWORD clock = dosDateTime & 0xFFFF;
    struct tm local {};
    local.tm_year = static_cast<int>(date >> 9) + kDosFirstYear - 1900;
    local.tm_mon = static_cast<int>(date >> 5 & 0x0F);
    local.tm_mon = local.tm_mon == 0 ? 0 : local.tm_mon - 1;
    local.tm_mday = static_cast<int>(date & 0x1F);
    local.tm_mday = local.tm_mday == 0 ? 1 : local.tm_mday;
    local.tm_hour = static_cast<int>(clock >> 11);
    local.tm_min = static_cast<int>(clock >> 5 & 0x3F);
    local.tm_sec = static_cast<int>(clock & 0x1F) * 2;
    local.tm_isdst = -1;
    FileTime result;
    result.seconds = mktime(&local);
    return result;
}

std::int64_t FileAge(const std::string& path) {
    ResolvedPath target = Resolve(path);
    struct stat info;
    if (!target.exists || !StatTarget(target, info) || S_ISDIR(info.st_mode)) {
        SetLastError(MissingCode(target));
        return -1;
    }
    return DosAgeOf(info);
}

std::int64_t DosAgeOf(const struct stat& info) {
    FileTime time{info.st_mtim.tv_sec, static_cast<std::int32_t>(info.st_mtim.tv_nsec)};
    return FileTimeToDosDateTime(time);
}

// The runtime opens the file for writing to set its date, so a read-only
// file refuses it (5).
bool FileSetDate(const std::string& path, DWORD dosDateTime) {
    ResolvedPath target;
    struct stat info;
    if (!LookUp(path, target, info)) {
        return false;
    }
    if (S_ISDIR(info.st_mode) || IsReadOnlyMode(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return SetFileLastWriteTime(target.path, DosDateTimeToFileTime(dosDateTime));
}

}  // namespace platform
