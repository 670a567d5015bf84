// Numbers from the kernel's random source.
#include "platform/RandomNumbers.h"

#include <sys/random.h>

#include <cerrno>

#include "platform/Errors.h"

namespace platform {

bool UnguessableNumber(std::uint64_t& number) {
    auto* bytes = reinterpret_cast<unsigned char*>(&number);
    std::size_t done = 0;
    while (done < sizeof number) {
        const ssize_t n = getrandom(bytes + done, sizeof number - done, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            SetLastError(ErrorFromErrno(n < 0 ? errno : EIO));
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace platform
