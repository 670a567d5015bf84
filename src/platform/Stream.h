// A file stream with the runtime's open modes and Windows sharing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Errors.h"
#include "platform/Files.h"

namespace platform {

// Open modes and share modes, as the runtime combines them (mode | share).
inline constexpr std::uint32_t fmCreate = 0xFF00;  // create or truncate, read and write
inline constexpr std::uint32_t fmOpenRead = 0x0000;
inline constexpr std::uint32_t fmOpenWrite = 0x0001;
inline constexpr std::uint32_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint32_t fmShareCompat = 0x0000;
inline constexpr std::uint32_t fmShareExclusive = 0x0010;
inline constexpr std::uint32_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint32_t fmShareDenyRead = 0x0030;
inline constexpr std::uint32_t fmShareDenyNone = 0x0040;
// Added to a mode: a symbolic link as the file itself is refused (error 5)
// instead of followed, so a write cannot be redirected elsewhere.
inline constexpr std::uint32_t fmNoFollow = 0x10000;
// Added to an open mode: a missing file is made, one that is there is opened
// as it is (never emptied, unlike fmCreate).
inline constexpr std::uint32_t fmOpenAlways = 0x20000;
// Added to a mode: no sharing marks are placed or checked. Only for a file
// of the program's own that no other open can meet while this one lives
// (the workspace's, under its lock); the share mode still says whether the
// stream may trust the size it knows.
inline constexpr std::uint32_t fmNoSharing = 0x40000;

enum class SeekOrigin { soBeginning, soCurrent, soEnd };

class TargetPath;
struct ResolvedPath;

// TFileStream: throws EFCreateError / EFOpenError when it cannot be opened.
// Read and Write return the bytes moved (Write returns less on a full disk
// or an injected fault, with GetLastError() set); ReadBuffer/WriteBuffer
// throw EReadError/EWriteError when fewer bytes move.
class TFileStream {
  public:
    TFileStream(const std::string& fileName, std::uint32_t mode);
    // Makes the target's file anew, exclusively, in the folder it was
    // resolved in: a name that is there by now, a link included, is
    // refused (80), never opened. `mode` must create.
    TFileStream(const TargetPath& target, std::uint32_t mode);
    // Closes the file now; false when the system reports a failure (a write
    // that did not reach the disk), with the last error set.
    bool Close();
    // Takes over `fd`, a file this process has just made as `fileName`,
    // and places the sharing marks of `mode`; raises as an open by name
    // (the descriptor closed) when they cannot be had.
    TFileStream(int fd, const std::string& fileName, std::uint32_t mode);
    ~TFileStream();
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count);
    std::size_t Write(const void* buffer, std::size_t count);
    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count);
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin);
    std::int64_t Position() const;
    void SetPosition(std::int64_t position);
    // The file's size. Asked of the system once, then kept (and moved by this
    // stream's own writes) when no other open may write the file, or when
    // this stream only reads: a reader takes the file as it was then, and
    // what another open appends later is not counted.
    std::int64_t Size() const;
    // Truncates or extends the file to `size` and moves the position there;
    // false on failure (last error set).
    bool SetSize(std::int64_t size);
    // FlushFileBuffers; false on failure.
    bool Flush();
    // Flushes the data and what reading them back needs (the size), not the
    // times; false on failure.
    bool FlushData();
    // The file's last-write time, and read-only or not as SetFileAttributes
    // sets it, through this open rather than by name; false on failure
    // (last error set).
    bool SetLastWriteTime(const FileTime& time);
    bool SetAttributes(DWORD attributes);
    // Copies `count` bytes from `source` at its position to this stream at
    // its position with the kernel's copy; returns the bytes copied.
    std::int64_t CopyFrom(TFileStream& source, std::int64_t count);

    const std::string& FileName() const { return fileName_; }
    // The descriptor. What is done through it may change the file's size
    // behind the stream, so the size is asked of the system again.
    int Handle() const {
        knownSize_ = -1;
        return fd_;
    }

  private:
    void Open(std::uint32_t mode, const ResolvedPath& target);
    // The sharing marks and the rest of an open once the file is open;
    // `created` when the file was not there as the open looked for it.
    void Finish(std::uint32_t mode, bool created);
    // This stream's own write reached `end`: the size it knows grows to it.
    void NoteWrittenUpTo(std::int64_t end);

    std::string fileName_;
    int fd_ = -1;
    int marks_ = -1;  // holds the sharing marks of this open
    std::int64_t position_ = 0;
    bool canRead_ = false;
    bool canWrite_ = false;
    // The file's size once asked, when it may be kept (see Size()); -1 when
    // it must be asked of the system.
    mutable std::int64_t knownSize_ = -1;
    bool sizeIsOurs_ = false;
};

}  // namespace platform
