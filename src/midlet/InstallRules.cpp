// The installation rules of a MIDP 2.0 installer, applied to a JAR and the
// JAD that would be offered with it.
#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>

#include "midlet/DescriptorAttributes.h"
#include "midlet/InstallCheck.h"
#include "midlet/JarReader.h"
#include "midlet/JarSignature.h"
#include "midlet/SuiteFiles.h"

namespace midlet {

namespace {

constexpr std::string_view kName = "MIDlet-Name";
constexpr std::string_view kVendor = "MIDlet-Vendor";
constexpr std::string_view kVersion = "MIDlet-Version";
constexpr std::string_view kJarSize = "MIDlet-Jar-Size";
constexpr std::string_view kJarUrl = "MIDlet-Jar-URL";
constexpr std::string_view kSignature = "MIDlet-Jar-RSA-SHA1";
constexpr std::string_view kCertificate = "MIDlet-Certificate-1-1";
constexpr std::string_view kConfiguration = "MicroEdition-Configuration";
constexpr std::string_view kProfile = "MicroEdition-Profile";
constexpr std::string_view kIcon = "MIDlet-Icon";

// An attribute as the installer takes it: the JAD's value before the
// manifest's, and where it came from.
struct Effective {
    const std::string* value = nullptr;
    bool fromJad = false;
};

std::vector<std::string> SplitFields(std::string_view value) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = value.find(',', start);
        std::string_view field = value.substr(start, comma - start);
        while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) {
            field.remove_prefix(1);
        }
        while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) {
            field.remove_suffix(1);
        }
        fields.emplace_back(field);
        if (comma == std::string_view::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// One to three dot-separated groups of digits.
bool IsSuiteVersion(std::string_view version) {
    const std::vector<std::string> groups = [&] {
        std::vector<std::string> parts;
        std::size_t start = 0;
        for (std::size_t dot; (dot = version.find('.', start)) != std::string_view::npos;
             start = dot + 1) {
            parts.emplace_back(version.substr(start, dot - start));
        }
        parts.emplace_back(version.substr(start));
        return parts;
    }();
    return groups.size() <= 3 && std::all_of(groups.begin(), groups.end(), AllDigits);
}

// A class name as the path of its class file.
std::string ClassFileOf(std::string_view className) {
    std::string path(className);
    std::replace(path.begin(), path.end(), '.', '/');
    return path + ".class";
}

// An icon path as an entry name: a leading "/" names the JAR's root.
std::string EntryOfResource(std::string_view path) {
    return std::string(!path.empty() && path.front() == '/' ? path.substr(1) : path);
}

class SuiteCheck {
  public:
    SuiteCheck(const std::string& jar, const std::string& jad) : jarPath_(jar), jadPath_(jad) {}

    std::vector<Finding> Run() {
        const bool jadRead = ReadJadFile();
        contents_ = ReadJar(jarPath_);
        const bool manifestRead = ReadManifestOf();
        if (jadRead) {
            CheckJadRequired();
            CheckJarSize();
        }
        if (manifestRead) {
            if (HasJad()) {
                CheckMatching();
            } else {
                CheckManifestRequired();
            }
            CheckPlatform();
            CheckMidlets();
            CheckPush();
            CheckIcons();
            CheckEntryNames();
        }
        if (jadRead && jad_.Find(kSignature) != nullptr && contents_.Readable()) {
            CheckSignature();
        }
        return std::move(findings_);
    }

  private:
    bool HasJad() const { return !jadPath_.empty() && jadRead_; }
    bool Signed() const { return HasJad() && jad_.Find(kSignature) != nullptr; }
    const std::string& FileOf(bool fromJad) const { return fromJad ? jadPath_ : jarPath_; }

    void Add(const std::string& file, Severity severity, int code, std::string_view attribute,
             std::string message) {
        findings_.push_back({file, severity, code, std::string(attribute), std::move(message)});
    }
    void Error(const std::string& file, int code, std::string_view attribute, std::string message) {
        Add(file, Severity::Error, code, attribute, std::move(message));
    }
    void Warning(const std::string& file, int code, std::string_view attribute,
                 std::string message) {
        Add(file, Severity::Warning, code, attribute, std::move(message));
    }

    Effective Lookup(std::string_view name) const {
        if (HasJad()) {
            if (const std::string* value = jad_.Find(name)) {
                return {value, true};
            }
        }
        return {manifest_.Find(name), false};
    }

    bool ReadJadFile() {
        if (jadPath_.empty()) {
            return false;
        }
        std::string text;
        if (!ReadSmallFile(jadPath_, text)) {
            Error(jadPath_, 0, {}, "cannot be read");
            return false;
        }
        jad_ = ParseJad(text);
        for (const SyntaxProblem& problem : jad_.problems) {
            Error(jadPath_, kInvalidJad, problem.attribute,
                  "line " + std::to_string(problem.line) + ": " + problem.message);
        }
        for (const std::string& name : jad_.duplicates) {
            Warning(jadPath_, 0, name, "given more than once; installers differ on which counts");
        }
        jadRead_ = true;
        return true;
    }

    bool ReadManifestOf() {
        if (!contents_.Readable()) {
            Error(jarPath_, contents_.failureCode, {}, contents_.failure);
            return false;
        }
        if (!contents_.hasManifest) {
            Error(jarPath_, kInvalidJar, {}, std::string("no ") + kManifestEntry);
            return false;
        }
        if (!contents_.manifestFailure.empty()) {
            Error(jarPath_, kInvalidJar, {},
                  "the manifest cannot be read: " + contents_.manifestFailure);
            return false;
        }
        if (contents_.manifestName != kManifestEntry) {
            Warning(jarPath_, 0, {},
                    "the manifest is stored as " + contents_.manifestName +
                        "; installers that look for " + kManifestEntry + " do not find it");
        }
        manifest_ = ParseManifest(contents_.manifest);
        for (const SyntaxProblem& problem : manifest_.problems) {
            Error(jarPath_, kInvalidJar, problem.attribute,
                  "manifest line " + std::to_string(problem.line) + ": " + problem.message);
        }
        return true;
    }

    void CheckJadRequired() {
        for (std::string_view name : {kName, kVendor, kVersion, kJarSize, kJarUrl}) {
            if (jad_.Find(name) == nullptr) {
                Error(jadPath_, kInvalidJad, name, "missing from the JAD");
            }
        }
        const std::string* version = jad_.Find(kVersion);
        if (version != nullptr && !IsSuiteVersion(*version)) {
            Error(jadPath_, kInvalidJad, kVersion,
                  "\"" + *version + "\" is not one to three dot-separated numbers");
        }
    }

    void CheckJarSize() {
        const std::string* size = jad_.Find(kJarSize);
        if (size == nullptr || !contents_.Readable()) {
            return;
        }
        if (!AllDigits(*size) || size->size() > 18) {
            Error(jadPath_, kInvalidJad, kJarSize, "\"" + *size + "\" is not a number of bytes");
        } else if (std::stoull(*size) != contents_.size) {
            Error(
                jadPath_, kJarSizeMismatch, kJarSize,
                "the JAD says " + *size + " bytes, the JAR has " + std::to_string(contents_.size));
        }
    }

    void CheckManifestRequired() {
        for (std::string_view name : {kName, kVendor, kVersion}) {
            if (manifest_.Find(name) == nullptr) {
                Error(jarPath_, kInvalidJar, name, "missing from the manifest");
            }
        }
        const std::string* version = manifest_.Find(kVersion);
        if (version != nullptr && !IsSuiteVersion(*version)) {
            Error(jarPath_, kInvalidJar, kVersion,
                  "\"" + *version + "\" is not one to three dot-separated numbers");
        }
    }

    // The suite's identity must agree between JAD and manifest; in a signed
    // suite every attribute that both give must.
    void CheckMatching() {
        for (std::string_view name : {kName, kVendor, kVersion}) {
            const std::string* inJad = jad_.Find(name);
            const std::string* inManifest = manifest_.Find(name);
            if (inJad != nullptr && inManifest == nullptr) {
                Error(jarPath_, kAttributeMismatch, name,
                      "missing from the manifest; the JAD gives \"" + *inJad + "\"");
            } else if (inJad != nullptr && *inJad != *inManifest) {
                Error(jadPath_, kAttributeMismatch, name,
                      "the JAD gives \"" + *inJad + "\", the manifest \"" + *inManifest + "\"");
            }
        }
        if (!Signed()) {
            return;
        }
        std::set<std::string> compared;
        for (const Attribute& item : jad_.items) {
            const std::string* inManifest = manifest_.Find(item.name);
            if (inManifest == nullptr || !compared.insert(item.name).second || item.name == kName ||
                item.name == kVendor || item.name == kVersion) {
                continue;
            }
            const std::string& inJad = *jad_.Find(item.name);
            if (inJad != *inManifest) {
                Error(jadPath_, kAttributeMismatch, item.name,
                      "signed suite: the JAD gives \"" + inJad + "\", the manifest \"" +
                          *inManifest + "\"");
            }
        }
    }

    void CheckPlatform() {
        for (std::string_view name : {kConfiguration, kProfile}) {
            if (Lookup(name).value == nullptr) {
                Error(jarPath_, kInvalidJar, name, "missing");
            }
        }
    }

    // MIDlet-1, MIDlet-2, ... up to the first number missing.
    void CheckMidlets() {
        int n = 1;
        for (;; ++n) {
            const std::string name = "MIDlet-" + std::to_string(n);
            const Effective midlet = Lookup(name);
            if (midlet.value == nullptr) {
                break;
            }
            CheckMidlet(name, midlet);
        }
        if (n == 1) {
            Error(jarPath_, kInvalidJar, "MIDlet-1", "missing: the suite has no MIDlet");
        }
        WarnUnreachedMidlets(n);
    }

    void CheckMidlet(const std::string& name, const Effective& midlet) {
        const std::string& file = FileOf(midlet.fromJad);
        const int code = midlet.fromJad ? kInvalidJad : kInvalidJar;
        const std::vector<std::string> fields = SplitFields(*midlet.value);
        if (fields.size() != 3 || fields[0].empty() || fields[2].empty()) {
            Error(file, code, name, "\"" + *midlet.value + "\" is not \"name, icon, class\"");
            return;
        }
        classes_.push_back(fields[2]);
        if (!contents_.HasEntry(ClassFileOf(fields[2]))) {
            Error(file, code, name,
                  "class " + fields[2] + ": " + ClassFileOf(fields[2]) + " is not in the JAR");
        }
        if (!fields[1].empty()) {
            CheckIcon(file, name, fields[1]);
        }
    }

    // Numbers after a gap are never read by the installer.
    void WarnUnreachedMidlets(int gap) {
        const auto warn = [&](const AttributeList& list, bool fromJad) {
            for (const Attribute& item : list.items) {
                const std::string_view rest = std::string_view(item.name).substr(0, 7) == "MIDlet-"
                                                  ? std::string_view(item.name).substr(7)
                                                  : std::string_view();
                if (AllDigits(rest) && rest.front() != '0' && rest.size() < 9 &&
                    std::stoi(std::string(rest)) > gap) {
                    Warning(FileOf(fromJad), 0, item.name,
                            "never read: MIDlet-" + std::to_string(gap) + " is missing");
                }
            }
        };
        warn(manifest_, false);
        if (HasJad()) {
            warn(jad_, true);
        }
    }

    void CheckPush() {
        for (int n = 1;; ++n) {
            const std::string name = "MIDlet-Push-" + std::to_string(n);
            const Effective push = Lookup(name);
            if (push.value == nullptr) {
                return;
            }
            const std::vector<std::string> fields = SplitFields(*push.value);
            const std::string& file = FileOf(push.fromJad);
            if (fields.size() != 3 || fields[1].empty()) {
                Error(file, kPushRegistrationFailure, name,
                      "\"" + *push.value + "\" is not \"connection, class, filter\"");
            } else if (std::find(classes_.begin(), classes_.end(), fields[1]) == classes_.end()) {
                Error(file, kPushRegistrationFailure, name,
                      "class " + fields[1] + " is no MIDlet of this suite");
            }
        }
    }

    void CheckIcon(const std::string& file, std::string_view attribute, std::string_view path) {
        const std::string entry = EntryOfResource(path);
        if (!contents_.HasEntry(entry)) {
            Warning(file, 0, attribute, "icon " + std::string(path) + " is not in the JAR");
        }
    }

    void CheckIcons() {
        const Effective icon = Lookup(kIcon);
        if (icon.value != nullptr && !icon.value->empty()) {
            CheckIcon(FileOf(icon.fromJad), kIcon, *icon.value);
        }
    }

    // The manifest names entries in UTF-8; an entry whose name is not
    // UTF-8 cannot be named there, and installers may not find it.
    void CheckEntryNames() {
        std::size_t bad = 0;
        const std::string* first = nullptr;
        for (const std::string& entry : contents_.entries) {
            if (!IsValidUtf8(entry)) {
                first = first != nullptr ? first : &entry;
                ++bad;
            }
        }
        if (bad > 0) {
            Warning(jarPath_, 0, {},
                    std::to_string(bad) + " entry name(s) not valid in the manifest's encoding " +
                        "(UTF-8), the first: " + *first);
        }
    }

    void CheckSignature() {
        const std::string* certificate = jad_.Find(kCertificate);
        if (certificate == nullptr) {
            Error(jarPath_, kAuthenticationFailure, kSignature,
                  std::string("signed, but the JAD has no ") + std::string(kCertificate));
            return;
        }
        const SignatureCheck check =
            VerifyJarSignature(jarPath_, *jad_.Find(kSignature), *certificate);
        if (check.verified) {
            Warning(jarPath_, kAuthenticationFailure, kSignature,
                    "the signature verifies; any change to the JAR voids it (whether a phone "
                    "trusts the signer is not checked)");
        } else {
            Error(jarPath_, kAuthenticationFailure, kSignature, check.problem);
        }
    }

    std::string jarPath_;
    std::string jadPath_;
    bool jadRead_ = false;
    AttributeList jad_;
    AttributeList manifest_;
    JarContents contents_;
    std::vector<std::string> classes_;  // the MIDlets' classes
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> CheckSuite(const std::string& jar, const std::string& jad) {
    return SuiteCheck(jar, jad).Run();
}

bool HasErrors(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.severity == Severity::Error; });
}

}  // namespace midlet
