// What each real suite of the corpus needs beyond its JAR, as the facts
// report it (checked by hand against javap and the suites' sources), and
// the keys only its JAD had, which a prepared full JAD keeps.
#include <gtest/gtest.h>

#include "TestCorpus.h"
#include "midlet/DescriptorAttributes.h"
#include "midlet/InstallCheck.h"
#include "midlet/PrepareSupport.h"
#include "midlet/suite/SuiteFacts.h"
#include "midlet/suite/SuiteFactsReport.h"

namespace preptest {
namespace {

const std::string kMidlets = QUELLOR_CORPUS_DIR "/midlets/";

using Names = std::vector<std::string>;

const Names kMidp = {"CLDC", "MIDP"};
Names With(Names names, const Names& more) {
    names.insert(names.end(), more.begin(), more.end());
    return names;
}

struct Needs {
    const char* jar;
    const char* version;
    bool preverified;
    Names apis;
    Names keysRead;
    Names keysNobodyProvides;  // with the JAD beside the JAR
    const char* screen;        // "" when there is no guess
};

const Needs kNeeds[] = {
    {"Apress_j2me-games-w-midp2/hello.jar", "46.0", true, kMidp, {}, {}, ""},
    {"Apress_j2me-games-w-midp2/book.jar",
     "46.0",
     true,
     With(kMidp, {"MIDP 2.0 (JSR 118)"}),
     {},
     {},
     ""},
    {"BombusMod_BombusMod/BombusMod.jar",
     "47.0",
     true,
     With(kMidp, {"MIDP 2.0 (JSR 118)", "Mobile Media API (JSR 135)", "FileConnection (JSR 75)",
                  "Location API (JSR 179)", "Nokia UI API", "Siemens API", "Motorola API",
                  "Sony Ericsson API"}),
     {},
     {},
     "208x208"},
    {"chesterbr_minitruco-j2me/miniTruco.jar",
     "45.3",
     true,
     With(kMidp, {"Bluetooth API (JSR 82)"}),
     {"MIDlet-Version"},
     {},
     "96x65"},
    {"chesterbr_minitruco-j2me/miniTrucoLight.jar",
     "45.3",
     true,
     kMidp,
     {"MIDlet-Version"},
     {},
     "96x65"},
    {"mrlima4095_OpenTTY-J2ME/2025-06-20/OpenTTY.jar",
     "45.3",
     true,
     With(kMidp, {"Mobile Media API (JSR 135)", "FileConnection (JSR 75)"}),
     {"MIDlet-Version", "MIDlet-Name", "MIDlet-Proxy"},
     {},
     ""},
    {"mrlima4095_OpenTTY-J2ME/OpenTTY-1.1.jar", "45.3", true, kMidp, {}, {}, ""},
    {"pthalin_bittboy-j2me/midpath-demos.jar",
     "45.3",
     false,
     With(kMidp, {"MIDP 2.0 (JSR 118)", "Mobile Media API (JSR 135)",
                  "Wireless Messaging API (JSR 120/205)", "Mobile 3D Graphics (JSR 184)",
                  "Scalable 2D Vector Graphics (JSR 226)", "OpenGL ES (JSR 239)",
                  "Location API (JSR 179)"}),
     {},
     {},
     "240x320"},
    {"vipaoL_j2me_compiler_WTK252/CHAPIDemo.jar",
     "47.0",
     true,
     With(kMidp, {"Content Handler API (JSR 211)"}),
     {},
     {},
     ""},
    {"vipaoL_j2me_compiler_WTK252/Demos.jar",
     "47.0",
     true,
     With(kMidp, {"MIDP 2.0 (JSR 118)"}),
     {"MIDlet-Push-1", "HttpTest-Url"},
     {"MIDlet-Push-1", "HttpTest-Url"},
     "176x208"},
    {"vipaoL_j2me_compiler_WTK252/JBricks.jar",
     "47.0",
     true,
     With(kMidp, {"Payment API (JSR 229)"}),
     {},
     {},
     ""},
    {"vipaoL_j2me_compiler_WTK252/MobileMediaAPI.jar",
     "47.0",
     true,
     With(kMidp, {"Mobile Media API (JSR 135)"}),
     {"PauseAudioURL"},
     {},
     "176x208"},
    {"vipaoL_j2me_compiler_WTK252/PDAPDemo.jar",
     "47.0",
     true,
     With(kMidp, {"FileConnection (JSR 75)", "PIM (JSR 75)"}),
     {},
     {},
     ""},
    {"vipaoL_j2me_compiler_WTK252/i18nDemo.jar",
     "47.0",
     true,
     With(kMidp, {"Mobile Internationalization (JSR 238)"}),
     {},
     {},
     ""},
    {"woodie_Caltrain-Schedule-MIDlet/NextCaltrain.jar",
     "47.0",
     true,
     kMidp,
     {"MIDlet-Version", "MIDlet-Info-URL"},
     {},
     "240x320"},
};

std::string ScreenOf(const midlet::SuiteFacts& facts) {
    return facts.screen ? std::to_string(facts.screen->size.width) + "x" +
                              std::to_string(facts.screen->size.height)
                        : "";
}

class CorpusNeeds : public ::testing::TestWithParam<Needs> {
  protected:
    void SetUp() override { QUELLOR_SKIP_WITHOUT_CORPUS(); }
};

TEST_P(CorpusNeeds, FactsNameWhatTheSuiteNeeds) {
    const Needs& needs = GetParam();
    const std::string jar = kMidlets + needs.jar;
    const midlet::SuiteFacts facts = midlet::ComputeSuiteFacts(jar, midlet::JadBeside(jar));
    EXPECT_EQ(facts.kind, midlet::SuiteKind::MidletSuite);
    EXPECT_TRUE(facts.unreadableClasses.empty());
    EXPECT_EQ(std::to_string(facts.highestMajor) + "." + std::to_string(facts.highestMinor),
              needs.version);
    EXPECT_EQ(facts.Preverified(), needs.preverified);
    EXPECT_TRUE(facts.classesTooNew.empty());
    EXPECT_EQ(facts.apis, needs.apis);
    EXPECT_EQ(facts.readKeys, needs.keysRead);
    EXPECT_EQ(facts.unprovidedKeys, needs.keysNobodyProvides);
    EXPECT_EQ(ScreenOf(facts), needs.screen);
    ASSERT_FALSE(facts.midlets.empty());
    for (const midlet::MidletClassFact& m : facts.midlets) {
        EXPECT_EQ(m.problem, "") << m.attribute << " " << m.className;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusNeeds, ::testing::ValuesIn(kNeeds), [](const auto& info) {
    std::string name = fs::path(info.param.jar).stem().string();
    std::erase_if(name, [](char c) { return !std::isalnum(c); });
    return name;
});

// Without its JAD, a suite that reads a key only the JAD provides is told
// that it may need it.
TEST(CorpusKeys, ASuiteWithoutItsJadIsToldWhatItReads) {
    QUELLOR_SKIP_WITHOUT_CORPUS();
    const std::string jar = kMidlets + "vipaoL_j2me_compiler_WTK252/MobileMediaAPI.jar";
    const midlet::SuiteFacts facts = midlet::ComputeSuiteFacts(jar, "");
    const auto findings = midlet::SuiteFactFindings(facts, jar);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].attribute, "PauseAudioURL");
    EXPECT_EQ(findings[0].message,
              "the suite reads \"PauseAudioURL\", which no JAD or manifest provides: it may "
              "need its original JAD");
}

// Each suite with a JAD, prepared with a full JAD: every key only its JAD
// had (but the size, the place and the signature) comes through with its
// value, after the manifest part and before the tail, and the prepared
// suite installs.
class OriginalJadKeys : public Workspace {};

TEST_F(OriginalJadKeys, EveryCorpusSuiteKeepsItsJadOnlyKeys) {
    QUELLOR_SKIP_WITHOUT_CORPUS();
    const std::map<std::string, int> carriedCounts = {
        {"BombusMod.jar", 3}, {"CHAPIDemo.jar", 8}, {"JBricks.jar", 1}, {"MobileMediaAPI.jar", 35}};
    options.writeIds = false;
    options.extractIcon = false;
    int suites = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kMidlets)) {
        const fs::path jad = fs::path(entry.path()).replace_extension(".jad");
        if (entry.path().extension() != ".jar" || !fs::exists(jad)) {
            continue;
        }
        SCOPED_TRACE(entry.path().string());
        const std::string listed =
            In(std::to_string(++suites) + "/" + entry.path().filename().string());
        fs::create_directories(fs::path(listed).parent_path());
        fs::copy_file(entry.path(), listed);
        fs::copy_file(jad, fs::path(listed).replace_extension(".jad"));
        Run({listed});
        const std::string project = Projects(state.projectName + "/" + state.projectName);
        const auto found = carriedCounts.find(entry.path().filename().string());
        EXPECT_EQ(state.originalJadKeys, found == carriedCounts.end() ? 0 : found->second);

        const std::string made = ReadBytes(project + ".jad");
        const midlet::AttributeList original = midlet::ParseJad(ReadBytes(jad.string()));
        const midlet::AttributeList prepared = midlet::ParseJad(made);
        for (const midlet::Attribute& item : original.items) {
            const std::string& name = item.name;
            if (name == "MIDlet-Jar-Size" || name == "MIDlet-Jar-URL" ||
                name == "MIDlet-Jar-RSA-SHA1" || name.rfind("MIDlet-Certificate-", 0) == 0) {
                EXPECT_TRUE(name.rfind("MIDlet-Jar-", 0) == 0 || prepared.Find(name) == nullptr)
                    << name;
                continue;
            }
            ASSERT_NE(prepared.Find(name), nullptr) << name;
            const std::size_t line =
                made.rfind(name + ":", 0) == 0 ? 0 : made.find("\r\n" + name + ":");
            EXPECT_LT(line, made.find("MIDlet-Jar-Size:")) << name << "\n" << made;
        }
        const midlet::SuiteReport report = midlet::CheckSuite(project + ".jar", project + ".jad");
        // A suite asking for MIDP 2.1 needs a phone that offers it: that is
        // the device's matter, not the preparation's.
        EXPECT_TRUE(report.verdict.ok || report.verdict.code == midlet::kIncompatible)
            << midlet::ReportLines(report);
        for (const midlet::Finding& f : report.findings) {
            EXPECT_NE(f.severity, midlet::Severity::Error) << midlet::FindingLine(f);
        }
        fs::remove_all(Projects());
        fs::remove_all(Temp());
    }
    EXPECT_EQ(suites, 18);
}

}  // namespace
}  // namespace preptest
