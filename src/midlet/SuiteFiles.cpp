#include "midlet/SuiteFiles.h"

#include <exception>

#include "midlet/InstallCheck.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Stream.h"

namespace midlet {

bool ReadSmallFile(const std::string& path, std::string& text, std::uint64_t limit) {
    // One open tells whether a file is there (a folder is refused), and
    // its size.
    try {
        platform::TFileStream file(path, platform::fmOpenRead | platform::fmShareDenyNone);
        const std::int64_t size = file.Size();
        if (size < 0 || static_cast<std::uint64_t>(size) > limit) {
            return false;
        }
        text.resize(static_cast<std::size_t>(size));
        file.ReadBuffer(text.data(), text.size());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string JadBeside(const std::string& jar) {
    const std::string base = jar.substr(0, jar.size() - platform::ExtractFileExt(jar).size());
    // Names are found without regard to case: this finds x.JAD as well.
    const std::string jad = base + ".jad";
    return platform::FileExists(jad) ? jad : std::string();
}

}  // namespace midlet
