// The profile-string reader and writer: the input is the settings file. The
// keys the program uses are read, one key is written, and the written value
// must read back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/Profile.h"

namespace {

struct Key {
    const char* section;
    const char* key;
};

constexpr Key kKeys[] = {{"Main", "Language"}, {"Main", "Path"}, {"Java", "Apps"}, {"Java", "Game"},
                         {"Java", "Type"},     {"Java", "Ids"},  {"Java", "Icon"}};

constexpr std::size_t kBufferSize = 2048;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::ScratchFolder folder;
    const std::string settings = folder.Path() + "Brannoc.cfg";
    fuzz::WriteInputFile(settings, data, size);

    for (const Key& key : kKeys) {
        const std::string value =
            platform::GetPrivateProfileString(key.section, key.key, "", kBufferSize, settings);
        if (value.size() >= kBufferSize) {
            fuzz::Fail("a value longer than the buffer");
        }
    }
    // A short buffer cuts the value.
    platform::GetPrivateProfileString("Java", "Apps", "default", 3, settings);

    // The key that the input's first byte picks gets a plain value.
    const Key& written = kKeys[size == 0 ? 0 : data[0] % std::size(kKeys)];
    const std::string value = "fs:/card0/Fuzz/";
    if (!platform::WritePrivateProfileString(written.section, written.key, value, settings)) {
        fuzz::Fail("writing a key failed");
    }
    if (platform::GetPrivateProfileString(written.section, written.key, "", kBufferSize,
                                          settings) != value) {
        fuzz::Fail(std::string("the written key ") + written.section + "/" + written.key +
                   " does not read back");
    }
    return 0;
}
