// The preparation refuses an application of another Java platform, which
// collections often label as a MIDlet suite, with a message naming it.
#include <exception>

#include "midlet/DescriptorAttributes.h"
#include "midlet/ManifestEntry.h"
#include "midlet/SuiteFiles.h"
#include "midlet/suite/JarEntries.h"
#include "midlet/suite/SuiteFacts.h"
#include "midlet/suite/SuitePreparation.h"
#include "platform/Errors.h"

namespace midlet {

namespace {

AttributeList JadOf(const std::string& path) {
    std::string text;
    return !path.empty() && ReadSmallFile(path, text) ? ParseJad(text) : AttributeList{};
}

}  // namespace

void RefuseOtherPlatforms(archive::TZipBaseArchiver& zip, const std::string& listed,
                          const std::string& originalJad) {
    // A MIDlet suite's manifest says so, and ends the check at once.
    const AttributeList manifest = ReadManifestAttributes(zip);
    if (KindFromDescriptors({}, manifest, {}, false) == SuiteKind::MidletSuite) {
        return;
    }
    JarEntries entries(zip);
    const AttributeList jad = JadOf(originalJad);
    const bool jam = !JamBeside(listed).empty();
    std::optional<SuiteKind> kind = KindFromDescriptors(entries.Names(), manifest, jad, jam);
    if (kind == SuiteKind::MidletSuite) {
        return;
    }
    // Only the classes can tell now; reading them costs only JARs that fail.
    if (!kind) {
        kind = ComputeSuiteFacts(entries, manifest, jad, jam).kind;
    }
    if (*kind == SuiteKind::DoJa || *kind == SuiteKind::Wipi ||
        *kind == SuiteKind::BlackBerryModule) {
        throw platform::Exception(std::string("This is a") +
                                  (*kind == SuiteKind::DoJa ? "n " : " ") + SuiteKindText(*kind) +
                                  ", not a MIDlet suite");
    }
}

}  // namespace midlet
