// The installation rules, one small suite per defect: a sound suite (JAR
// built by `zip`, JAD beside it, signed with a key made by `openssl` where
// the row says so) is changed in one respect, and the report must give
// exactly the one finding the row expects, on the file, with the code and
// the attribute it names.
#include <gtest/gtest.h>

#include <functional>

#include "midlet/InstallCheck.h"
#include "midlet/PrepareSupport.h"

namespace {

using preptest::Files;
namespace fs = std::filesystem;

enum class Signing { None, Valid, OtherBytes, NoCertificate };

struct Suite {
    std::vector<std::string> manifest = {
        "Manifest-Version: 1.0",
        "MIDlet-Name: Demo",
        "MIDlet-Vendor: Quellor Tests",
        "MIDlet-Version: 1.0.2",
        "MicroEdition-Configuration: CLDC-1.1",
        "MicroEdition-Profile: MIDP-2.0",
        "MIDlet-1: Demo, /icon.png, demo.Main",
        "MIDlet-Push-1: socket://:5000, demo.Main, *",
        "MIDlet-Description: A demo suite",
    };
    std::vector<std::string> jad = {
        "MIDlet-Name: Demo",
        "MIDlet-Vendor: Quellor Tests",
        "MIDlet-Version: 1.0.2",
        "MIDlet-1: Demo, /icon.png, demo.Main",
        "MIDlet-Description: A demo suite",
        "MIDlet-Jar-URL: demo.jar",
        "MIDlet-Jar-Size: SIZE",
    };
    Files files = {{"demo/Main.class", preptest::ClassBytes("main")},
                   {"icon.png", preptest::TinyPng()}};
    std::string manifestEntry = "META-INF/MANIFEST.MF";  // empty: no manifest
    bool withJad = true;
    Signing signing = Signing::None;
    std::optional<std::string> jarBytes;  // the JAR file holds these instead
    bool jarMissing = false;
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

void DropFile(Suite& s, const std::string& name) {
    s.files.erase(std::remove_if(s.files.begin(), s.files.end(),
                                 [&](const auto& f) { return f.first == name; }),
                  s.files.end());
}

std::string Text(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

struct Row {
    const char* label;
    std::function<void(Suite&)> edit;
    const char* file;  // "jar", "jad", or null for a suite without findings
    midlet::Severity severity = midlet::Severity::Error;
    int code = 0;
    const char* attribute = "";
};

constexpr auto kWarning = midlet::Severity::Warning;
constexpr auto kError = midlet::Severity::Error;

const Row kRows[] = {
    {"Sound", [](Suite&) {}, nullptr},
    {"SoundWithoutJad", [](Suite& s) { s.withJad = false; }, nullptr},
    {"JadContinuationJoined",
     [](Suite& s) { Set(s.jad, "MIDlet-Version", "MIDlet-Version: 1.\r\n 0.2"); }, nullptr},
    {"ManifestContinuationJoined",
     [](Suite& s) { Set(s.manifest, "MIDlet-Name", "MIDlet-Name: De\r\n mo"); }, nullptr},
    {"JadBlanksAroundValue", [](Suite& s) { Set(s.jad, "MIDlet-Name", "MIDlet-Name:\t Demo  "); },
     nullptr},
    {"UnsignedJadValueWins",
     [](Suite& s) { Set(s.jad, "MIDlet-Description", "MIDlet-Description: Other"); }, nullptr},
    {"ProfileOnlyInJad",
     [](Suite& s) {
         Set(s.manifest, "MicroEdition-Profile", "");
         Set(s.jad, "MicroEdition-Profile", "MicroEdition-Profile: MIDP-2.0");
     },
     nullptr},
    // JAD syntax
    {"JadLineWithoutColon", [](Suite& s) { s.jad.push_back("Just some text"); }, "jad", kError,
     906},
    {"JadBadName", [](Suite& s) { s.jad.push_back("-Bad: x"); }, "jad", kError, 906},
    {"JadNameWithBlank", [](Suite& s) { s.jad.push_back("Bad Name: x"); }, "jad", kError, 906},
    {"JadControlCharacter",
     [](Suite& s) { Set(s.jad, "MIDlet-Description", "MIDlet-Description: A\x01 demo"); }, "jad",
     kError, 906, "MIDlet-Description"},
    {"JadContinuationFirst", [](Suite& s) { s.jad.insert(s.jad.begin(), " stray"); }, "jad", kError,
     906},
    {"JadDuplicate", [](Suite& s) { s.jad.push_back("MIDlet-Description: again"); }, "jad",
     kWarning, 0, "MIDlet-Description"},
    // JAD attributes
    {"JadNoName", [](Suite& s) { Set(s.jad, "MIDlet-Name", ""); }, "jad", kError, 906,
     "MIDlet-Name"},
    {"JadNoVendor", [](Suite& s) { Set(s.jad, "MIDlet-Vendor", ""); }, "jad", kError, 906,
     "MIDlet-Vendor"},
    {"JadNoVersion", [](Suite& s) { Set(s.jad, "MIDlet-Version", ""); }, "jad", kError, 906,
     "MIDlet-Version"},
    {"JadNoJarUrl", [](Suite& s) { Set(s.jad, "MIDlet-Jar-URL", ""); }, "jad", kError, 906,
     "MIDlet-Jar-URL"},
    {"JadNoJarSize", [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", ""); }, "jad", kError, 906,
     "MIDlet-Jar-Size"},
    {"VersionOfFourGroups",
     [](Suite& s) { SetBoth(s, "MIDlet-Version", "MIDlet-Version: 1.0.2.3"); }, "jad", kError, 906,
     "MIDlet-Version"},
    {"VersionWithLetter", [](Suite& s) { SetBoth(s, "MIDlet-Version", "MIDlet-Version: 1.0b"); },
     "jad", kError, 906, "MIDlet-Version"},
    {"VersionEmptyGroup", [](Suite& s) { SetBoth(s, "MIDlet-Version", "MIDlet-Version: 1..2"); },
     "jad", kError, 906, "MIDlet-Version"},
    {"ManifestVersionWithoutJad",
     [](Suite& s) {
         s.withJad = false;
         Set(s.manifest, "MIDlet-Version", "MIDlet-Version: v1");
     },
     "jar", kError, 907, "MIDlet-Version"},
    {"JarSizeDiffers", [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: 1"); }, "jad",
     kError, 904, "MIDlet-Jar-Size"},
    {"JarSizeNotANumber", [](Suite& s) { Set(s.jad, "MIDlet-Jar-Size", "MIDlet-Jar-Size: 12k"); },
     "jad", kError, 906, "MIDlet-Jar-Size"},
    // JAD against manifest
    {"NameDiffers", [](Suite& s) { Set(s.jad, "MIDlet-Name", "MIDlet-Name: Other"); }, "jad",
     kError, 905, "MIDlet-Name"},
    {"VendorDiffers", [](Suite& s) { Set(s.jad, "MIDlet-Vendor", "MIDlet-Vendor: Other"); }, "jad",
     kError, 905, "MIDlet-Vendor"},
    {"VersionDiffers", [](Suite& s) { Set(s.jad, "MIDlet-Version", "MIDlet-Version: 1.0.3"); },
     "jad", kError, 905, "MIDlet-Version"},
    {"ManifestLacksVersion", [](Suite& s) { Set(s.manifest, "MIDlet-Version", ""); }, "jar", kError,
     905, "MIDlet-Version"},
    // the manifest
    {"ManifestLacksNameWithoutJad",
     [](Suite& s) {
         s.withJad = false;
         Set(s.manifest, "MIDlet-Name", "");
     },
     "jar", kError, 907, "MIDlet-Name"},
    {"NoProfile", [](Suite& s) { Set(s.manifest, "MicroEdition-Profile", ""); }, "jar", kError, 907,
     "MicroEdition-Profile"},
    {"NoConfiguration", [](Suite& s) { Set(s.manifest, "MicroEdition-Configuration", ""); }, "jar",
     kError, 907, "MicroEdition-Configuration"},
    {"ManifestNoSpaceAfterColon",
     [](Suite& s) { Set(s.manifest, "MIDlet-Description", "MIDlet-Description:A demo"); }, "jar",
     kError, 907, "MIDlet-Description"},
    {"NoManifest", [](Suite& s) { s.manifestEntry.clear(); }, "jar", kError, 907},
    {"ManifestInOtherCase", [](Suite& s) { s.manifestEntry = "meta-inf/manifest.mf"; }, "jar",
     kWarning, 0},
    {"NotAZip", [](Suite& s) { s.jarBytes = "PK\x03\x04 but no archive"; }, "jar", kError, 907},
    {"JarMissing", [](Suite& s) { s.jarMissing = true; }, "jar", kError, 0},
    // MIDlets
    {"ClassMissingForJadMidlet", [](Suite& s) { DropFile(s, "demo/Main.class"); }, "jad", kError,
     906, "MIDlet-1"},
    {"ClassMissingForManifestMidlet",
     [](Suite& s) {
         s.withJad = false;
         DropFile(s, "demo/Main.class");
     },
     "jar", kError, 907, "MIDlet-1"},
    {"MidletOfTwoFields", [](Suite& s) { s.jad.push_back("MIDlet-2: Two, demo.Main"); }, "jad",
     kError, 906, "MIDlet-2"},
    {"MidletWithoutClass", [](Suite& s) { s.manifest.push_back("MIDlet-2: Two, , "); }, "jar",
     kError, 907, "MIDlet-2"},
    {"NoMidlet",
     [](Suite& s) {
         SetBoth(s, "MIDlet-1", "");
         Set(s.manifest, "MIDlet-Push-1", "");
     },
     "jar", kError, 907, "MIDlet-1"},
    {"MidletAfterGap", [](Suite& s) { s.manifest.push_back("MIDlet-3: Three, , demo.Main"); },
     "jar", kWarning, 0, "MIDlet-3"},
    {"PushOfForeignClass",
     [](Suite& s) {
         Set(s.manifest, "MIDlet-Push-1", "MIDlet-Push-1: socket://:5000, demo.Other, *");
     },
     "jar", kError, 911, "MIDlet-Push-1"},
    {"PushWithoutClass",
     [](Suite& s) { Set(s.manifest, "MIDlet-Push-1", "MIDlet-Push-1: socket://:5000"); }, "jar",
     kError, 911, "MIDlet-Push-1"},
    {"PushFromJad", [](Suite& s) { s.jad.push_back("MIDlet-Push-1: sms://:5000, demo.Other, *"); },
     "jad", kError, 911, "MIDlet-Push-1"},
    // warnings without a code
    {"IconMissing", [](Suite& s) { DropFile(s, "icon.png"); }, "jad", kWarning, 0, "MIDlet-1"},
    {"IconInOtherCase",
     [](Suite& s) { SetBoth(s, "MIDlet-1", "MIDlet-1: Demo, /Icon.png, demo.Main"); }, "jad",
     kWarning, 0, "MIDlet-1"},
    {"MidletIconMissing", [](Suite& s) { s.manifest.push_back("MIDlet-Icon: /missing.png"); },
     "jar", kWarning, 0, "MIDlet-Icon"},
    {"EntryNameNotUtf8",
     [](Suite& s) {
         s.files.push_back({"caf\xE9.txt", "x"});
     },
     "jar", kWarning, 0},
    // signatures
    {"SignedAndVerifies", [](Suite& s) { s.signing = Signing::Valid; }, "jar", kWarning, 909,
     "MIDlet-Jar-RSA-SHA1"},
    {"SignedOverOtherBytes", [](Suite& s) { s.signing = Signing::OtherBytes; }, "jar", kError, 909,
     "MIDlet-Jar-RSA-SHA1"},
    {"SignedWithoutCertificate", [](Suite& s) { s.signing = Signing::NoCertificate; }, "jar",
     kError, 909, "MIDlet-Jar-RSA-SHA1"},
    {"SignedAndAnyAttributeDiffers",
     [](Suite& s) {
         s.signing = Signing::Valid;
         Set(s.jad, "MIDlet-Description", "MIDlet-Description: Other");
     },
     "jad", kError, 905, "MIDlet-Description"},
};

class InstallRules : public ::testing::TestWithParam<Row> {
  protected:
    static void SetUpTestSuite() {
        keys_ = std::make_unique<TestFolder>();
        const std::string command =
            "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=quellor-test -days 2 -keyout " +
            Quote(*keys_ / "key.pem") + " -out " + Quote(*keys_ / "cert.pem") + " 2>/dev/null";
        ASSERT_EQ(Shell(command).status, 0) << command;
        certificate_ =
            Shell("openssl x509 -in " + Quote(*keys_ / "cert.pem") + " -outform DER | base64 -w0")
                .out;
    }
    static void TearDownTestSuite() { keys_.reset(); }

    static std::string SignatureOf(const std::string& file) {
        return Shell("openssl dgst -sha1 -sign " + Quote(*keys_ / "key.pem") + " " + Quote(file) +
                     " | base64 -w0")
            .out;
    }

    // The suite on disk: demo.jar and, when wanted, demo.jad.
    void Build(Suite& s) {
        if (s.manifestEntry.empty()) {
            preptest::MakeZipJar(jar_, std::nullopt, s.files);
        } else if (s.manifestEntry == "META-INF/MANIFEST.MF") {
            preptest::MakeZipJar(jar_, Text(s.manifest) + "\r\n", s.files);
        } else {
            Files files = s.files;
            files.insert(files.begin(), {s.manifestEntry, Text(s.manifest) + "\r\n"});
            preptest::MakeZipJar(jar_, std::nullopt, files);
        }
        if (s.jarBytes) {
            WriteBytes(jar_, *s.jarBytes);
        }
        std::string jadText =
            preptest::Replace(Text(s.jad), "SIZE", std::to_string(fs::file_size(jar_)));
        if (s.signing != Signing::None) {
            WriteBytes(folder_ / "other", ReadBytes(jar_) + "x");
            const std::string signature =
                SignatureOf(s.signing == Signing::OtherBytes ? folder_ / "other" : jar_);
            ASSERT_FALSE(signature.empty());
            jadText += "MIDlet-Jar-RSA-SHA1: " + signature + "\r\n";
            if (s.signing != Signing::NoCertificate) {
                jadText += "MIDlet-Certificate-1-1: " + certificate_ + "\r\n";
            }
        }
        if (s.withJad) {
            WriteBytes(jad_, jadText);
        }
        if (s.jarMissing) {
            fs::remove(jar_);
        }
    }

    TestFolder folder_;
    const std::string jar_ = folder_ / "demo.jar";
    const std::string jad_ = folder_ / "demo.jad";
    static std::unique_ptr<TestFolder> keys_;
    static std::string certificate_;
};

std::unique_ptr<TestFolder> InstallRules::keys_;
std::string InstallRules::certificate_;

TEST_P(InstallRules, GivesTheOneFindingOfItsDefect) {
    const Row& row = GetParam();
    Suite suite;
    row.edit(suite);
    Build(suite);
    std::vector<midlet::Finding> findings =
        midlet::CheckSuite(jar_, suite.withJad ? jad_ : std::string());
    // A suite that is signed and verifies says so besides its defect.
    const bool expectsSignatureWarning = row.code == 909 && row.severity == kWarning;
    if (suite.signing == Signing::Valid && !expectsSignatureWarning) {
        const auto before = findings.size();
        std::erase_if(findings, [](const midlet::Finding& f) {
            return f.code == 909 && f.severity == kWarning;
        });
        EXPECT_EQ(findings.size() + 1, before) << "the signature did not verify";
    }
    std::string report;
    for (const midlet::Finding& f : findings) {
        report += midlet::FindingLine(f) + "\n";
    }
    if (row.file == nullptr) {
        EXPECT_TRUE(findings.empty()) << report;
        return;
    }
    ASSERT_EQ(findings.size(), 1u) << report;
    const midlet::Finding& f = findings[0];
    EXPECT_EQ(f.file, std::string(row.file) == "jar" ? jar_ : jad_) << report;
    EXPECT_EQ(f.severity, row.severity) << report;
    EXPECT_EQ(f.code, row.code) << report;
    EXPECT_EQ(f.attribute, row.attribute) << report;
    EXPECT_FALSE(f.message.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, InstallRules, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
