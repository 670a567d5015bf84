// Available memory and the archive lock.
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/Files.h"

namespace platform {

std::uint64_t AvailablePhysicalMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        if (line.rfind("MemAvailable:", 0) == 0) {
            std::istringstream fields(line.substr(13));
            std::uint64_t kibibytes = 0;
            if (fields >> kibibytes) {
                return kibibytes * 1024;
            }
        }
    }
    long pages = sysconf(_SC_AVPHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
               : 0;
}

std::recursive_mutex& ArchiveLock() {
    static std::recursive_mutex lock;
    return lock;
}

}  // namespace platform
