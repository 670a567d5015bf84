// Block sharing through FICLONERANGE, which needs the ranges of both files
// to start on a block boundary; the file systems without it (ext4, tmpfs)
// refuse it at once and the kernel's copy does the whole.
#include "platform/CloneCopy.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/Faults.h"
#include "platform/Stream.h"

namespace platform {

namespace {

// The errors that say "these files cannot share blocks", not "the copy failed".
bool CloneUnsupported(int err) {
    return err == EOPNOTSUPP || err == EXDEV || err == EINVAL || err == ENOTTY || err == EBADF ||
           err == ENOSYS || err == EPERM;
}

// The bytes shared: a whole number of blocks, or none.
std::int64_t CloneBlocks(TFileStream& source, TFileStream& target, std::int64_t count) {
    struct stat info;
    if (fstat(target.Handle(), &info) != 0 || info.st_blksize <= 0) {
        return 0;
    }
    const std::int64_t block = info.st_blksize;
    const std::int64_t length = count / block * block;
    if (length == 0 || source.Position() % block != 0 || target.Position() % block != 0) {
        return 0;
    }
    if (FaultFires(FaultPoint::KernelCopy)) {
        throw EWriteError(GetLastError());
    }
    struct file_clone_range range {};
    range.src_fd = source.Handle();
    range.src_offset = static_cast<std::uint64_t>(source.Position());
    range.src_length = static_cast<std::uint64_t>(length);
    range.dest_offset = static_cast<std::uint64_t>(target.Position());
    if (ioctl(target.Handle(), FICLONERANGE, &range) != 0) {
        if (CloneUnsupported(errno)) {
            return 0;
        }
        throw EWriteError(ErrorFromErrno(errno));
    }
    return length;
}

}  // namespace

std::int64_t CloneOrCopy(TFileStream& source, TFileStream& target, std::int64_t count) {
    if (count <= 0) {
        return 0;
    }
    const std::int64_t cloned = CloneBlocks(source, target, count);
    source.SetPosition(source.Position() + cloned);
    target.SetPosition(target.Position() + cloned);
    return cloned + target.CopyFrom(source, count - cloned);
}

}  // namespace platform
