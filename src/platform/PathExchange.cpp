// Two names exchanged in one step, for what replaces a whole folder.
#include <fcntl.h>
#include <cstdio>

#include <cerrno>

#include "platform/Durable.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"

namespace platform {

bool ExchangePaths(const std::string& first, const std::string& second) {
    const ResolvedPath one = Resolve(first);
    if (!one.exists) {
        SetLastError(MissingCode(one));
        return false;
    }
    const ResolvedPath other = Resolve(second);
    if (!other.exists) {
        SetLastError(MissingCode(other));
        return false;
    }
    if (FaultFires(FaultPoint::Rename)) {
        return false;
    }
    // The names stay where they are; what lies below each changes.
    ForgetFolderOf(one.path + "/.");
    ForgetFolderOf(other.path + "/.");
    if (renameat2(AT_FDCWD, one.path.c_str(), AT_FDCWD, other.path.c_str(), RENAME_EXCHANGE) != 0) {
        const int err = errno;
        SetLastError(err == EINVAL || err == ENOSYS ? ERROR_NOT_SUPPORTED
                                                    : CodeForErrno(err, other));
        return false;
    }
    return true;
}

}  // namespace platform
