#include "midlet/ProjectNames.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "midlet/AttributeValues.h"
#include "midlet/FileDigest.h"
#include "midlet/IdsWriter.h"
#include "midlet/ManifestText.h"
#include "midlet/StagedProject.h"
#include "midlet/Staging.h"
#include "midlet/StepFailure.h"
#include "midlet/WorkspaceFiles.h"
#include "platform/CodePage.h"
#include "platform/Durable.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"

namespace midlet {

namespace {

constexpr char kDelim = platform::PathDelim;

constexpr std::string_view kNameKey = "MIDlet-Name";
constexpr std::string_view kVendorKey = "MIDlet-Vendor";
constexpr std::string_view kVersionKey = "MIDlet-Version";
constexpr std::string_view kFirstMidletKey = "MIDlet-1";
constexpr std::string_view kDigestKey = "SHA-256";
constexpr std::size_t kDigestLength = 64;

// The IDS file's line that names its suite (by the cleaned name).
constexpr std::size_t kIdsNameLine = 1;

// The value of the attribute `key` (in any letter case) in manifest or JAD
// text: the last line that states it, with its continued lines joined and
// blanks trimmed; nothing when no line does. Bytes are taken as they are,
// so names in any code page compare as written.
std::optional<std::string> AttributeOf(std::string_view text, std::string_view key) {
    const std::string wanted = platform::AsciiLowerCase(key);
    std::optional<std::string> found;
    bool inWanted = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size() && text[pos] == '\r') {
            ++pos;
        }
        if (pos < text.size() && text[pos] == '\n') {
            ++pos;
        }
        if (line.starts_with(' ')) {
            if (inWanted) {
                found->append(line.substr(1));
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        inWanted = colon != std::string_view::npos &&
                   platform::AsciiLowerCase(line.substr(0, colon)) == wanted;
        if (inWanted) {
            found = std::string(line.substr(colon + 1));
        }
    }
    if (found) {
        found = std::string(TrimBlanks(*found));
    }
    return found;
}

std::string ValueOf(std::string_view text, std::string_view key) {
    return AttributeOf(text, key).value_or("");
}

bool IsDigest(std::string_view text) {
    return text.size() == kDigestLength &&
           text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The record's text: the suite's attributes in manifest form, the digest
// last, so that a record cut short is seen to be.
std::string RecordText(const SuiteIdentity& suite) {
    std::string text;
    for (const auto& [key, value] :
         {std::pair{kNameKey, &suite.name}, std::pair{kVendorKey, &suite.vendor},
          std::pair{kVersionKey, &suite.version}, std::pair{kDigestKey, &suite.sha256}}) {
        text.append(key).append(": ").append(*value).append("\r\n");
    }
    return text;
}

// The suite a record names; nothing for a record that is not whole.
std::optional<SuiteIdentity> ParseRecord(std::string_view text) {
    SuiteIdentity suite;
    const auto name = AttributeOf(text, kNameKey);
    const auto vendor = AttributeOf(text, kVendorKey);
    const auto version = AttributeOf(text, kVersionKey);
    const auto digest = AttributeOf(text, kDigestKey);
    if (!name || !vendor || !version || !digest || !IsDigest(*digest)) {
        return std::nullopt;
    }
    return SuiteIdentity{*name, *vendor, *version, *digest, {}};
}

// For a project without a record: whether its JAD states this suite. A
// full JAD holds the cleaned name, the vendor and the version; a simple
// one only the MIDlets, under the cleaned name. A JAD that tells neither
// is taken for this suite's, as every project was before records.
bool JadStatesSuite(std::string_view jad, const SuiteIdentity& suite) {
    const std::string_view cleaned = TrimBlanks(suite.cleanedName);
    if (const auto name = AttributeOf(jad, kNameKey)) {
        return *name == cleaned && ValueOf(jad, kVendorKey) == suite.vendor &&
               ValueOf(jad, kVersionKey) == suite.version;
    }
    if (const auto midlet = AttributeOf(jad, kFirstMidletKey)) {
        return TrimBlanks(std::string_view(*midlet).substr(0, midlet->find(','))) == cleaned;
    }
    return true;
}

}  // namespace

SuiteIdentity SuiteIdentityOf(std::string_view manifest, const std::string& cleanedName,
                              const std::string& listedJar) {
    return SuiteIdentity{ValueOf(manifest, kNameKey), ValueOf(manifest, kVendorKey),
                         ValueOf(manifest, kVersionKey), Sha256OfFile(listedJar), cleanedName};
}

bool SameSuite(const SuiteIdentity& a, const SuiteIdentity& b) {
    return (a.name == b.name && a.vendor == b.vendor && a.version == b.version) ||
           (!a.sha256.empty() && a.sha256 == b.sha256);
}

std::string CandidateName(const std::string& base, std::size_t n) {
    if (n <= 1) {
        return base;
    }
    const std::string number = std::to_string(n);
    if (number.size() >= kProjectNameLength) {
        return "";
    }
    return CutToCharacters(base, kProjectNameLength - number.size()) + number;
}

ProjectNames::ProjectNames(std::string programFolder, bool force)
    : programFolder_(std::move(programFolder)),
      projectsFolder_(programFolder_ + "projects" + kDelim),
      tempFolder_(programFolder_ + "temp" + kDelim),
      recordsFolder_(tempFolder_ + kSuiteRecordsFolder + kDelim),
      force_(force) {}

ProjectClaim ProjectNames::Claim(const SuiteIdentity& suite) {
    const std::string base = ProjectNameOf(suite.cleanedName);
    if (base.empty()) {
        return {base, ClaimKind::MakeNew};  // no project can take it: the move-in says why
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t n = 1;; ++n) {
        const std::string name = CandidateName(base, n);
        if (name.empty()) {
            throw platform::Exception("Every project name for " + base + " is taken");
        }
        const Holder holder = HolderOf(name, suite);
        if (holder == Holder::OtherSuite) {
            continue;
        }
        if (holder == Holder::ThisSuite && (!force_ || ClaimedSuite(name) != nullptr)) {
            return {name, ClaimKind::AlreadyGenerated};
        }
        claims_.emplace(platform::FoldFileName(name), suite);
        return {name, holder == Holder::ThisSuite ? ClaimKind::MakeAgain : ClaimKind::MakeNew};
    }
}

void ProjectNames::Release(const ProjectClaim& claim) {
    if (claim.kind == ClaimKind::AlreadyGenerated) {
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    claims_.erase(platform::FoldFileName(claim.name));
}

void ProjectNames::RecordClaim(const ProjectClaim& claim, const SuiteIdentity& suite) {
    WriteRecord(claim.name, suite);
}

const SuiteIdentity* ProjectNames::ClaimedSuite(const std::string& name) const {
    const auto found = claims_.find(platform::FoldFileName(name));
    return found == claims_.end() ? nullptr : &found->second;
}

ProjectNames::Holder ProjectNames::HolderOf(const std::string& name,
                                            const SuiteIdentity& suite) const {
    if (const SuiteIdentity* claimed = ClaimedSuite(name)) {
        return SameSuite(*claimed, suite) ? Holder::ThisSuite : Holder::OtherSuite;
    }
    const Holder holder = HolderOfProject(name, suite);
    return holder != Holder::Nobody ? holder : HolderOfIds(name, suite);
}

// Whose is what the projects folder holds under the name: a whole project
// is its record's suite's (or, without one, its JAD's); anything else there
// is no suite's to take.
ProjectNames::Holder ProjectNames::HolderOfProject(const std::string& name,
                                                   const SuiteIdentity& suite) const {
    const std::string place = projectsFolder_ + name;
    const platform::DWORD attributes = platform::GetFileAttributes(place);
    if (attributes == platform::INVALID_FILE_ATTRIBUTES) {
        return Holder::Nobody;
    }
    const std::string jad = place + kDelim + name + ".jad";
    if ((attributes & platform::faDirectory) == 0 || !platform::FileExists(jad) ||
        !platform::FileExists(place + kDelim + name + ".jar")) {
        return Holder::OtherSuite;
    }
    const std::string record = RecordPath(name);
    if (platform::FileExists(record)) {
        if (const auto recorded = ParseRecord(ReadFileBytes(record))) {
            return SameSuite(*recorded, suite) ? Holder::ThisSuite : Holder::OtherSuite;
        }
    }
    return JadStatesSuite(ReadFileBytes(jad), suite) ? Holder::ThisSuite : Holder::OtherSuite;
}

// An IDS file without its project: another suite's when its record says
// so (or, without one, when it names another cleaned name); this suite's
// own is free to write again.
ProjectNames::Holder ProjectNames::HolderOfIds(const std::string& name,
                                               const SuiteIdentity& suite) const {
    const std::string ids = IdsFilePath(programFolder_, name);
    if (!platform::FileExists(ids)) {
        return Holder::Nobody;
    }
    const std::string record = RecordPath(name);
    if (platform::FileExists(record)) {
        if (const auto recorded = ParseRecord(ReadFileBytes(record))) {
            return SameSuite(*recorded, suite) ? Holder::Nobody : Holder::OtherSuite;
        }
    }
    const std::vector<std::string> lines = platform::ReadAllLines(ids);
    const bool ours = lines.size() > kIdsNameLine && lines[kIdsNameLine] == suite.cleanedName;
    return ours ? Holder::Nobody : Holder::OtherSuite;
}

std::string ProjectNames::RecordPath(const std::string& name) const {
    return recordsFolder_ + name;
}

// The record goes in by a rename, so a reader finds the whole record or
// none. It gets no flush of its own: the flush of the file system before
// the project's move takes it to the disk, and a record a power cut still
// cuts short is no record (its digest line is missing): the project's JAD
// tells instead.
void ProjectNames::WriteRecord(const std::string& name, const SuiteIdentity& suite) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!recordsFolderMade_) {
            CheckResult(platform::ForceDirectories(recordsFolder_));
            recordsFolderMade_ = true;
        }
    }
    const std::string staged = NewStagingPath(tempFolder_);
    try {
        WriteFileBytes(staged, RecordText(suite));
        CheckResult(
            platform::MoveFileEx(staged, RecordPath(name), platform::MOVEFILE_REPLACE_EXISTING));
    } catch (const std::exception&) {
        // The failure raised is what the caller reports; a staged file that
        // cannot be removed now goes with the next run's stale staging.
        try {
            DiscardFile(staged);
        } catch (const std::exception&) {
        }
        throw;
    }
}

}  // namespace midlet
