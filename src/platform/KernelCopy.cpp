// Copies between files with the kernel's copy, falling back to read/write
// where the file systems do not support it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/Faults.h"
#include "platform/FileSystem.h"

namespace platform {

namespace {

constexpr std::size_t kChunk = 1 << 20;

// The errors that mean "this pair of files cannot use copy_file_range",
// not "the copy failed".
bool KernelCopyUnsupported(int err) {
    return err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP || err == EBADF;
}

std::int64_t ReadWriteCopy(int from, std::int64_t& fromOffset, int to, std::int64_t& toOffset,
                           std::int64_t count, std::int64_t done) {
    std::vector<char> buffer(kChunk);
    while (count < 0 || done < count) {
        std::size_t want = buffer.size();
        if (count >= 0 && static_cast<std::uint64_t>(count - done) < want) {
            want = static_cast<std::size_t>(count - done);
        }
        ssize_t got = pread(from, buffer.data(), want, fromOffset);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        ssize_t written = 0;
        while (written < got) {
            ssize_t n = pwrite(to, buffer.data() + written, static_cast<std::size_t>(got - written),
                               toOffset);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return -1;
            }
            written += n;
            toOffset += n;
        }
        fromOffset += got;
        done += got;
    }
    return done;
}

}  // namespace

std::int64_t CopyBytes(int from, std::int64_t& fromOffset, int to, std::int64_t& toOffset,
                       std::int64_t count) {
    std::int64_t done = 0;
    while (count < 0 || done < count) {
        std::size_t want = kChunk;
        if (count >= 0 && static_cast<std::uint64_t>(count - done) < want) {
            want = static_cast<std::size_t>(count - done);
        }
        if (FaultFires(FaultPoint::KernelCopy)) {
            errno = ENOSPC;
            return -1;
        }
        loff_t in = fromOffset;
        loff_t out = toOffset;
        ssize_t n = copy_file_range(from, &in, to, &out, want, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (KernelCopyUnsupported(errno)) {
                return ReadWriteCopy(from, fromOffset, to, toOffset, count, done);
            }
            return -1;
        }
        if (n == 0) {
            break;
        }
        fromOffset += n;
        toOffset += n;
        done += n;
    }
    return done;
}

}  // namespace platform
