// The installer's rules, one suite per rule and one per pair of defects
// whose order decides: a real corpus suite (hello.jar with a JAD written
// here), its manifest and JAD changed as the row says and its JAR rebuilt
// with python's zipfile, signed with keys made by `openssl` where the row
// says so. The verdict must be the code the installer gives, on the file
// and attribute the row names, and every finding must say what to change.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>

#include "midlet/InstallCheck.h"
#include "midlet/PrepareSupport.h"

namespace {

using preptest::Replace;
namespace fs = std::filesystem;

const std::string kCorpusJar = QUELLOR_CORPUS_DIR "/midlets/Apress_j2me-games-w-midp2/hello.jar";
constexpr const char* kClass = "net/frog_parrot/hello/Hello.class";
constexpr const char* kIcon = "images/hello.png";
constexpr int kOk = 900;
constexpr std::time_t kDay = 24 * 60 * 60;

enum class Signing {
    None,
    Trusted,        // by a certificate the test device's root issued
    UnknownRoot,    // by a self-signed certificate the device does not hold
    OtherBytes,     // trusted signer, over other bytes than the JAR's
    NoCertificate,  // the signature without MIDlet-Certificate-1-1
    CorruptCertificate,
    NoDigitalSignature,  // the signer's keyUsage lacks digitalSignature
    NotForCode,          // the signer's extendedKeyUsage lacks codeSigning
};

struct Suite {
    std::vector<std::string> manifest = {
        "Manifest-Version: 1.0",
        "MIDlet-Name: Hello World",
        "MIDlet-Vendor: frog-parrot.net",
        "MIDlet-Version: 2.0",
        "MicroEdition-Configuration: CLDC-1.0",
        "MicroEdition-Profile: MIDP-2.0",
        "MIDlet-1: Hello World, /images/hello.png, net.frog_parrot.hello.Hello",
        "MIDlet-Description: Hello World for MIDP",
    };
    std::vector<std::string> jad = {
        "MIDlet-Name: Hello World",
        "MIDlet-Vendor: frog-parrot.net",
        "MIDlet-Version: 2.0",
        "MIDlet-1: Hello World, /images/hello.png, net.frog_parrot.hello.Hello",
        "MIDlet-Description: Hello World for MIDP",
        "MIDlet-Jar-URL: hello.jar",
        "MIDlet-Jar-Size: SIZE",
    };
    std::string jadEnd = "\r\n";
    std::string manifestEnd = "\r\n";
    std::string jadStart;  // bytes before the first line
    std::string manifestStart;
    std::string manifestEntry = "META-INF/MANIFEST.MF";  // empty: no manifest
    std::vector<std::string> zipOps;  // -NAME drop, +NAME=bytes add, !NAME corrupt its data
    bool withJad = true;
    Signing signing = Signing::None;
    std::string device = "midp20-cldc11";
    std::time_t clockShift = 0;           // the phone's clock against today
    std::optional<std::string> jarBytes;  // the JAR file holds these instead
    std::string jarTail;                  // bytes after the archive
    bool jarMissing = false;
    bool jarIsFolder = false;
};

// The line of `key` replaced by `line`, or `line` added when there is none;
// an empty `line` drops it.
void Set(std::vector<std::string>& lines, const std::string& key, const std::string& line) {
    const auto at = std::find_if(lines.begin(), lines.end(),
                                 [&](const std::string& l) { return l.rfind(key + ":", 0) == 0; });
    if (at == lines.end()) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    } else if (line.empty()) {
        lines.erase(at);
    } else {
        *at = line;
    }
}

void SetBoth(Suite& s, const std::string& key, const std::string& line) {
    Set(s.manifest, key, line);
    Set(s.jad, key, line);
}

std::string Text(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + end;
    }
    return text;
}

struct Row {
    const char* label;
    std::function<void(Suite&)> edit;
    int verdict;                      // 900: installs; 0: stops without a code
    const char* attribute = nullptr;  // the verdict's attribute ("" none), null: not checked
    const char* file = nullptr;       // "jar" or "jad", null: not checked
};

const Row kRows[] = {
    {"Sound", [](Suite&) {}, kOk},
    {"SoundWithoutJad", [](Suite& s) { s.withJad = false; }, kOk},
    // the JAD reader
    {"JadLfLineEnds", [](Suite& s) { s.jadEnd = "\n"; }, kOk},
    {"JadCrOnlyLineEnds", [](Suite& s) { s.jadEnd = "\r"; }, 906, "MIDlet-Vendor", "jad"},
    {"JadContinuationLine",
     [](Suite& s) { Set(s.jad, "MIDlet-Description", "MIDlet-Description: Hello\r\n World"); },
     906, "", "jad"},
    {"JadContinuationWithColon", [](Suite& s) { s.jad.push_back(" Extra: x"); }, 906, "", "jad"},
    {"JadBlankBeforeColon", [](Suite& s) { s.jad.push_back("MIDlet-Info-URL : x"); }, 906, "",
     "jad"},
    {"JadBlankLineSkipped", [](Suite& s) { s.jad.insert(s.jad.begin() + 2, ""); }, kOk},
    {"JadLineOfBlanks", [](Suite& s) { s.jad.insert(s.jad.begin() + 2, "  \t "); }, 906, "",
     "jad"},
    {"JadKeyWithSlash", [](Suite& s) { s.jad.push_back("Bad/Name: x"); }, 906, "", "jad"},
    {"JadKeyNotAscii", [](Suite& s) { s.jad.push_back("N\xC3\xA4me.x: y"); }, kOk},
    {"JadControlInValue",
     [](Suite& s) { Set(s.jad, "MIDlet-Description", "MIDlet-Description: A\x01 B"); }, 906,
     "MIDlet-Description", "jad"},
    {"JadControlAtValueEnd",
     [](Suite& s) { Set(s.jad, "MIDlet-Description", "MIDlet-Description: AB\x01"); }, kOk},
    {"JadTabInValue",
     [](Suite& s) { Set(s.jad, "MIDlet-Description", "MIDlet-Description: A\tB"); }, kOk},
    {"JadSubstituteDeleted",
     [](Suite& s) { Set(s.jad, "MIDlet-Name", "MIDlet-Name: Hello\x1A World"); }, kOk},
    {"JadLastDuplicateWins",
     [](Suite& s) {
         Set(s.jad, "MIDlet-Version", "MIDlet-Version: 1.0");
         s.jad.push_back("MIDlet-Version: 2.0");
     },
     kOk},
    {"JadLastDuplicateDiffers", [](Suite& s) { s.jad.push_back("MIDlet-Version: 1.0"); }, 905,
     "MIDlet-Version", "jad"},
    {"JadKeyCase",
     [](Suite& s) { Set(s.jad, "MIDlet-Jar-URL", "MIDlet-Jar-Url: hello.jar"); }, 906,
     "MIDlet-Jar-URL", "jad"},
    {"JadByteOrderMark", [](Suite& s) { s.jadStart = "\xEF\xBB\xBF"; }, 906, "MIDlet-Name",
     "jad"},
    {"JadIsAZipArchive", [](Suite& s) { s.jadStart = std::string("PK\x03\x04\0\0", 6); }, 906,
     "", "jad"},
    {"JadLatin1InBoth", [](Suite& s) { SetBoth(s, "MIDlet-Name", "MIDlet-Name: Caf\xE9"); }, kOk},
    {"JadLatin1ManifestUtf8",
     [](Suite& s) {
         Set(s.jad, "MIDlet-Name", "MIDlet-Name: Caf\xE9");
         Set(s.manifest, "MIDlet-Name", "MIDlet-Name: Caf\xC3\xA9");
     },
     905, "MIDlet-Name", "jad"},
    // the JAD's attributes
    {"JadNoName", [](Suite& s) { Set(s.jad, "MIDlet-Name", ""); }, 906, "MIDlet-Name", "jad"},
    {"JadEmptyName", [](Suite& s) { Set(s.jad, "MIDlet-Name", "MIDlet-Name:"); }, 906,
     "MIDlet-Name", "jad"},
    {"JadNoVendor", [](Suite& s) { Set(s.jad, "MIDlet-Vendor", ""); }, 906, "MIDlet-Vendor",
     "jad"},
    {"JadEmptyVersion", [](Suite& s) { Set(s.jad, "MIDlet-Version", "MIDlet-Version: "); }, 906,
     "MIDlet-Version", "jad"},
    {"VersionOfFourParts",
     [](Suite& s) { SetBoth(s, "MIDlet-Version", "MIDlet-Version: 1.0.2.3"); }, 906,
     "MIDlet-Version", "jad"},
    {"VersionEndingInDot", [](Suite& s) { SetBoth(s, "MIDlet-Version", "MIDlet-Version: 1."); },
     906, "MIDlet-Version", "jad"},
    {"VersionWithLetter", [](Suite& s) { SetBoth(s, "MIDlet-Version", "MIDlet-Version: F1.1"); },
     906, "MIDlet-Version", "jad"},
    {"VersionNegativePasses",
     [](Suite& s) { SetBoth(s, "MIDlet-Version", "MIDlet-Version: -1"); }, kOk},
    {"VersionLeadingZeros",
     [](Suite& s) { SetBoth(s, "MIDlet-Version", "MIDlet-Version: 01.002.3"); }, kOk},
    {"JarSizeMissing", [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", ""); }, 906,
     "MIDlet-Jar-Size", "jad"},
    {"JarSizeNotANumber", [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: 3k"); },
     906, "MIDlet-Jar-Size", "jad"},
    {"JarSizePlusSign", [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: +SIZE"); },
     906, "MIDlet-Jar-Size", "jad"},
    {"JarSizeOverflows",
     [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: 99999999999"); }, 906,
     "MIDlet-Jar-Size", "jad"},
    {"JarSizeNegative", [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: -1"); },
     904, "MIDlet-Jar-Size", "jad"},
    {"JarSizeLeadingZeros",
     [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: 00SIZE"); }, kOk},
    {"JarSizeDiffers", [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: 1"); }, 904,
     "MIDlet-Jar-Size", "jad"},
    {"DataSizeNotANumber", [](Suite& s) { s.jad.push_back("MIDlet-Data-Size: 4 KB"); }, 906,
     "MIDlet-Data-Size", "jad"},
    {"DataSizeNegative", [](Suite& s) { s.jad.push_back("MIDlet-Data-Size: -5"); }, kOk},
    {"DataSizeOnlyInManifestNotRead",
     [](Suite& s) { s.manifest.push_back("MIDlet-Data-Size: lots"); }, kOk},
    {"JarUrlMissing", [](Suite& s) { Set(s.jad, "MIDlet-Jar-URL", ""); }, 906, "MIDlet-Jar-URL",
     "jad"},
    {"JarUrlEmpty", [](Suite& s) { Set(s.jad, "MIDlet-Jar-URL", "MIDlet-Jar-URL:"); }, 906,
     "MIDlet-Jar-URL", "jad"},
    // reading the JAR
    {"NoManifest", [](Suite& s) { s.manifestEntry.clear(); }, 907, "", "jar"},
    {"ManifestInOtherCase", [](Suite& s) { s.manifestEntry = "meta-inf/manifest.mf"; }, 907, "",
     "jar"},
    {"ManifestEmpty",
     [](Suite& s) {
         s.manifest.clear();
         s.manifestEnd.clear();
     },
     907, "", "jar"},
    {"NotAZip", [](Suite& s) { s.jarBytes = "PK\x03\x04 but no archive"; }, 907, "", "jar"},
    {"EmptyFile", [](Suite& s) { s.jarBytes = ""; }, 907, "", "jar"},
    {"BytesAfterTheArchive", [](Suite& s) { s.jarTail = "trailing"; }, 907, "", "jar"},
    {"JarMissing", [](Suite& s) { s.jarMissing = true; }, 0, "", "jar"},
    {"JarIsAFolder", [](Suite& s) { s.jarIsFolder = true; }, 0, "", "jar"},
    // the manifest reader
    {"ManifestByteOrderMark", [](Suite& s) { s.manifestStart = "\xEF\xBB\xBF"; }, 907, "", "jar"},
    {"ManifestContinuation",
     [](Suite& s) { Set(s.manifest, "MIDlet-Name", "MIDlet-Name: Hello W\r\n orld"); }, kOk},
    {"ManifestTabIsNoContinuation",
     [](Suite& s) { Set(s.manifest, "MIDlet-Description", "MIDlet-Description: A\r\n\tB"); },
     907, "", "jar"},
    {"ManifestCrOnlyLineEnds", [](Suite& s) { s.manifestEnd = "\r"; }, kOk},
    {"ManifestNulInValue",
     [](Suite& s) {
         Set(s.manifest, "MIDlet-Description", std::string("MIDlet-Description: A\0B", 23));
     },
     907, "MIDlet-Description", "jar"},
    {"ManifestControlInValue",
     [](Suite& s) { Set(s.manifest, "MIDlet-Description", "MIDlet-Description: A\x01 B"); },
     kOk},
    {"ManifestKeyWithDot", [](Suite& s) { s.manifest.push_back("Bad.Key: x"); }, 907, "", "jar"},
    {"ManifestBlankBeforeColon", [](Suite& s) { s.manifest.push_back("Bad-Key : x"); }, 907, "",
     "jar"},
    {"ManifestLineWithoutColon", [](Suite& s) { s.manifest.push_back("just text"); }, 907, "",
     "jar"},
    {"ManifestNoBlankAfterColon",
     [](Suite& s) { Set(s.manifest, "MIDlet-Description", "MIDlet-Description:A"); }, kOk},
    {"ManifestLaterSectionOverrides",
     [](Suite& s) {
         s.manifest.push_back("");
         s.manifest.push_back("Name: net/frog_parrot/hello/Hello.class");
         s.manifest.push_back("MIDlet-Version: 9.9");
     },
     905, "MIDlet-Version", "jad"},
    // MIDlet-n
    {"ClassMissing", [](Suite& s) { s.zipOps.push_back(std::string("-") + kClass); }, 907,
     "MIDlet-1", "jad"},
    {"ClassMissingWithoutJad",
     [](Suite& s) {
         s.withJad = false;
         s.zipOps.push_back(std::string("-") + kClass);
     },
     907, "MIDlet-1", "jar"},
    {"ClassFieldEmptyInJad",
     [](Suite& s) { Set(s.jad, "MIDlet-1", "MIDlet-1: Hello World, /images/hello.png,"); }, 906,
     "MIDlet-1", "jad"},
    {"ClassFieldMissingInJad",
     [](Suite& s) { Set(s.jad, "MIDlet-1", "MIDlet-1: Hello World, /images/hello.png"); }, 906,
     "MIDlet-1", "jad"},
    {"ClassFieldEmptyInManifestOnly",
     [](Suite& s) {
         Set(s.jad, "MIDlet-1", "");
         Set(s.manifest, "MIDlet-1", "MIDlet-1: Hello World, , ");
     },
     907, "MIDlet-1", "jar"},
    {"ClassNameWithSuffix",
     [](Suite& s) {
         SetBoth(s, "MIDlet-1", "MIDlet-1: Hello World, , net.frog_parrot.hello.Hello.class");
     },
     907, "MIDlet-1", "jad"},
    {"ClassNameWithSlashes",
     [](Suite& s) { SetBoth(s, "MIDlet-1", "MIDlet-1: Hello, , net/frog_parrot/hello/Hello"); },
     kOk},
    {"ClassFileEmpty",
     [](Suite& s) {
         s.zipOps.push_back(std::string("-") + kClass);
         s.zipOps.push_back(std::string("+") + kClass + "=");
     },
     907, "MIDlet-1", "jad"},
    {"ClassFileCorrupt", [](Suite& s) { s.zipOps.push_back(std::string("!") + kClass); }, 907,
     "MIDlet-1", "jad"},
    {"MidletNameEmpty",
     [](Suite& s) {
         SetBoth(s, "MIDlet-1", "MIDlet-1: , /images/hello.png, net.frog_parrot.hello.Hello");
     },
     kOk},
    {"NoMidletAtAll", [](Suite& s) { SetBoth(s, "MIDlet-1", ""); }, kOk},
    {"MidletAfterGapNotRead", [](Suite& s) { s.manifest.push_back("MIDlet-3: X, , no.Such"); },
     kOk},
    {"IconMissing", [](Suite& s) { s.zipOps.push_back(std::string("-") + kIcon); }, kOk},
    {"IconMissingOnS60",
     [](Suite& s) {
         s.zipOps.push_back(std::string("-") + kIcon);
         s.device = "nokia-s60";
     },
     907, "MIDlet-1", "jad"},
    // JAD against manifest
    {"NameDiffers", [](Suite& s) { Set(s.jad, "MIDlet-Name", "MIDlet-Name: Other"); }, 905,
     "MIDlet-Name", "jad"},
    {"NameDiffersInside", [](Suite& s) { Set(s.jad, "MIDlet-Name", "MIDlet-Name: Hello  World"); },
     905, "MIDlet-Name", "jad"},
    {"VendorDiffers", [](Suite& s) { Set(s.jad, "MIDlet-Vendor", "MIDlet-Vendor: other"); }, 905,
     "MIDlet-Vendor", "jad"},
    {"VersionWrittenLonger",
     [](Suite& s) { Set(s.jad, "MIDlet-Version", "MIDlet-Version: 2.0.0"); }, 905,
     "MIDlet-Version", "jad"},
    {"ManifestLacksVersion", [](Suite& s) { Set(s.manifest, "MIDlet-Version", ""); }, 905,
     "MIDlet-Version", "jar"},
    {"UnsignedOtherAttributesMayDiffer",
     [](Suite& s) { Set(s.jad, "MIDlet-Description", "MIDlet-Description: Other"); }, kOk},
    // installed without a JAD
    {"WithoutJadNameMissing",
     [](Suite& s) {
         s.withJad = false;
         Set(s.manifest, "MIDlet-Name", "");
     },
     907, "MIDlet-Name", "jar"},
    {"WithoutJadVendorEmpty",
     [](Suite& s) {
         s.withJad = false;
         Set(s.manifest, "MIDlet-Vendor", "MIDlet-Vendor: ");
     },
     907, "MIDlet-Vendor", "jar"},
    {"WithoutJadVersionBad",
     [](Suite& s) {
         s.withJad = false;
         Set(s.manifest, "MIDlet-Version", "MIDlet-Version: F1.1");
     },
     907, "MIDlet-Version", "jar"},
    // runtime, configuration, profile
    {"RuntimeNotMidp", [](Suite& s) { s.manifest.push_back("Runtime-Execution-Environment: CDC"); },
     908, "Runtime-Execution-Environment", "jar"},
    {"RuntimeMidp",
     [](Suite& s) { s.manifest.push_back("Runtime-Execution-Environment: MIDP.CLDC"); }, kOk},
    {"ConfigurationMissing", [](Suite& s) { Set(s.manifest, "MicroEdition-Configuration", ""); },
     907, "MicroEdition-Configuration", "jar"},
    {"ConfigurationEmptyInJadHidesManifest",
     [](Suite& s) { s.jad.push_back("MicroEdition-Configuration:"); }, 907,
     "MicroEdition-Configuration", "jad"},
    {"Cldc11OnCldc10Phone",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Configuration", "MicroEdition-Configuration: CLDC-1.1");
         s.device = "midp20-cldc10";
     },
     908, "MicroEdition-Configuration", "jar"},
    {"Cldc10OnCldc11Phone", [](Suite&) {}, kOk},
    {"ConfigurationInLowerCase",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Configuration", "MicroEdition-Configuration: cldc-1.0");
     },
     908, "MicroEdition-Configuration", "jar"},
    {"ConfigurationWithoutLevel",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Configuration", "MicroEdition-Configuration: CLDC");
     },
     908, "MicroEdition-Configuration", "jar"},
    {"ConfigurationLevelNotANumber",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Configuration", "MicroEdition-Configuration: CLDC-1.1a");
     },
     0, "MicroEdition-Configuration", "jar"},
    {"ProfileMissing", [](Suite& s) { Set(s.manifest, "MicroEdition-Profile", ""); }, 907,
     "MicroEdition-Profile", "jar"},
    {"ProfileMidp21", [](Suite& s) { SetBoth(s, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-2.1"); },
     908, "MicroEdition-Profile", "jad"},
    {"ProfileMidp21OnMidp21Phone",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-2.1");
         s.device = "midp21-cldc11";
     },
     kOk},
    {"ProfileMidp3", [](Suite& s) { Set(s.manifest, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-3.0"); },
     908, "MicroEdition-Profile", "jar"},
    {"ProfileShortLevel", [](Suite& s) { Set(s.manifest, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-2"); },
     kOk},
    {"ProfileOlderLevel",
     [](Suite& s) { Set(s.manifest, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-1.0"); },
     kOk},
    {"ProfileListWithUnknown",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-2.0  XYZ-1.0");
     },
     908, "MicroEdition-Profile", "jar"},
    {"ProfileLevelNotANumber",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-2.0beta");
     },
     0, "MicroEdition-Profile", "jar"},
    // push registration
    {"PushSocket",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: socket://:5000, net.frog_parrot.hello.Hello, *");
     },
     kOk},
    {"PushSchemeInCapitals",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: SOCKET://:5000, net.frog_parrot.hello.Hello, *");
     },
     kOk},
    {"PushDatagramWithoutPort",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: datagram://, net.frog_parrot.hello.Hello, 10.*.*.*");
     },
     kOk},
    {"PushForeignClass",
     [](Suite& s) { s.manifest.push_back("MIDlet-Push-1: socket://:5000, no.Such, *"); }, 911,
     "MIDlet-Push-1", "jar"},
    {"PushFromJad",
     [](Suite& s) { s.jad.push_back("MIDlet-Push-1: socket://:5000, no.Such, *"); }, 911,
     "MIDlet-Push-1", "jad"},
    {"PushOfTwoFields",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: socket://:5000, net.frog_parrot.hello.Hello");
     },
     0, "MIDlet-Push-1", "jar"},
    {"PushWithoutColon",
     [](Suite& s) { s.manifest.push_back("MIDlet-Push-1: socket, net.frog_parrot.hello.Hello, *"); },
     911, "MIDlet-Push-1", "jar"},
    {"PushUnknownScheme",
     [](Suite& s) { s.manifest.push_back("MIDlet-Push-1: foo://bar, net.frog_parrot.hello.Hello, *"); },
     911, "MIDlet-Push-1", "jar"},
    {"PushSmsOnPlainPhone",
     [](Suite& s) { s.manifest.push_back("MIDlet-Push-1: sms://:5000, net.frog_parrot.hello.Hello, *"); },
     911, "MIDlet-Push-1", "jar"},
    {"PushSmsOnSeries40",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: sms://:5000, net.frog_parrot.hello.Hello, *");
         s.device = "nokia-s40";
     },
     kOk},
    {"PushFilterOfThreeGroups",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: socket://:5000, net.frog_parrot.hello.Hello, 1.2.3");
     },
     911, "MIDlet-Push-1", "jar"},
    {"PushEmptyFilter",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: socket://:5000, net.frog_parrot.hello.Hello, ");
     },
     911, "MIDlet-Push-1", "jar"},
    {"PushSocketWithHost",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: socket://host:5000, net.frog_parrot.hello.Hello, *");
     },
     911, "MIDlet-Push-1", "jar"},
    {"PushSocketWithoutPort",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: socket://, net.frog_parrot.hello.Hello, *");
     },
     911, "MIDlet-Push-1", "jar"},
    {"PushRegisteredTwice",
     [](Suite& s) {
         s.manifest.push_back("MIDlet-Push-1: socket://:5000, net.frog_parrot.hello.Hello, *");
         s.manifest.push_back("MIDlet-Push-2: socket://:5000, net.frog_parrot.hello.Hello, *");
     },
     911, "MIDlet-Push-2", "jar"},
    // device profiles
    {"NameTooLongForMotorola",
     [](Suite& s) {
         SetBoth(s, "MIDlet-Name", "MIDlet-Name: A name of more than thirty-two letters");
         s.device = "motorola";
     },
     906, "MIDlet-Name", "jad"},
    {"JarTooLargeForTheDevice", [](Suite& s) { s.device = "tiny"; }, 901, "", "jar"},
    {"UnknownMidletKeyOnSeries40",
     [](Suite& s) {
         s.jad.push_back("MIDlet-Touch-Support: true");
         s.device = "nokia-s40";
     },
     906, "MIDlet-Touch-Support", "jad"},
    {"UnknownMidletKeyInManifestOnSeries40",
     [](Suite& s) {
         s.withJad = false;
         s.manifest.push_back("MIDlet-Touch-Support: true");
         s.device = "nokia-s40";
     },
     907, "MIDlet-Touch-Support", "jar"},
    {"UnknownMidletKeyElsewhere", [](Suite& s) { s.jad.push_back("MIDlet-Touch-Support: true"); },
     kOk},
    // signatures
    {"SignedAndTrusted", [](Suite& s) { s.signing = Signing::Trusted; }, kOk},
    {"SignedUnderAnUnknownRoot", [](Suite& s) { s.signing = Signing::UnknownRoot; }, 909,
     "MIDlet-Certificate-1-1", "jad"},
    {"SignedOverOtherBytes", [](Suite& s) { s.signing = Signing::OtherBytes; }, 909,
     "MIDlet-Jar-RSA-SHA1", "jad"},
    {"SignedWithoutCertificate", [](Suite& s) { s.signing = Signing::NoCertificate; }, 909,
     "MIDlet-Certificate-1-1", "jad"},
    {"CertificateNotBase64", [](Suite& s) { s.signing = Signing::CorruptCertificate; }, 909,
     "MIDlet-Certificate-1-1", "jad"},
    {"SignerExpired",
     [](Suite& s) {
         s.signing = Signing::Trusted;
         s.clockShift = 400 * kDay;
     },
     909, "MIDlet-Certificate-1-1", "jad"},
    {"SignerNotYetValid",
     [](Suite& s) {
         s.signing = Signing::Trusted;
         s.clockShift = -2 * kDay;
     },
     909, "MIDlet-Certificate-1-1", "jad"},
    {"SignerKeyNotForSignatures", [](Suite& s) { s.signing = Signing::NoDigitalSignature; }, 909,
     "MIDlet-Certificate-1-1", "jad"},
    {"SignerKeyNotForCode", [](Suite& s) { s.signing = Signing::NotForCode; }, 909,
     "MIDlet-Certificate-1-1", "jad"},
    {"SignatureOnlyInManifestIgnored",
     [](Suite& s) { s.manifest.push_back("MIDlet-Jar-RSA-SHA1: bm90IGEgc2lnbmF0dXJl"); }, kOk},
    {"TrustedAttributeDiffers",
     [](Suite& s) {
         s.signing = Signing::Trusted;
         Set(s.jad, "MIDlet-Description", "MIDlet-Description: Other");
     },
     905, "MIDlet-Description", "jad"},
    {"TrustedOptionalPermissionsOnlyInJad",
     [](Suite& s) {
         s.signing = Signing::Trusted;
         s.jad.push_back("MIDlet-Permissions-Opt: javax.microedition.io.Connector.http");
     },
     905, "MIDlet-Permissions-Opt", "jar"},
    {"TrustedUnknownPermission",
     [](Suite& s) {
         s.signing = Signing::Trusted;
         SetBoth(s, "MIDlet-Permissions", "MIDlet-Permissions: javax.microedition.io.Connector.gopher");
     },
     910, "MIDlet-Permissions", "jad"},
    {"TrustedUnknownOptionalPermission",
     [](Suite& s) {
         s.signing = Signing::Trusted;
         SetBoth(s, "MIDlet-Permissions-Opt", "MIDlet-Permissions-Opt: no.such.Permission");
     },
     kOk},
    {"TrustedEmptyPermission",
     [](Suite& s) {
         s.signing = Signing::Trusted;
         SetBoth(s, "MIDlet-Permissions",
                 "MIDlet-Permissions: javax.microedition.io.Connector.http,,");
     },
     906, "MIDlet-Permissions", "jad"},
    {"UntrustedPermissionsNotRead",
     [](Suite& s) { SetBoth(s, "MIDlet-Permissions", "MIDlet-Permissions: nonsense,, words"); },
     kOk},
    // pairs: the first failing step decides
    {"ClassMissingBeforeJarSize",
     [](Suite& s) {
         s.zipOps.push_back(std::string("-") + kClass);
         Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: 1");
     },
     907, "MIDlet-1", "jad"},
    {"JarSizeBeforeVersion",
     [](Suite& s) {
         Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: 1");
         Set(s.jad, "MIDlet-Version", "MIDlet-Version: 3.0");
     },
     904, "MIDlet-Jar-Size", "jad"},
    {"NegativeJarSizeBeforeName",
     [](Suite& s) {
         Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: -1");
         Set(s.jad, "MIDlet-Name", "MIDlet-Name: Other");
     },
     904, "MIDlet-Jar-Size", "jad"},
    {"EmptyJadNameBeforeClassMissing",
     [](Suite& s) {
         Set(s.jad, "MIDlet-Name", "MIDlet-Name:");
         s.zipOps.push_back(std::string("-") + kClass);
     },
     906, "MIDlet-Name", "jad"},
    {"CrOnlyJadBeforeClassMissing",
     [](Suite& s) {
         s.jadEnd = "\r";
         s.zipOps.push_back(std::string("-") + kClass);
     },
     906, nullptr, "jad"},
    {"DataSizeBeforeJarUrl",
     [](Suite& s) {
         s.jad.push_back("MIDlet-Data-Size: x");
         Set(s.jad, "MIDlet-Jar-URL", "");
     },
     906, "MIDlet-Data-Size", "jad"},
    {"ProfileBeforePush",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-2.1");
         s.manifest.push_back("MIDlet-Push-1: socket://:5000, no.Such, *");
     },
     908, "MicroEdition-Profile", "jar"},
    {"ConfigurationBeforeProfile",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Configuration", "");
         Set(s.manifest, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-2.1");
     },
     907, "MicroEdition-Configuration", "jar"},
    {"RuntimeBeforeConfiguration",
     [](Suite& s) {
         s.manifest.push_back("Runtime-Execution-Environment: CDC");
         Set(s.manifest, "MicroEdition-Configuration", "");
     },
     908, "Runtime-Execution-Environment", "jar"},
    {"SignatureBeforeJarSize",
     [](Suite& s) {
         s.signing = Signing::OtherBytes;
         Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: 1");
     },
     909, "MIDlet-Jar-RSA-SHA1", "jad"},
    {"TrustedAgreementBeforePermissions",
     [](Suite& s) {
         s.signing = Signing::Trusted;
         s.jad.push_back("MIDlet-Permissions-Opt: javax.microedition.io.Connector.http");
         SetBoth(s, "MIDlet-Permissions", "MIDlet-Permissions: no.such.Permission");
     },
     905, "MIDlet-Permissions-Opt", "jar"},
    {"TrustedAgreementBeforeProfile",
     [](Suite& s) {
         s.signing = Signing::Trusted;
         Set(s.jad, "MIDlet-Description", "MIDlet-Description: Other");
         Set(s.manifest, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-3.0");
     },
     905, "MIDlet-Description", "jad"},
    {"UnknownRootBeforeManifest",
     [](Suite& s) {
         s.signing = Signing::UnknownRoot;
         s.manifestEntry.clear();
     },
     909, "MIDlet-Certificate-1-1", "jad"},
};

// Rebuilds the corpus JAR with another manifest and the row's changes.
const char* const kRebuild = R"(
import sys, zipfile
source, target, manifest, manifest_name = sys.argv[1:5]
ops = sys.argv[5:]
drop = {o[1:] for o in ops if o[0] == '-'}
adds = [o[1:].split('=', 1) for o in ops if o[0] == '+']
corrupt = {o[1:] for o in ops if o[0] == '!'}
with zipfile.ZipFile(source) as zin, zipfile.ZipFile(target, 'w') as zout:
    if manifest_name:
        zout.writestr(manifest_name, open(manifest, 'rb').read(), zipfile.ZIP_DEFLATED)
    for info in zin.infolist():
        if info.filename.upper() == 'META-INF/MANIFEST.MF' or info.filename in drop:
            continue
        method = zipfile.ZIP_STORED if info.filename in corrupt else zipfile.ZIP_DEFLATED
        zout.writestr(info.filename, zin.read(info), method)
    for name, data in adds:
        zout.writestr(name, data.encode(), zipfile.ZIP_DEFLATED)
    offsets = [zout.getinfo(name).header_offset for name in corrupt]
data = bytearray(open(target, 'rb').read())
for at in offsets:
    length = int.from_bytes(data[at + 26:at + 28], 'little')
    extra = int.from_bytes(data[at + 28:at + 30], 'little')
    data[at + 30 + length + extra] ^= 0xFF
open(target, 'wb').write(data)
)";

class InstallRules : public ::testing::TestWithParam<Row> {
  protected:
    static void SetUpTestSuite() {
        keys_ = std::make_unique<TestFolder>();
        const std::string k = *keys_ / "";
        const auto run = [](const std::string& command) {
            ASSERT_EQ(Shell(command + " 2>/dev/null").status, 0) << command;
        };
        run("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Quellor-Test-Root -days 3650 "
            "-keyout " +
            k + "ca.key -out " + k + "ca.pem");
        run("openssl req -new -newkey rsa:2048 -nodes -subj /CN=Quellor-Test-Signer -keyout " + k +
            "signer.key -out " + k + "signer.csr");
        const std::pair<const char*, const char*> signers[] = {
            {"good", "keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n"},
            {"nosig", "keyUsage=critical,keyEncipherment\n"},
            {"notcode", "extendedKeyUsage=serverAuth\n"},
        };
        for (const auto& [name, extensions] : signers) {
            WriteBytes(k + name + ".ext", extensions);
            run("openssl x509 -req -in " + k + "signer.csr -CA " + k + "ca.pem -CAkey " + k +
                "ca.key -CAcreateserial -days 365 -extfile " + k + name + ".ext -out " + k + name +
                ".pem");
        }
        run("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Quellor-Stranger -days 365 "
            "-keyout " +
            k + "stranger.key -out " + k + "stranger.pem");
        std::string problem;
        ASSERT_TRUE(devices_.Read(midlet::BuiltInDeviceProfileText(), k, problem)) << problem;
        ASSERT_TRUE(
            devices_.Read("[trusting]\nbase = midp20-cldc11\ntrusted-roots = ca.pem\n"
                          "[tiny]\nbase = midp20-cldc11\njar-size-limit = 1000\n",
                          k, problem))
            << problem;
    }
    static void TearDownTestSuite() { keys_.reset(); }

    static std::string Base64Der(const std::string& pem) {
        return Shell("openssl x509 -in " + Quote(*keys_ / pem) + " -outform DER | base64 -w0").out;
    }

    static std::string SignatureOf(const std::string& file, const std::string& key) {
        return Shell("openssl dgst -sha1 -sign " + Quote(*keys_ / key) + " " + Quote(file) +
                     " | base64 -w0")
            .out;
    }

    // The lines a signed JAD adds.
    std::string SigningLines(Signing signing) {
        const bool stranger = signing == Signing::UnknownRoot;
        if (signing == Signing::OtherBytes) {
            WriteBytes(folder_ / "other", ReadBytes(jar_) + "x");
        }
        const std::string signature =
            SignatureOf(signing == Signing::OtherBytes ? folder_ / "other" : jar_,
                        stranger ? "stranger.key" : "signer.key");
        const std::string certificate = signing == Signing::CorruptCertificate ? "not*base64"
                                        : stranger ? Base64Der("stranger.pem")
                                        : signing == Signing::NoDigitalSignature
                                            ? Base64Der("nosig.pem")
                                        : signing == Signing::NotForCode ? Base64Der("notcode.pem")
                                                                         : Base64Der("good.pem");
        std::string lines = "MIDlet-Jar-RSA-SHA1: " + signature + "\r\n";
        if (signing != Signing::NoCertificate) {
            lines += "MIDlet-Certificate-1-1: " + certificate + "\r\n";
        }
        return lines;
    }

    // The suite on disk: hello.jar and, when wanted, hello.jad.
    void Build(Suite& s) {
        WriteBytes(folder_ / "manifest", s.manifestStart + Text(s.manifest, s.manifestEnd) +
                                             (s.manifest.empty() ? "" : s.manifestEnd));
        std::string command = "python3 -c " + Quote(kRebuild) + " " + Quote(kCorpusJar) + " " +
                              Quote(jar_) + " " + Quote(folder_ / "manifest") + " " +
                              Quote(s.manifestEntry);
        for (const std::string& op : s.zipOps) {
            command += " " + Quote(op);
        }
        ASSERT_EQ(Shell(command).status, 0) << command;
        if (s.jarBytes) {
            WriteBytes(jar_, *s.jarBytes);
        }
        WriteBytes(jar_, ReadBytes(jar_) + s.jarTail);
        std::string jadText = s.jadStart + Replace(Text(s.jad, s.jadEnd), "SIZE",
                                                   std::to_string(fs::file_size(jar_)));
        if (s.signing != Signing::None) {
            jadText += SigningLines(s.signing);
        }
        if (s.withJad) {
            WriteBytes(jad_, jadText);
        }
        if (s.jarMissing || s.jarIsFolder) {
            fs::remove(jar_);
        }
        if (s.jarIsFolder) {
            fs::create_directory(jar_);
        }
    }

    TestFolder folder_;
    const std::string jar_ = folder_ / "hello.jar";
    const std::string jad_ = folder_ / "hello.jad";
    static std::unique_ptr<TestFolder> keys_;
    static midlet::DeviceProfiles devices_;
};

std::unique_ptr<TestFolder> InstallRules::keys_;
midlet::DeviceProfiles InstallRules::devices_;

TEST_P(InstallRules, GivesTheInstallersVerdict) {
    if (!fs::exists(kCorpusJar)) {
        GTEST_SKIP() << "no corpus suite " << kCorpusJar;
    }
    const Row& row = GetParam();
    Suite suite;
    row.edit(suite);
    if (suite.signing != Signing::None && suite.signing != Signing::UnknownRoot &&
        suite.device == "midp20-cldc11") {
        suite.device = "trusting";
    }
    Build(suite);
    const midlet::DeviceProfile* device = devices_.Find(suite.device);
    ASSERT_NE(device, nullptr) << suite.device;
    const midlet::SuiteReport report =
        midlet::CheckSuite(jar_, suite.withJad ? jad_ : std::string(),
                           {device, std::time(nullptr) + suite.clockShift});
    const std::string lines = midlet::ReportLines(report);

    EXPECT_EQ(report.verdict.ok, row.verdict == kOk) << lines;
    EXPECT_EQ(report.verdict.code, row.verdict) << lines;
    EXPECT_EQ(report.device, suite.device);
    if (row.verdict != kOk) {
        const midlet::Finding& decisive = report.verdict.decisive;
        if (row.attribute != nullptr) {
            EXPECT_EQ(decisive.attribute, row.attribute) << lines;
        }
        if (row.file != nullptr) {
            EXPECT_EQ(decisive.file, std::string(row.file) == "jar" ? jar_ : jad_) << lines;
        }
        EXPECT_EQ(decisive.severity, midlet::Severity::Error);
    }
    // Every finding says what is wrong and what to do, in words of its own.
    std::vector<midlet::Finding> all = report.findings;
    if (!report.verdict.ok) {
        all.push_back(report.verdict.decisive);
    }
    for (const midlet::Finding& f : all) {
        EXPECT_FALSE(f.message.empty()) << lines;
        EXPECT_FALSE(f.fix.empty()) << lines;
        EXPECT_EQ(f.message.find("Native error"), std::string::npos) << lines;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, InstallRules, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
