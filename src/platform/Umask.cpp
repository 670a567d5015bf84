#include "platform/Umask.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace platform {

mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        unsigned mask = 0;
        if (std::sscanf(line.c_str(), "Umask: %o", &mask) == 1) {
            return static_cast<mode_t>(mask & 0777);
        }
    }
    return 022;
}

mode_t ProcessUmask() {
    static const mode_t mask = CurrentUmask();
    return mask;
}

}  // namespace platform
