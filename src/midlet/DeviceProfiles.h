// The phones the installability report can assume: what each supports and
// refuses, read from a small text file of sections.
//
//   [name]
//   title = Generic MIDP 2.0 phone with CLDC 1.1
//   base = another-name            (start from that profile's facts)
//   configuration = CLDC-1.1
//   profiles = MIDP-2.0
//   jar-size-limit = 204800        (bytes; a larger JAR is refused, 901)
//   jar-size-advice = 102400       (bytes; a larger JAR gets a warning)
//   name-length-limit = 32         (characters of MIDlet-Name; likewise
//   vendor-length-limit = 32        MIDlet-Vendor and MIDlet-Jar-URL)
//   jar-url-length-limit = 256
//   unknown-midlet-keys = refuse   (or accept: MIDlet-* keys MIDP 2.0 does
//   allowed-midlet-keys = ...       not define, save these, are refused)
//   icon-required = yes            (an icon the JAR lacks is refused, 907)
//   push-schemes = socket datagram
//   permissions = ...              (replaces the MIDP 2.0 names and those of
//                                   the optional packages)
//   trusted-roots = roots.pem      (PEM files, relative to this file)
//   KEY.source = where the fact comes from
//
// Lists are separated by blanks; "#" starts a comment line.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace midlet {

struct DeviceProfile {
    std::string name;
    std::string title;
    std::string configuration;          // e.g. CLDC-1.1
    std::vector<std::string> profiles;  // e.g. MIDP-2.0
    std::uint64_t jarSizeLimit = 0;     // 0: none
    std::uint64_t jarSizeAdvice = 0;    // 0: none
    std::size_t nameLengthLimit = 0;    // 0: none
    std::size_t vendorLengthLimit = 0;
    std::size_t jarUrlLengthLimit = 0;
    bool refusesUnknownMidletKeys = false;
    std::vector<std::string> allowedMidletKeys;
    bool iconRequired = false;
    std::vector<std::string> pushSchemes;
    std::vector<std::string> permissions;
    std::vector<std::string> trustedRoots;       // DER certificates
    std::map<std::string, std::string> sources;  // fact key -> its source
};

class DeviceProfiles {
  public:
    // Reads a profile file; `folder` is where its root files are looked up.
    // Profiles named like one already held replace it. False, with
    // `problem` naming the line, when the text is not a profile file.
    bool Read(std::string_view text, const std::string& folder, std::string& problem);
    // The same from a file.
    bool ReadFile(const std::string& path, std::string& problem);

    const DeviceProfile* Find(std::string_view name) const;
    const std::vector<DeviceProfile>& All() const { return profiles_; }

  private:
    std::vector<DeviceProfile> profiles_;
};

// The profile assumed when none is chosen.
inline constexpr std::string_view kDefaultDevice = "midp20-cldc11";

// The profiles shipped with the program: the installed file
// (share/quellor/devices.ini beside the executable's bin folder) when there
// is one, else the copy built into the program.
DeviceProfiles ShippedDeviceProfiles(const std::string& executableFolder);

// The built-in copy of the shipped file's text.
std::string_view BuiltInDeviceProfileText();

// Several lines describing a profile and where its facts come from.
std::string DescribeDevice(const DeviceProfile& device);

}  // namespace midlet
