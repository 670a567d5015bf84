// The report on real suites: the two signed ones of the corpus install as
// trusted suites on a phone that holds their root, on a day their signer's
// certificate was valid; a changed byte, a phone without the root and
// today's date (both certificates have expired) each refuse them with 909.
// After preparation their projects have no size or attribute mismatch, and
// what preparing lost (the signature, the keys only the listed JAD had) is
// reported.
#include <gtest/gtest.h>

#include <set>

#include "midlet/CheckRun.h"
#include "midlet/DescriptorAttributes.h"
#include "midlet/InstallCheck.h"
#include "midlet/JarSignature.h"
#include "midlet/PrepareSupport.h"
#include "platform/Files.h"

namespace preptest {
namespace {

const std::string kMidlets = QUELLOR_CORPUS_DIR "/midlets/";

struct Signed {
    const char* jar;
    std::set<std::string> jadOnlyKeys;
    const char* signedOn;  // a day the signer's certificate was valid
    const char* device;    // the profile the trusting phone starts from
    int trustedVerdict;    // the verdict on that phone
    const char* trustedAttribute;
};

const Signed kSigned[] = {
    // Its permissions are all known ones, and both files agree.
    {"BombusMod_BombusMod/BombusMod.jar",
     {"Background", "Bombus-Version", "FlipInsensitive"},
     "2020-01-01",
     "midp20-cldc11",
     900,
     ""},
    // It asks for javax.microedition.payment.process, which the phone's
    // table lacks.
    {"vipaoL_j2me_compiler_WTK252/JBricks.jar",
     {"Pay-Adapters"},
     "2010-01-01",
     "midp21-cldc11",
     910,
     "MIDlet-Permissions"},
};

std::vector<midlet::Finding> WithCode(const midlet::SuiteReport& report, int code) {
    std::vector<midlet::Finding> found;
    std::vector<midlet::Finding> all = report.findings;
    if (!report.verdict.ok) {
        all.push_back(report.verdict.decisive);
    }
    for (const midlet::Finding& f : all) {
        if (f.code == code) {
            found.push_back(f);
        }
    }
    return found;
}

class SignedSuite : public Workspace, public ::testing::WithParamInterface<Signed> {
  protected:
    void SetUp() override {
        if (!fs::exists(kMidlets + GetParam().jar)) {
            GTEST_SKIP() << "no corpus at " << kMidlets;
        }
        source = kMidlets + GetParam().jar;
        listedJar = In(fs::path(source).filename().string());
        listedJad = fs::path(listedJar).replace_extension(".jad").string();
        fs::create_directories(In(""));
        fs::copy_file(source, listedJar);
        fs::copy_file(fs::path(source).replace_extension(".jad"), listedJad);
        platform::SetFileAttributes(listedJar, 0);
        std::string problem;
        ASSERT_TRUE(profiles.Read(midlet::BuiltInDeviceProfileText(), ".", problem)) << problem;
        ASSERT_TRUE(midlet::ParseDate(GetParam().signedOn, signedOn));
        // The phone trusts the last certificate of the JAD's first chain.
        trusting = *profiles.Find(GetParam().device);
        trusting.name = "trusting";
        const midlet::AttributeList jad = midlet::ParseJad(ReadBytes(listedJad));
        std::string last;
        for (int m = 1; jad.Find("MIDlet-Certificate-1-" + std::to_string(m)) != nullptr; ++m) {
            last = *jad.Find("MIDlet-Certificate-1-" + std::to_string(m));
        }
        std::string der;
        ASSERT_TRUE(midlet::DecodeBase64(last, der));
        trusting.trustedRoots = {der};
    }

    midlet::SuiteReport Check(const midlet::DeviceProfile& device, std::time_t now) {
        return midlet::CheckSuite(listedJar, listedJad, {&device, now});
    }

    std::string source, listedJar, listedJad;
    midlet::DeviceProfiles profiles;
    midlet::DeviceProfile trusting;
    std::time_t signedOn = 0;
};

TEST_P(SignedSuite, InstallsTrustedWhereTheRootIsKnown) {
    const midlet::SuiteReport report = Check(trusting, signedOn);
    EXPECT_EQ(report.verdict.code, GetParam().trustedVerdict) << ReportLines(report);
    EXPECT_EQ(report.verdict.decisive.attribute, GetParam().trustedAttribute);
    const auto signature = WithCode(report, 909);
    EXPECT_TRUE(signature.empty()) << ReportLines(report);
}

TEST_P(SignedSuite, IsRefusedWithAChangedByteAnUnknownRootOrTodaysDate) {
    const midlet::DeviceProfile& plain = *profiles.Find(GetParam().device);
    const midlet::SuiteReport unknown = Check(plain, signedOn);
    EXPECT_EQ(unknown.verdict.code, 909) << ReportLines(unknown);
    EXPECT_NE(unknown.verdict.decisive.message.find("UNKNOWN_CA"), std::string::npos);

    const midlet::SuiteReport today = Check(trusting, 0);
    EXPECT_EQ(today.verdict.code, 909) << ReportLines(today);
    EXPECT_NE(today.verdict.decisive.message.find("expired"), std::string::npos);

    std::string bytes = ReadBytes(listedJar);
    bytes[bytes.size() / 2] ^= 0x01;
    WriteBytes(listedJar, bytes);
    const midlet::SuiteReport changed = Check(trusting, signedOn);
    EXPECT_EQ(changed.verdict.code, 909) << ReportLines(changed);
    EXPECT_EQ(changed.verdict.decisive.attribute, "MIDlet-Jar-RSA-SHA1");
}

// A simple JAD leaves out the keys only the listed JAD had (a full JAD
// keeps them).
TEST_P(SignedSuite, PreparationKeepsSizeAndIdentityAndReportsWhatItLost) {
    options.writeIds = false;
    options.jadKind = midlet::JadKind::Simple;
    Run({listedJar});
    const std::string project = Projects(state.projectName + "/" + state.projectName);
    const auto report = midlet::CheckPrepared(listedJar, project + ".jar", project + ".jad");
    EXPECT_TRUE(WithCode(report, 904).empty());
    EXPECT_TRUE(WithCode(report, 905).empty());

    std::set<std::string> keys;
    int signatures = 0;
    for (const midlet::Finding& f : report.findings) {
        if (f.file == listedJar) {
            ++signatures;
            EXPECT_EQ(f.severity, midlet::Severity::Warning);
            EXPECT_EQ(f.code, 909);
            EXPECT_EQ(f.attribute, "MIDlet-Jar-RSA-SHA1");
        } else if (f.file == listedJad) {
            EXPECT_EQ(f.severity, midlet::Severity::Warning);
            keys.insert(f.attribute);
        }
    }
    EXPECT_EQ(signatures, 1);
    EXPECT_EQ(keys, GetParam().jadOnlyKeys);
}

INSTANTIATE_TEST_SUITE_P(Corpus, SignedSuite, ::testing::ValuesIn(kSigned),
                         [](const auto& info) { return fs::path(info.param.jar).stem().string(); });

using InstallCheck = Workspace;

// A suite whose JAD adds nothing to its manifest and carries no signature
// loses nothing; a key the prepared JAD still has is not lost either.
TEST_F(InstallCheck, UnsignedSuiteWithoutJadOnlyKeysLosesNothing) {
    const std::string jar = In("plain.jar");
    MakeZipJar(jar, SimpleManifest("Plain") + "", {{"t/Main.class", ClassBytes("t")}});
    WriteBytes(In("plain.jad"), "MIDlet-Name: Plain\r\nMIDlet-Jar-Size: 1\r\nKept: 1\r\n");
    WriteBytes(In("new.jad"), "MIDlet-Name: Plain\r\nKept: 1\r\n");
    EXPECT_TRUE(midlet::CheckPreparationLoss(jar, In("plain.jad"), jar, In("new.jad")).empty());
    EXPECT_TRUE(midlet::CheckPreparationLoss(jar, "", jar, In("new.jad")).empty());
}

}  // namespace
}  // namespace preptest
