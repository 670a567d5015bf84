// The installation rules of a MIDP 2.0 installer, applied to a JAR and the
// JAD that would be offered with it, step by step in the installer's order.
// Every step runs, so that the report lists every defect; the first error in
// that order is what the phone says.
#include <algorithm>
#include <ctime>
#include <optional>
#include <set>
#include <string_view>

#include "midlet/AttributeValues.h"
#include "midlet/DescriptorAttributes.h"
#include "midlet/InstallCheck.h"
#include "midlet/JarReader.h"
#include "midlet/JarSignature.h"
#include "midlet/PushRegistration.h"
#include "midlet/SuiteFiles.h"
#include "platform/Files.h"

namespace midlet {

namespace {

constexpr std::string_view kName = "MIDlet-Name";
constexpr std::string_view kVendor = "MIDlet-Vendor";
constexpr std::string_view kVersion = "MIDlet-Version";
constexpr std::string_view kJarSize = "MIDlet-Jar-Size";
constexpr std::string_view kJarUrl = "MIDlet-Jar-URL";
constexpr std::string_view kDataSize = "MIDlet-Data-Size";
constexpr std::string_view kSignature = "MIDlet-Jar-RSA-SHA1";
constexpr std::string_view kConfiguration = "MicroEdition-Configuration";
constexpr std::string_view kProfile = "MicroEdition-Profile";
constexpr std::string_view kRuntime = "Runtime-Execution-Environment";
constexpr std::string_view kRuntimeMidp = "MIDP.CLDC";
constexpr std::string_view kPermissions = "MIDlet-Permissions";
constexpr std::string_view kOptionalPermissions = "MIDlet-Permissions-Opt";
constexpr std::string_view kIcon = "MIDlet-Icon";
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// The per-MIDlet keys of the installer that a trusted suite's manifest must
// repeat when its JAD gives them.
// A file with more bad lines than this is likely no JAD at all; the rest
// are counted, not listed.
constexpr std::size_t kListedLineProblems = 10;

const char* const kPerMidletKeys[] = {"MIDlet-Heap-Size-", "MIDlet-Background-Pause-",
                                      "MIDlet-No-Exit-", "MIDlet-Launch-Background-",
                                      "MIDlet-Launch-Power-On-"};

// The MIDlet-* keys MIDP 2.0 defines, numbered ones by their stem.
const char* const kMidpKeys[] = {
    "MIDlet-Name",          "MIDlet-Version",         "MIDlet-Vendor",
    "MIDlet-Icon",          "MIDlet-Description",     "MIDlet-Info-URL",
    "MIDlet-Jar-URL",       "MIDlet-Jar-Size",        "MIDlet-Data-Size",
    "MIDlet-Permissions",   "MIDlet-Permissions-Opt", "MIDlet-Install-Notify",
    "MIDlet-Delete-Notify", "MIDlet-Delete-Confirm",  "MIDlet-Jar-RSA-SHA1",
};
const char* const kMidpNumberedKeys[] = {"MIDlet-", "MIDlet-Push-", "MIDlet-Certificate-"};

// An attribute as the installer takes it, and where it came from.
struct Effective {
    const std::string* value = nullptr;
    bool fromJad = false;
};

std::string Quoted(std::string_view value) {
    return "\"" + std::string(value) + "\"";
}

bool StartsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

// Digits and "-" only, as the numbers and chain positions of MIDP keys.
bool IsNumbering(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

bool IsMidpKey(std::string_view key) {
    if (std::find(std::begin(kMidpKeys), std::end(kMidpKeys), key) != std::end(kMidpKeys)) {
        return true;
    }
    for (const char* stem : kMidpNumberedKeys) {
        if (StartsWith(key, stem) && IsNumbering(key.substr(std::string_view(stem).size()))) {
            return true;
        }
    }
    return false;
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

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const DeviceProfile& DefaultDevice() {
    static const DeviceProfile device = [] {
        DeviceProfiles profiles;
        std::string problem;
        profiles.Read(BuiltInDeviceProfileText(), ".", problem);
        const DeviceProfile* found = profiles.Find(kDefaultDevice);
        return found != nullptr ? *found : DeviceProfile{};
    }();
    return device;
}

class SuiteCheck {
  public:
    SuiteCheck(const std::string& jar, const std::string& jad, const CheckOptions& options)
        : jarPath_(jar),
          jadPath_(jad),
          device_(options.device != nullptr ? *options.device : DefaultDevice()),
          now_(options.now != 0 ? options.now : std::time(nullptr)) {}

    SuiteReport Run() {
        jar_.emplace(jarPath_);
        if (!jadPath_.empty()) {
            ReadJadFile();
        }
        if (JadInstall()) {
            CheckJadKeys();
            CheckJadIdentity();
            CheckJadSizes();
        }
        CheckStorage();
        if (JadInstall()) {
            CheckJarUrl();
            if (jad_.Find(kSignature) != nullptr && JarFileRead()) {
                CheckSignature();
            }
        }
        if (ReadManifestOf()) {
            CheckManifestKeys();
            CheckMidlets();
            if (JadInstall()) {
                CheckJarSize();
                CheckIdentityMatch();
            } else {
                CheckJarIdentity();
            }
            if (trusted_) {
                CheckTrustedAgreement();
                CheckPermissions();
            }
            CheckRuntime();
            CheckPlatform(kConfiguration, {device_.configuration}, InstallStep::Configuration);
            CheckPlatform(kProfile, device_.profiles, InstallStep::Profile);
            CheckPush();
            CheckAdvice();
        }
        return Report();
    }

  private:
    bool JadInstall() const { return jadRead_; }
    const JarContents& Contents() const { return jar_->Contents(); }
    // The JAR's bytes could be read, whether or not they make a ZIP archive.
    bool JarFileRead() const {
        return Contents().fault != JarFault::Missing && Contents().fault != JarFault::Folder &&
               Contents().fault != JarFault::Unreadable;
    }
    const std::string& FileOf(bool fromJad) const { return fromJad ? jadPath_ : jarPath_; }
    // The code of an identity fault: the JAD's (906) or, installed without
    // one, the JAR's (907).
    int IdentityCode() const { return JadInstall() ? kInvalidJad : kInvalidJar; }

    void Add(const std::string& file, Severity severity, int code, InstallStep step,
             std::string_view attribute, std::string message, std::string fix) {
        findings_.push_back({file, severity, code, std::string(attribute), std::move(message),
                             std::move(fix), step});
    }
    void Error(const std::string& file, int code, InstallStep step, std::string_view attribute,
               std::string message, std::string fix) {
        Add(file, Severity::Error, code, step, attribute, std::move(message), std::move(fix));
    }
    void Warning(const std::string& file, InstallStep step, std::string_view attribute,
                 std::string message, std::string fix) {
        Add(file, Severity::Warning, 0, step, attribute, std::move(message), std::move(fix));
    }

    // JAD first, then the manifest; without a JAD, the manifest only.
    Effective Lookup(std::string_view name) const {
        if (JadInstall()) {
            if (const std::string* value = jad_.Find(name)) {
                return {value, true};
            }
        }
        return {manifest_.Find(name), false};
    }

    // What to add to a fix when a value lost letters to a JAD that is not
    // UTF-8.
    std::string EncodingHint(std::string_view value) const {
        return jad_.notUtf8 && value.find(kReplacementCharacter) != std::string_view::npos
                   ? " (the JAD is not UTF-8: save it as UTF-8)"
                   : "";
    }

    void ReadJadFile() {
        std::string text;
        std::uint64_t size = 0;
        if (!ReadSmallFile(jadPath_, text)) {
            const bool large = platform::FindFileSize(jadPath_, size) && size > kMaxJadBytes;
            Error(jadPath_, 0, InstallStep::ReadJad, {},
                  platform::DirectoryExists(jadPath_) ? "is a folder, not a JAD file"
                  : !platform::FileExists(jadPath_)   ? "no such file"
                  : large                             ? "is larger than 1 MiB, too large for a JAD"
                                                      : "cannot be read",
                  "give the suite's JAD file, or none to install the JAR alone");
            return;
        }
        jad_ = ParseJad(text);
        jadRead_ = true;
        if (text.find('\0') != std::string::npos) {
            // A JAR or other binary file: its lines say nothing useful.
            Error(jadPath_, kInvalidJad, InstallStep::ReadJad, {},
                  text.rfind("PK\x03\x04", 0) == 0 ? "is a ZIP archive, not a JAD"
                                                   : "holds binary data, not a JAD's text",
                  "give the suite's JAD, a text file of name: value lines");
            return;
        }
        for (std::size_t i = 0; i < jad_.problems.size() && i < kListedLineProblems; ++i) {
            const SyntaxProblem& problem = jad_.problems[i];
            Error(jadPath_, kInvalidJad, InstallStep::ReadJad, problem.attribute,
                  "line " + std::to_string(problem.line) + ": " + problem.message, problem.fix);
        }
        if (jad_.problems.size() > kListedLineProblems) {
            Error(jadPath_, kInvalidJad, InstallStep::ReadJad, {},
                  std::to_string(jad_.problems.size() - kListedLineProblems) +
                      " more lines the phone refuses",
                  "check that the file is the suite's JAD");
        }
        if (jad_.notUtf8) {
            Warning(jadPath_, InstallStep::ReadJad, {},
                    "the JAD is not UTF-8; the phone reads its other letters as \xEF\xBF\xBD",
                    "save the JAD as UTF-8");
        }
        if (jad_.byteOrderMark) {
            Warning(jadPath_, InstallStep::ReadJad, {},
                    "the JAD starts with a byte order mark, which the phone takes as part of "
                    "the first name",
                    "save the JAD as UTF-8 without a byte order mark");
        }
        for (const std::string& name : jad_.duplicates) {
            Warning(jadPath_, InstallStep::ReadJad, name,
                    "given more than once; the phone takes the last", "keep one " + name + " line");
        }
    }

    // A device that refuses MIDlet-* keys MIDP 2.0 does not define.
    void CheckUnknownKeys(const AttributeList& list, const std::string& file, int code,
                          InstallStep step) {
        if (!device_.refusesUnknownMidletKeys) {
            return;
        }
        std::set<std::string> reported;
        for (const Attribute& item : list.items) {
            if (StartsWith(item.name, "MIDlet-") && !IsMidpKey(item.name) &&
                std::find(device_.allowedMidletKeys.begin(), device_.allowedMidletKeys.end(),
                          item.name) == device_.allowedMidletKeys.end() &&
                reported.insert(item.name).second) {
                Error(file, code, step, item.name,
                      device_.name + " refuses MIDlet-* attributes MIDP 2.0 does not define",
                      "remove " + item.name + " for this device");
            }
        }
    }

    void CheckJadKeys() { CheckUnknownKeys(jad_, jadPath_, kInvalidJad, InstallStep::ReadJad); }

    void CheckManifestKeys() {
        CheckUnknownKeys(manifest_, jarPath_, kInvalidJar, InstallStep::ManifestSyntax);
    }

    // Why a required attribute is absent: a byte order mark may have taken
    // the first line's name.
    std::string MissingMessage(std::string_view name, const AttributeList& list,
                               std::string_view where) const {
        if (list.byteOrderMark && !list.items.empty() &&
            list.items.front().name == "\xEF\xBB\xBF" + std::string(name)) {
            return "hidden by the byte order mark before it";
        }
        const std::string* value = list.Find(name);
        return value != nullptr ? "empty in the " + std::string(where)
                                : "missing from the " + std::string(where);
    }

    // Name, Vendor, Version: present, not empty, the version well formed,
    // and within the device's lengths.
    void CheckIdentityOf(const AttributeList& list, const std::string& file, int code,
                         InstallStep step, std::string_view where) {
        for (std::string_view name : {kName, kVendor, kVersion}) {
            const std::string* value = list.Find(name);
            if (value == nullptr || value->empty()) {
                Error(file, code, step, name, MissingMessage(name, list, where),
                      "add " + std::string(name) + " with its value to the " + std::string(where));
            }
        }
        const std::string* version = list.Find(kVersion);
        if (version != nullptr && !version->empty() && !IsVersionFormat(*version)) {
            Error(file, code, step, kVersion,
                  Quoted(*version) + " is not one to three dot-separated numbers",
                  "write the version as numbers such as 1.0.2");
        }
        CheckLength(list, kName, device_.nameLengthLimit, file, code, step);
        CheckLength(list, kVendor, device_.vendorLengthLimit, file, code, step);
    }

    void CheckLength(const AttributeList& list, std::string_view name, std::size_t limit,
                     const std::string& file, int code, InstallStep step) {
        const std::string* value = list.Find(name);
        if (limit == 0 || value == nullptr || Utf8Length(*value) <= limit) {
            return;
        }
        Error(file, code, step, name,
              std::to_string(Utf8Length(*value)) + " characters; " + device_.name +
                  " takes at most " + std::to_string(limit),
              "shorten " + std::string(name) + " to " + std::to_string(limit) +
                  " characters, in the JAD and the manifest alike");
    }

    void CheckJadIdentity() {
        CheckIdentityOf(jad_, jadPath_, kInvalidJad, InstallStep::JadIdentity, "JAD");
    }

    void CheckJadSizes() {
        const std::string* size = jad_.Find(kJarSize);
        const std::string actual =
            JarFileRead() ? std::to_string(Contents().size) : "the JAR's size in bytes";
        if (size == nullptr) {
            Error(jadPath_, kInvalidJad, InstallStep::JadSizes, kJarSize, "missing from the JAD",
                  "add MIDlet-Jar-Size: " + actual);
        } else if (!ParseJavaInt(*size)) {
            Error(jadPath_, kInvalidJad, InstallStep::JadSizes, kJarSize,
                  Quoted(*size) + " is not a whole number the phone reads",
                  "set MIDlet-Jar-Size to " + actual);
        }
        const std::string* data = jad_.Find(kDataSize);
        if (data != nullptr && !ParseJavaInt(*data)) {
            Error(jadPath_, kInvalidJad, InstallStep::JadSizes, kDataSize,
                  Quoted(*data) + " is not a whole number the phone reads",
                  "write MIDlet-Data-Size as a number of bytes, or remove it");
        }
    }

    void CheckStorage() {
        const std::uint64_t size = Contents().size;
        if (device_.jarSizeLimit > 0 && size > device_.jarSizeLimit) {
            Error(jarPath_, kInsufficientMemory, InstallStep::Storage, {},
                  std::to_string(size) + " bytes; " + device_.name + " takes JARs of at most " +
                      std::to_string(device_.jarSizeLimit),
                  "make the JAR smaller (leave out unused classes and resources, shrink it with "
                  "an obfuscator)");
        } else if (device_.jarSizeAdvice > 0 && size > device_.jarSizeAdvice) {
            Warning(jarPath_, InstallStep::Storage, {},
                    std::to_string(size) + " bytes; " + device_.name +
                        " phones are advised to take at most " +
                        std::to_string(device_.jarSizeAdvice),
                    "make the JAR smaller if the phone refuses it");
        }
    }

    void CheckJarUrl() {
        const std::string* url = jad_.Find(kJarUrl);
        const std::string name = FileNameOf(jarPath_);
        if (url == nullptr || url->empty()) {
            Error(jadPath_, kInvalidJad, InstallStep::JarUrl, kJarUrl,
                  url == nullptr ? "missing from the JAD" : "empty in the JAD",
                  "add MIDlet-Jar-URL: " + name);
            return;
        }
        if (device_.jarUrlLengthLimit > 0 && Utf8Length(*url) > device_.jarUrlLengthLimit) {
            Error(jadPath_, kInvalidJad, InstallStep::JarUrl, kJarUrl,
                  std::to_string(Utf8Length(*url)) + " characters; " + device_.name +
                      " takes at most " + std::to_string(device_.jarUrlLengthLimit),
                  "set MIDlet-Jar-URL to " + name);
        }
        // From a memory card the phone takes a URL without a scheme as a file
        // beside the JAD.
        if (url->find(':') == std::string::npos && FileNameOf(*url) != name) {
            Warning(jadPath_, InstallStep::JarUrl, kJarUrl,
                    "names " + *url +
                        ", not this JAR; installing from the card, the phone looks "
                        "for that file beside the JAD",
                    "set MIDlet-Jar-URL to " + name);
        }
    }

    void CheckSignature() {
        const SuiteSignature signature =
            CheckSuiteSignature(jarPath_, jad_, device_.trustedRoots, now_);
        if (signature.passed) {
            trusted_ = true;
            Warning(jarPath_, InstallStep::Signature, kSignature,
                    "signed, and trusted on " + device_.name +
                        "; any change to the JAR, preparing it included, voids the signature",
                    "sign the JAR again after every change");
            return;
        }
        Error(jadPath_, kAuthenticationFailure, InstallStep::Signature, signature.attribute,
              signature.problem + " (" + signature.reason + ")", signature.fix);
        if (signature.bytesChecked && !signature.bytesMatch &&
            signature.reason != "INVALID_SIGNATURE") {
            Error(jadPath_, kAuthenticationFailure, InstallStep::Signature, kSignature,
                  "the signature does not match the JAR's bytes either",
                  "sign the JAR again after its last change");
        }
    }

    // The JAR as a phone opens it, and its manifest's lines.
    bool ReadManifestOf() {
        if (!Contents().Readable()) {
            ReportJarFault();
            return false;
        }
        if (Contents().manifestState != EntryState::Readable) {
            ReportManifestFault();
            return false;
        }
        manifest_ = ParseManifest(Contents().manifest);
        for (std::size_t i = 0; i < manifest_.problems.size() && i < kListedLineProblems; ++i) {
            const SyntaxProblem& problem = manifest_.problems[i];
            Error(jarPath_, kInvalidJar, InstallStep::ManifestSyntax, problem.attribute,
                  "manifest line " + std::to_string(problem.line) + ": " + problem.message,
                  problem.fix);
        }
        if (manifest_.problems.size() > kListedLineProblems) {
            Error(jarPath_, kInvalidJar, InstallStep::ManifestSyntax, {},
                  std::to_string(manifest_.problems.size() - kListedLineProblems) +
                      " more manifest lines the phone refuses",
                  "write the manifest again as name: value lines");
        }
        for (const SyntaxProblem& note : manifest_.notes) {
            Warning(jarPath_, InstallStep::ManifestSyntax, note.attribute,
                    "manifest line " + std::to_string(note.line) + ": " + note.message, note.fix);
        }
        if (manifest_.notUtf8) {
            Warning(jarPath_, InstallStep::ManifestSyntax, {},
                    "the manifest is not UTF-8; the phone reads its other letters as "
                    "\xEF\xBF\xBD",
                    "save the manifest as UTF-8");
        }
        for (const std::string& name : manifest_.duplicates) {
            // Per-entry sections repeat these by design.
            if (name == "Name" || (name.size() > 7 && name.find("-Digest") != std::string::npos)) {
                continue;
            }
            Warning(jarPath_, InstallStep::ManifestSyntax, name,
                    "given more than once in the manifest; the phone takes the last",
                    "keep one " + name + " line");
        }
        return true;
    }

    void ReportJarFault() {
        struct Text {
            int code;
            const char* message;
            const char* fix;
        };
        const auto text = [&]() -> Text {
            switch (Contents().fault) {
                case JarFault::Missing:
                    return {0, "no such file", "check the JAR's path"};
                case JarFault::Folder:
                    return {0, "is a folder, not a JAR file", "give the JAR file itself"};
                case JarFault::Unreadable:
                    return {0, "cannot be read", "check that the file can be read"};
                case JarFault::Empty:
                    return {kInvalidJar, "is an empty file, not a JAR",
                            "copy the JAR again: this file holds no bytes"};
                case JarFault::TrailingBytes:
                    return {kInvalidJar,
                            "has bytes after the end of its ZIP archive, where a phone looks "
                            "for the archive's directory",
                            "cut the bytes after the archive, or build the JAR again"};
                case JarFault::Zip64:
                    return {kInvalidJar, "is a ZIP64 archive, which phones do not read",
                            "build the JAR again without ZIP64"};
                default:
                    return {kInvalidJar, "is not a ZIP archive, so no JAR",
                            "give the suite's JAR; a JAR is a ZIP archive"};
            }
        }();
        Error(jarPath_, text.code, InstallStep::ReadJar, {}, text.message, text.fix);
    }

    void ReportManifestFault() {
        const std::string name = kManifestEntry;
        switch (Contents().manifestState) {
            case EntryState::Missing:
                if (!Contents().manifestOtherCase.empty()) {
                    Error(jarPath_, kInvalidJar, InstallStep::ReadJar, {},
                          "no " + name + ": the manifest is stored as " +
                              Contents().manifestOtherCase + ", and phones match names exactly",
                          "store the manifest as " + name);
                } else {
                    Error(jarPath_, kInvalidJar, InstallStep::ReadJar, {}, "no " + name,
                          "add a manifest with the suite's attributes as " + name);
                }
                break;
            case EntryState::Empty:
                Error(jarPath_, kInvalidJar, InstallStep::ReadJar, {},
                      name + " is empty, which a phone takes as missing",
                      "write the suite's attributes into the manifest");
                break;
            default:
                Error(jarPath_, kInvalidJar, InstallStep::ReadJar, {},
                      name + " cannot be read as a phone reads it" +
                          (Contents().manifestProblem.empty()
                               ? std::string(" (not stored or deflated, or encrypted)")
                               : ": " + Contents().manifestProblem),
                      "build the JAR again with a plain ZIP or JAR tool");
        }
    }

    // MIDlet-1, MIDlet-2, ... up to the first number missing: each needs a
    // class field and a readable class file.
    void CheckMidlets() {
        struct Midlet {
            std::string key;
            Effective source;
            std::vector<std::string> fields;
        };
        std::vector<Midlet> midlets;
        for (int n = 1;; ++n) {
            const std::string key = "MIDlet-" + std::to_string(n);
            const Effective midlet = Lookup(key);
            if (midlet.value == nullptr) {
                break;
            }
            midlets.push_back({key, midlet, CommaFields(*midlet.value)});
        }
        std::vector<std::string> names;
        for (const Midlet& m : midlets) {
            if (m.fields.size() >= 3 && !m.fields[2].empty()) {
                names.push_back(ClassFileOf(m.fields[2]));
            }
            if (m.fields.size() >= 2 && !m.fields[1].empty()) {
                names.push_back(EntryOfResource(m.fields[1]));
            }
        }
        entryStates_ = jar_->CheckEntries(names);
        for (const Midlet& m : midlets) {
            CheckMidlet(m.key, m.source, m.fields);
        }
        if (midlets.empty()) {
            Warning(jarPath_, InstallStep::Advice, "MIDlet-1",
                    "the suite has no MIDlet: the phone installs it, but there is nothing to run",
                    "add MIDlet-1: name, icon, class to the manifest");
        }
        WarnUnreachedMidlets(static_cast<int>(midlets.size()) + 1);
    }

    void CheckMidlet(const std::string& key, const Effective& midlet,
                     const std::vector<std::string>& fields) {
        const std::string& file = FileOf(midlet.fromJad);
        if (fields.size() < 3 || fields[2].empty()) {
            Error(file, midlet.fromJad ? kInvalidJad : kInvalidJar, InstallStep::MidletClasses, key,
                  fields.size() < 3 ? Quoted(*midlet.value) + " has no class field"
                                    : "the class field (the third) is empty",
                  "write it as name, icon, class (the icon may be empty: Demo, , demo.Main)");
            return;
        }
        const std::string& className = fields[2];
        classes_.push_back(className);
        if (fields[0].empty()) {
            Warning(file, InstallStep::Advice, key, "the name field (the first) is empty",
                    "give the MIDlet the name the phone's menu shows");
        }
        const std::string classFile = ClassFileOf(className);
        const EntryState state = entryStates_[classFile];
        if (state != EntryState::Readable) {
            const bool suffixed =
                className.size() > 6 && className.compare(className.size() - 6, 6, ".class") == 0;
            Error(file, kInvalidJar, InstallStep::MidletClasses, key,
                  "class " + className + ": " + classFile + StateText(state),
                  suffixed ? "write the class name without .class"
                  : state == EntryState::Missing
                      ? "add the class file or fix the class name"
                      : "build the JAR again with a plain ZIP or JAR tool");
        }
        if (fields[1].empty()) {
            return;
        }
        const std::string icon = EntryOfResource(fields[1]);
        if (entryStates_[icon] != EntryState::Readable) {
            IconMissing(file, key, fields[1], InstallStep::MidletClasses);
        }
    }

    static std::string StateText(EntryState state) {
        switch (state) {
            case EntryState::Missing:
                return " is not in the JAR";
            case EntryState::Empty:
                return " is empty, which a phone takes as missing";
            default:
                return " cannot be read (not stored or deflated, encrypted, or its checksum "
                       "fails)";
        }
    }

    void IconMissing(const std::string& file, std::string_view key, std::string_view path,
                     InstallStep step) {
        const std::string message =
            "icon " + std::string(path) + " is not in the JAR (names are case-sensitive)";
        const std::string fix = "add the icon or fix its path";
        if (device_.iconRequired) {
            Error(file, kInvalidJar, step, key, message + "; " + device_.name + " refuses that",
                  fix);
        } else {
            Warning(file, InstallStep::Advice, key, message, fix);
        }
    }

    // Numbers after a gap are never read by the installer.
    void WarnUnreachedMidlets(int gap) {
        const auto warn = [&](const AttributeList& list, bool fromJad) {
            std::set<std::string> reported;
            for (const Attribute& item : list.items) {
                if (!StartsWith(item.name, "MIDlet-")) {
                    continue;
                }
                const std::string_view rest = std::string_view(item.name).substr(7);
                if (!rest.empty() && rest.size() < 9 &&
                    std::all_of(rest.begin(), rest.end(),
                                [](char c) { return c >= '0' && c <= '9'; }) &&
                    rest.front() != '0' && std::stoi(std::string(rest)) > gap &&
                    reported.insert(item.name).second) {
                    Warning(FileOf(fromJad), InstallStep::Advice, item.name,
                            "never read: MIDlet-" + std::to_string(gap) + " is missing",
                            "number the MIDlets from 1 without a gap");
                }
            }
        };
        warn(manifest_, false);
        if (JadInstall()) {
            warn(jad_, true);
        }
    }

    void CheckJarSize() {
        const std::string* size = jad_.Find(kJarSize);
        const std::optional<std::int32_t> stated =
            size != nullptr ? ParseJavaInt(*size) : std::nullopt;
        if (!stated ||
            static_cast<std::int64_t>(*stated) == static_cast<std::int64_t>(Contents().size)) {
            return;
        }
        Error(jadPath_, kJarSizeMismatch, InstallStep::JarSize, kJarSize,
              "the JAD says " + *size + " bytes, the JAR has " + std::to_string(Contents().size),
              "set MIDlet-Jar-Size to " + std::to_string(Contents().size));
    }

    // JAD install: the manifest's Name, Version and Vendor exactly as the JAD's.
    void CheckIdentityMatch() {
        for (std::string_view name : {kName, kVersion, kVendor}) {
            const std::string* inJad = jad_.Find(name);
            const std::string* inManifest = manifest_.Find(name);
            if (inJad == nullptr || (inManifest != nullptr && *inJad == *inManifest)) {
                continue;
            }
            if (inManifest == nullptr) {
                Error(jarPath_, kAttributeMismatch, InstallStep::Identity, name,
                      "missing from the manifest; the JAD gives " + Quoted(*inJad),
                      "add " + std::string(name) + ": " + *inJad + " to the manifest");
            } else {
                Error(jadPath_, kAttributeMismatch, InstallStep::Identity, name,
                      "the JAD gives " + Quoted(*inJad) + ", the manifest " + Quoted(*inManifest),
                      "give " + std::string(name) + " the same value in both files" +
                          EncodingHint(*inJad));
            }
        }
    }

    void CheckJarIdentity() {
        CheckIdentityOf(manifest_, jarPath_, kInvalidJar, InstallStep::Identity, "manifest");
    }

    // A trusted suite's JAD and manifest agree on every key both give, and
    // the manifest repeats the JAD's permissions and per-MIDlet keys.
    void CheckTrustedAgreement() {
        std::set<std::string> compared;
        for (const Attribute& item : manifest_.items) {
            const std::string* inJad = jad_.Find(item.name);
            const std::string& inManifest = *manifest_.Find(item.name);
            if (inJad == nullptr || !compared.insert(item.name).second || *inJad == inManifest) {
                continue;
            }
            Error(jadPath_, kAttributeMismatch, InstallStep::TrustedAgreement, item.name,
                  "signed suite: the JAD gives " + Quoted(*inJad) + ", the manifest " +
                      Quoted(inManifest),
                  "give " + item.name + " the same value in both files, then sign again");
        }
        std::vector<std::string> keys = {std::string(kPermissions),
                                         std::string(kOptionalPermissions)};
        for (std::size_t n = 1; n <= classes_.size(); ++n) {
            for (const char* stem : kPerMidletKeys) {
                keys.push_back(stem + std::to_string(n));
            }
        }
        for (const std::string& key : keys) {
            if (jad_.Find(key) != nullptr && manifest_.Find(key) == nullptr) {
                Error(jarPath_, kAttributeMismatch, InstallStep::TrustedAgreement, key,
                      "signed suite: in the JAD but not in the manifest",
                      "add " + key + " to the manifest as the JAD gives it, then sign again");
            }
        }
    }

    void CheckPermissions() {
        for (std::string_view key : {kPermissions, kOptionalPermissions}) {
            const Effective list = Lookup(key);
            if (list.value == nullptr || list.value->empty()) {
                continue;
            }
            for (const std::string& name : CommaFields(*list.value)) {
                if (name.empty()) {
                    Error(FileOf(list.fromJad), kInvalidJad, InstallStep::TrustedPermissions, key,
                          "an empty permission between commas",
                          "remove the extra comma from " + std::string(key));
                } else if (key == kPermissions &&
                           std::find(device_.permissions.begin(), device_.permissions.end(),
                                     name) == device_.permissions.end()) {
                    Error(FileOf(list.fromJad), kAuthorizationFailure,
                          InstallStep::TrustedPermissions, key,
                          "permission " + name + " is unknown to " + device_.name,
                          "fix the permission's name, or move it to MIDlet-Permissions-Opt");
                }
            }
        }
    }

    void CheckRuntime() {
        const Effective runtime = Lookup(kRuntime);
        if (runtime.value != nullptr && !runtime.value->empty() && *runtime.value != kRuntimeMidp) {
            Error(FileOf(runtime.fromJad), kIncompatible, InstallStep::RuntimeEnvironment, kRuntime,
                  Quoted(*runtime.value) + " is not MIDP.CLDC",
                  "remove Runtime-Execution-Environment or set it to MIDP.CLDC");
        }
    }

    // MicroEdition-Configuration (one name) and -Profile (a list, each of
    // which the device must offer).
    void CheckPlatform(std::string_view key, const std::vector<std::string>& offered,
                       InstallStep step) {
        const Effective value = Lookup(key);
        const std::string& file = FileOf(value.fromJad);
        const std::string example = key == kConfiguration ? "CLDC-1.0" : "MIDP-2.0";
        std::vector<std::string> wanted;
        if (value.value != nullptr) {
            wanted = key == kConfiguration ? std::vector<std::string>{*value.value}
                                           : BlankSeparatedWords(*value.value);
        }
        if (wanted.empty() || wanted.front().empty()) {
            Error(file, kInvalidJar, step, key,
                  value.value == nullptr
                      ? "missing from the JAD and the manifest"
                      : "empty in the " + std::string(value.fromJad
                                                          ? "JAD, which hides the manifest's value"
                                                          : "manifest"),
                  "add " + std::string(key) + ": " + example + " to the manifest");
            return;
        }
        for (const std::string& name : wanted) {
            const PlatformMatch match = MatchPlatform(name, offered);
            if (match == PlatformMatch::Malformed) {
                Error(file, 0, step, key,
                      Quoted(name) +
                          " has a level that is not a number; the installer stops "
                          "with an internal error and shows no code",
                      "write it as name-level, such as " + example);
                return;
            }
            if (match == PlatformMatch::Unsupported) {
                Error(file, kIncompatible, step, key,
                      "the suite asks for " + name + "; " + device_.name + " offers " +
                          Joined(offered),
                      "set " + std::string(key) + " to " + SameFamily(name, offered) +
                          " if the suite uses nothing of " + name +
                          ", or choose a device that offers it");
                return;
            }
        }
    }

    // The device's name of the same family as `wanted` (MIDP-2.0 for
    // MIDP-2.1), else all it offers.
    static std::string SameFamily(std::string_view wanted,
                                  const std::vector<std::string>& offered) {
        const std::string_view family = wanted.substr(0, wanted.find('-') + 1);
        for (const std::string& name : offered) {
            if (!family.empty() && StartsWith(name, family)) {
                return name;
            }
        }
        return Joined(offered);
    }

    static std::string Joined(const std::vector<std::string>& words) {
        std::string text;
        for (const std::string& word : words) {
            text += (text.empty() ? "" : " ") + word;
        }
        return text;
    }

    void CheckPush() {
        std::vector<std::string> registered;
        for (int n = 1;; ++n) {
            const std::string key = "MIDlet-Push-" + std::to_string(n);
            const Effective push = Lookup(key);
            if (push.value == nullptr) {
                return;
            }
            PushProblem problem;
            if (!CheckPushEntry(*push.value, classes_, device_.pushSchemes, registered, problem)) {
                Error(FileOf(push.fromJad), problem.code, InstallStep::Push, key, problem.message,
                      problem.fix);
                if (problem.code == 0) {
                    return;  // the installer stops there
                }
            }
        }
    }

    void CheckAdvice() {
        const Effective icon = Lookup(kIcon);
        if (icon.value != nullptr && !icon.value->empty() &&
            !Contents().HasEntry(EntryOfResource(*icon.value))) {
            IconMissing(FileOf(icon.fromJad), kIcon, *icon.value, InstallStep::Advice);
        }
        // The manifest names entries in UTF-8; an entry whose name is not
        // UTF-8 cannot be named there, and installers may not find it.
        const auto bad = std::count_if(Contents().entries.begin(), Contents().entries.end(),
                                       [](const std::string& e) { return !IsValidUtf8(e); });
        if (bad > 0) {
            Warning(jarPath_, InstallStep::Advice, {},
                    std::to_string(bad) +
                        " entry name(s) are not UTF-8, so the manifest cannot "
                        "name them",
                    "rename those entries with plain letters and build the JAR again");
        }
    }

    SuiteReport Report() {
        std::stable_sort(findings_.begin(), findings_.end(),
                         [](const Finding& a, const Finding& b) { return a.step < b.step; });
        SuiteReport report;
        report.jar = jarPath_;
        report.jad = jadPath_;
        report.device = device_.name;
        const auto decisive =
            std::find_if(findings_.begin(), findings_.end(),
                         [](const Finding& f) { return f.severity == Severity::Error; });
        if (decisive != findings_.end()) {
            report.verdict = {false, decisive->code, *decisive};
            findings_.erase(decisive);
        }
        report.findings = std::move(findings_);
        return report;
    }

    std::string jarPath_;
    std::string jadPath_;
    const DeviceProfile& device_;
    std::time_t now_;
    bool jadRead_ = false;
    bool trusted_ = false;
    AttributeList jad_;
    AttributeList manifest_;
    std::optional<OpenJar> jar_;
    std::map<std::string, EntryState> entryStates_;
    std::vector<std::string> classes_;  // the MIDlets' classes
    std::vector<Finding> findings_;
};

}  // namespace

SuiteReport CheckSuite(const std::string& jar, const std::string& jad,
                       const CheckOptions& options) {
    return SuiteCheck(jar, jad, options).Run();
}

bool SuiteReport::HasWarnings() const {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.severity == Severity::Warning; });
}

}  // namespace midlet
