// Built into quellor-zip-faults and quellor-batch-faults, the tools with the
// platform layer's fault seam, for the tool cases whose Nth call of a
// service fails: QUELLOR_FAULT="POINT N" (StreamWrite, StreamOpen,
// FolderCreate, Flush, Rename)
// arms the seam before main runs, with the code of a full disk.
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "platform/Faults.h"

namespace {

bool ArmFromEnvironment() {
    const char* text = std::getenv("QUELLOR_FAULT");
    if (text == nullptr) {
        return false;
    }
    static const std::map<std::string, platform::FaultPoint> points = {
        {"StreamWrite", platform::FaultPoint::StreamWrite},
        {"StreamOpen", platform::FaultPoint::StreamOpen},
        {"FolderCreate", platform::FaultPoint::FolderCreate},
        {"Flush", platform::FaultPoint::Flush},
        {"Rename", platform::FaultPoint::Rename},
    };
    std::istringstream words(text);
    std::string point;
    int nth = 0;
    words >> point >> nth;
    const auto found = points.find(point);
    if (found == points.end() || nth <= 0) {
        std::abort();  // a case that names no fault it can arm is wrong
    }
    platform::ArmFault(found->second, nth);
    return true;
}

const bool armed = ArmFromEnvironment();

}  // namespace
