// What preparing a listed suite lost on the way to its project: the
// signature, and the keys that only the listed JAD carried.
#include <set>
#include <string_view>

#include "midlet/DescriptorAttributes.h"
#include "midlet/InstallCheck.h"
#include "midlet/JarReader.h"
#include "midlet/JarSignature.h"
#include "midlet/SuiteFiles.h"
#include "platform/Paths.h"

namespace midlet {

namespace {

constexpr std::string_view kSignature = "MIDlet-Jar-RSA-SHA1";
constexpr std::string_view kCertificate = "MIDlet-Certificate-1-1";

// The keys every new JAD states anew, and the signature's own keys, which
// the signature finding covers.
bool MadeAnewOrSignature(std::string_view name) {
    return name == "MIDlet-Jar-Size" || name == "MIDlet-Jar-URL" || name == kSignature ||
           name.substr(0, 19) == "MIDlet-Certificate-";
}

AttributeList ReadJadAttributes(const std::string& path) {
    std::string text;
    if (path.empty() || !ReadSmallFile(path, text)) {
        return {};
    }
    return ParseJad(text);
}

AttributeList ReadManifestAttributes(const std::string& jarPath) {
    const JarContents jar = ReadJar(jarPath);
    return jar.Readable() && jar.manifestState == EntryState::Readable ? ParseManifest(jar.manifest)
                                                                       : AttributeList{};
}

// True when the prepared JAD carries a signature that still verifies.
bool KeepsSignature(const std::string& preparedJar, const AttributeList& preparedJad) {
    const std::string* signature = preparedJad.Find(kSignature);
    const std::string* certificate = preparedJad.Find(kCertificate);
    return signature != nullptr && certificate != nullptr &&
           VerifyJarSignature(preparedJar, *signature, *certificate).verified;
}

}  // namespace

std::vector<Finding> CheckPreparationLoss(const std::string& listedJar,
                                          const std::string& listedJad,
                                          const std::string& preparedJar,
                                          const std::string& preparedJad) {
    std::vector<Finding> findings;
    const AttributeList listed = ReadJadAttributes(listedJad);
    if (listed.items.empty()) {
        return findings;
    }
    const AttributeList prepared = ReadJadAttributes(preparedJad);
    if (listed.Find(kSignature) != nullptr && !KeepsSignature(preparedJar, prepared)) {
        findings.push_back({listedJar, Severity::Warning, kAuthenticationFailure,
                            std::string(kSignature),
                            "the listed suite is signed; the prepared " +
                                (preparedJad.empty() ? preparedJar : preparedJad) +
                                " carries no valid signature, so a phone installs it untrusted, "
                                "without the permissions the signature granted",
                            "sign the prepared JAR again if the suite needs its permissions",
                            InstallStep::Advice});
    }
    const AttributeList manifest = ReadManifestAttributes(listedJar);
    std::set<std::string> reported;
    for (const Attribute& item : listed.items) {
        if (MadeAnewOrSignature(item.name) || manifest.Find(item.name) != nullptr ||
            prepared.Find(item.name) != nullptr || !reported.insert(item.name).second) {
            continue;
        }
        findings.push_back({listedJad, Severity::Warning, 0, item.name,
                            "only in the listed JAD; the prepared " +
                                (preparedJad.empty() ? std::string("suite has no JAD")
                                                     : preparedJad + " lacks it"),
                            "add " + item.name + " to the prepared JAD if the suite reads it",
                            InstallStep::Advice});
    }
    return findings;
}

SuiteReport CheckPrepared(const std::string& listedJar, const std::string& preparedJar,
                          const std::string& preparedJad, const CheckOptions& options,
                          const std::string& listedJad) {
    // Both folders are resolved once for the spell of the check, not again
    // for every file read in them.
    const platform::PinnedFolder prepared(platform::ExtractFilePath(preparedJar));
    const platform::PinnedFolder listed(platform::ExtractFilePath(listedJar));
    SuiteReport report = CheckSuite(preparedJar, preparedJad, options);
    const std::vector<Finding> lost = CheckPreparationLoss(
        listedJar, listedJad.empty() ? JadBeside(listedJar) : listedJad, preparedJar, preparedJad);
    report.findings.insert(report.findings.end(), lost.begin(), lost.end());
    return report;
}

}  // namespace midlet
