#include "midlet/DeviceProfiles.h"

#include <algorithm>
#include <functional>
#include <set>

#include "midlet/AttributeValues.h"
#include "midlet/JarSignature.h"
#include "midlet/SuiteFiles.h"
#include "platform/Files.h"

namespace midlet {

namespace {

// The permission names of MIDP 2.0 and of the optional packages the
// reference installer's policy knows; a profile may give its own.
const char* const kKnownPermissions[] = {
    "javax.microedition.io.Connector.http",
    "javax.microedition.io.Connector.https",
    "javax.microedition.io.Connector.ssl",
    "javax.microedition.io.Connector.socket",
    "javax.microedition.io.Connector.serversocket",
    "javax.microedition.io.Connector.datagram",
    "javax.microedition.io.Connector.datagramreceiver",
    "javax.microedition.io.Connector.comm",
    "javax.microedition.io.PushRegistry",
    "javax.microedition.io.Connector.sms",
    "javax.microedition.io.Connector.cbs",
    "javax.microedition.io.Connector.mms",
    "javax.microedition.io.Connector.file.read",
    "javax.microedition.io.Connector.file.write",
    "javax.microedition.io.Connector.bluetooth.client",
    "javax.microedition.io.Connector.bluetooth.server",
    "javax.microedition.io.Connector.obex.client",
    "javax.microedition.io.Connector.obex.server",
    "javax.microedition.io.Connector.obex.client.tcp",
    "javax.microedition.io.Connector.obex.server.tcp",
    "javax.microedition.io.Connector.sip",
    "javax.microedition.io.Connector.sips",
    "javax.wireless.messaging.sms.send",
    "javax.wireless.messaging.sms.receive",
    "javax.wireless.messaging.cbs.receive",
    "javax.wireless.messaging.mms.send",
    "javax.wireless.messaging.mms.receive",
    "javax.microedition.pim.ContactList.read",
    "javax.microedition.pim.ContactList.write",
    "javax.microedition.pim.EventList.read",
    "javax.microedition.pim.EventList.write",
    "javax.microedition.pim.ToDoList.read",
    "javax.microedition.pim.ToDoList.write",
    "javax.microedition.media.control.RecordControl",
    "javax.microedition.media.control.VideoControl.getSnapshot",
    "javax.microedition.location.Location",
    "javax.microedition.location.Orientation",
    "javax.microedition.location.ProximityListener",
    "javax.microedition.location.LandmarkStore.read",
    "javax.microedition.location.LandmarkStore.write",
    "javax.microedition.location.LandmarkStore.category",
    "javax.microedition.location.LandmarkStore.management",
    "javax.microedition.content.ContentHandler",
    "javax.microedition.apdu.aid",
    "javax.microedition.apdu.sat",
    "javax.microedition.jcrmi",
    "javax.microedition.securityservice.CMSMessageSignatureService",
};

constexpr std::string_view kSourceSuffix = ".source";
constexpr std::string_view kShippedFile = "../share/quellor/devices.ini";

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool ReadCount(std::string_view text, std::uint64_t& count) {
    if (text.empty() || text.size() > 15 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    count = std::stoull(std::string(text));
    return true;
}

bool ReadYesNo(std::string_view text, bool& flag) {
    if (text == "yes" || text == "no") {
        flag = text == "yes";
        return true;
    }
    return false;
}

// One profile file's text, section by section.
class ProfileReader {
  public:
    ProfileReader(std::vector<DeviceProfile>& profiles, const std::string& folder)
        : profiles_(profiles), folder_(folder) {}

    bool Read(std::string_view text, std::string& problem) {
        int number = 0;
        for (std::size_t start = 0; start <= text.size(); ++number) {
            std::size_t end = text.find('\n', start);
            end = end == std::string_view::npos ? text.size() : end;
            const std::string_view line = Trimmed(text.substr(start, end - start));
            start = end + 1;
            if (line.empty() || line.front() == '#') {
                continue;
            }
            if (!Line(line, problem)) {
                problem = "line " + std::to_string(number + 1) + ": " + problem;
                return false;
            }
        }
        return Finish(problem);
    }

  private:
    bool Line(std::string_view line, std::string& problem) {
        if (line.front() == '[') {
            return Section(line, problem);
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || current_ == nullptr) {
            problem = current_ == nullptr ? "a fact before the first [name]" : "no \"key = value\"";
            return false;
        }
        const std::string key(Trimmed(line.substr(0, equals)));
        const std::string value(Trimmed(line.substr(equals + 1)));
        if (key.size() > kSourceSuffix.size() &&
            key.compare(key.size() - kSourceSuffix.size(), kSourceSuffix.size(), kSourceSuffix) ==
                0) {
            current_->sources[key.substr(0, key.size() - kSourceSuffix.size())] = value;
            return true;
        }
        if (!Fact(key, value, problem)) {
            problem =
                problem.empty() ? key + ": \"" + value + "\" is not a value it takes" : problem;
            return false;
        }
        keys_.insert(key);
        return true;
    }

    bool Section(std::string_view line, std::string& problem) {
        if (!Finish(problem)) {
            return false;
        }
        const std::string_view name =
            line.size() >= 2 && line.back() == ']' ? Trimmed(line.substr(1, line.size() - 2)) : "";
        if (BlankSeparatedWords(name).size() != 1) {
            problem = "a section is \"[name]\", the name without blanks";
            return false;
        }
        pending_ = DeviceProfile{};
        pending_.name = std::string(name);
        pending_.permissions.assign(std::begin(kKnownPermissions), std::end(kKnownPermissions));
        current_ = &pending_;
        keys_.clear();
        return true;
    }

    bool Fact(const std::string& key, const std::string& value, std::string& problem) {
        DeviceProfile& p = *current_;
        std::uint64_t count = 0;
        if (key == "base") {
            return Base(value, problem);
        } else if (key == "title") {
            p.title = value;
        } else if (key == "configuration") {
            p.configuration = value;
            return BlankSeparatedWords(value).size() == 1;
        } else if (key == "profiles") {
            p.profiles = BlankSeparatedWords(value);
            return !p.profiles.empty();
        } else if (key == "jar-size-limit") {
            return ReadCount(value, p.jarSizeLimit);
        } else if (key == "jar-size-advice") {
            return ReadCount(value, p.jarSizeAdvice);
        } else if (key == "name-length-limit" || key == "vendor-length-limit" ||
                   key == "jar-url-length-limit") {
            std::size_t& limit = key == "name-length-limit"     ? p.nameLengthLimit
                                 : key == "vendor-length-limit" ? p.vendorLengthLimit
                                                                : p.jarUrlLengthLimit;
            const bool ok = ReadCount(value, count);
            limit = static_cast<std::size_t>(count);
            return ok;
        } else if (key == "unknown-midlet-keys") {
            p.refusesUnknownMidletKeys = value == "refuse";
            return value == "refuse" || value == "accept";
        } else if (key == "allowed-midlet-keys") {
            p.allowedMidletKeys = BlankSeparatedWords(value);
        } else if (key == "icon-required") {
            return ReadYesNo(value, p.iconRequired);
        } else if (key == "push-schemes") {
            p.pushSchemes = BlankSeparatedWords(value);
        } else if (key == "permissions") {
            p.permissions = BlankSeparatedWords(value);
        } else if (key == "trusted-roots") {
            return Roots(value, problem);
        } else {
            problem = "\"" + key + "\" is no fact of a device profile";
            return false;
        }
        return true;
    }

    // The facts of another profile, read before, as this one's start.
    bool Base(const std::string& value, std::string& problem) {
        if (!keys_.empty()) {
            problem = "base must come first in its section";
            return false;
        }
        const auto base = std::find_if(profiles_.begin(), profiles_.end(),
                                       [&](const DeviceProfile& p) { return p.name == value; });
        if (base == profiles_.end()) {
            problem = "base: no profile \"" + value + "\" before this one";
            return false;
        }
        const std::string name = current_->name;
        *current_ = *base;
        current_->name = name;
        return true;
    }

    bool Roots(const std::string& value, std::string& problem) {
        current_->trustedRoots.clear();
        for (const std::string& file : BlankSeparatedWords(value)) {
            const std::string path = file.front() == '/' ? file : folder_ + file;
            if (!ReadPemCertificates(path, current_->trustedRoots, problem)) {
                problem = "trusted-roots: " + problem;
                return false;
            }
        }
        return true;
    }

    // Stores the section read, which must say what the phone runs.
    bool Finish(std::string& problem) {
        if (current_ == nullptr) {
            return true;
        }
        if (pending_.configuration.empty() || pending_.profiles.empty()) {
            problem = "[" + pending_.name + "] names no configuration or no profiles";
            return false;
        }
        const auto same = std::find_if(profiles_.begin(), profiles_.end(),
                                       [&](const auto& p) { return p.name == pending_.name; });
        if (same != profiles_.end()) {
            *same = pending_;
        } else {
            profiles_.push_back(pending_);
        }
        current_ = nullptr;
        return true;
    }

    std::vector<DeviceProfile>& profiles_;
    std::string folder_;
    DeviceProfile pending_;
    DeviceProfile* current_ = nullptr;
    std::set<std::string> keys_;
};

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text.empty() ? "none" : text;
}

}  // namespace

bool DeviceProfiles::Read(std::string_view text, const std::string& folder, std::string& problem) {
    std::vector<DeviceProfile> profiles = profiles_;
    std::string base = folder;
    if (!base.empty() && base.back() != '/') {
        base += '/';
    }
    if (!ProfileReader(profiles, base).Read(text, problem)) {
        return false;
    }
    profiles_ = std::move(profiles);
    return true;
}

bool DeviceProfiles::ReadFile(const std::string& path, std::string& problem) {
    std::string text;
    if (platform::DirectoryExists(path)) {
        problem = path + " is a folder, not a device profile file";
        return false;
    }
    if (!ReadSmallFile(path, text)) {
        problem = path + " cannot be read";
        return false;
    }
    const std::size_t slash = path.rfind('/');
    if (!Read(text, slash == std::string::npos ? "." : path.substr(0, slash), problem)) {
        problem = path + ": " + problem;
        return false;
    }
    return true;
}

const DeviceProfile* DeviceProfiles::Find(std::string_view name) const {
    for (const DeviceProfile& p : profiles_) {
        if (p.name == name) {
            return &p;
        }
    }
    return nullptr;
}

DeviceProfiles ShippedDeviceProfiles(const std::string& executableFolder) {
    DeviceProfiles profiles;
    std::string problem;
    const std::string installed = executableFolder + std::string(kShippedFile);
    if (!platform::FileExists(installed) || !profiles.ReadFile(installed, problem)) {
        profiles = DeviceProfiles{};
        profiles.Read(BuiltInDeviceProfileText(), executableFolder, problem);
    }
    return profiles;
}

std::string DescribeDevice(const DeviceProfile& d) {
    std::string text =
        d.name + (d.name == kDefaultDevice ? " (default)" : "") + ": " + d.title + "\n";
    const auto fact = [&](const std::string& key, const std::string& what) {
        text += "  " + what;
        const auto source = d.sources.find(key);
        text += source != d.sources.end() ? " (" + source->second + ")\n" : "\n";
    };
    const auto number = [](std::uint64_t n) { return std::to_string(n); };
    fact("configuration", "configuration " + d.configuration);
    fact("profiles", "profiles " + Joined(d.profiles));
    if (d.jarSizeLimit > 0) {
        fact("jar-size-limit", "refuses JARs over " + number(d.jarSizeLimit) + " bytes");
    }
    if (d.jarSizeAdvice > 0) {
        fact("jar-size-advice", "advises JARs of at most " + number(d.jarSizeAdvice) + " bytes");
    }
    if (d.nameLengthLimit > 0) {
        fact("name-length-limit", "MIDlet-Name of at most " + number(d.nameLengthLimit));
    }
    if (d.vendorLengthLimit > 0) {
        fact("vendor-length-limit", "MIDlet-Vendor of at most " + number(d.vendorLengthLimit));
    }
    if (d.jarUrlLengthLimit > 0) {
        fact("jar-url-length-limit", "MIDlet-Jar-URL of at most " + number(d.jarUrlLengthLimit));
    }
    if (d.refusesUnknownMidletKeys) {
        fact("unknown-midlet-keys", "refuses MIDlet-* keys MIDP 2.0 does not define");
    }
    if (d.iconRequired) {
        fact("icon-required", "refuses a suite whose icon is not in the JAR");
    }
    fact("push-schemes", "push schemes " + Joined(d.pushSchemes));
    fact("trusted-roots", d.trustedRoots.empty()
                              ? std::string("no trusted roots: a signed suite is refused (909)")
                              : std::to_string(d.trustedRoots.size()) + " trusted root(s)");
    return text;
}

}  // namespace midlet
