#include "midlet/SuiteFiles.h"

#include <exception>

#include "midlet/InstallCheck.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Stream.h"

namespace midlet {

bool ReadSmallFile(const std::string& path, std::string& text, std::uint64_t limit) {
    std::uint64_t size = 0;
    if (!platform::FileExists(path) || !platform::FindFileSize(path, size) || size > limit) {
        return false;
    }
    try {
        platform::TFileStream file(path, platform::fmOpenRead | platform::fmShareDenyNone);
        text.resize(static_cast<std::size_t>(size));
        file.ReadBuffer(text.data(), text.size());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string JadBeside(const std::string& jar) {
    const std::string base = jar.substr(0, jar.size() - platform::ExtractFileExt(jar).size());
    for (const char* extension : {".jad", ".JAD"}) {
        if (platform::FileExists(base + extension)) {
            return base + extension;
        }
    }
    return {};
}

}  // namespace midlet
