// The report on real suites: the two signed ones of the corpus verify as
// they were published and fail once a byte changes; after preparation their
// projects have no size or attribute mismatch, and what preparing lost (the
// signature, the keys only the listed JAD had) is reported.
#include <gtest/gtest.h>

#include <set>

#include "midlet/InstallCheck.h"
#include "midlet/PrepareSupport.h"
#include "platform/Files.h"

namespace preptest {
namespace {

const std::string kMidlets = QUELLOR_CORPUS_DIR "/midlets/";

struct Signed {
    const char* jar;
    std::set<std::string> jadOnlyKeys;
};

const Signed kSigned[] = {
    {"BombusMod_BombusMod/BombusMod.jar", {"Background", "Bombus-Version", "FlipInsensitive"}},
    {"vipaoL_j2me_compiler_WTK252/JBricks.jar", {"Pay-Adapters"}},
};

std::vector<midlet::Finding> WithCode(const std::vector<midlet::Finding>& findings, int code) {
    std::vector<midlet::Finding> found;
    for (const midlet::Finding& f : findings) {
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
    }

    std::string source, listedJar, listedJad;
};

TEST_P(SignedSuite, VerifiesAsPublishedAndFailsOnAChangedByte) {
    const auto published = WithCode(midlet::CheckSuite(listedJar, listedJad), 909);
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].severity, midlet::Severity::Warning);
    EXPECT_EQ(published[0].attribute, "MIDlet-Jar-RSA-SHA1");

    std::string bytes = ReadBytes(listedJar);
    bytes[bytes.size() / 2] ^= 0x01;
    WriteBytes(listedJar, bytes);
    const auto changed = WithCode(midlet::CheckSuite(listedJar, listedJad), 909);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].severity, midlet::Severity::Error);
}

// A simple JAD leaves out the keys only the listed JAD had (a full JAD
// keeps them).
TEST_P(SignedSuite, PreparationKeepsSizeAndIdentityAndReportsWhatItLost) {
    options.writeIds = false;
    options.jadKind = midlet::JadKind::Simple;
    Run({listedJar});
    const std::string project = Projects(state.projectName + "/" + state.projectName);
    const auto findings = midlet::CheckPrepared(listedJar, project + ".jar", project + ".jad");
    EXPECT_TRUE(WithCode(findings, 904).empty());
    EXPECT_TRUE(WithCode(findings, 905).empty());

    std::set<std::string> keys;
    int signatures = 0;
    for (const midlet::Finding& f : findings) {
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
