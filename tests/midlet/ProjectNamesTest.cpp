// Project names over whole runs: suites whose names meet in 9 bytes get a
// project each, the same suite is found again (with its record, and by its
// JAD without one), a forced run makes a suite's project again over the
// earlier one, whole at every moment.
#include <gtest/gtest.h>

#include "FaultSweep.h"
#include "midlet/PrepareSupport.h"
#include "midlet/ProjectNames.h"
#include "midlet/Staging.h"
#include "platform/Faults.h"
#include "platform/TextFile.h"

namespace preptest {
namespace {

using Lines = std::vector<std::string>;

TEST(CandidateName, CutsTheNameToMakeRoomForTheNumber) {
    const struct {
        const char* base;
        std::size_t n;
        const char* name;
    } cases[] = {
        {"SunSample", 1, "SunSample"},
        {"SunSample", 2, "SunSampl2"},
        {"SunSample", 9, "SunSampl9"},
        {"SunSample", 10, "SunSamp10"},
        {"SunSample", 99, "SunSamp99"},
        {"SunSample", 100, "SunSam100"},
        {"Foo", 2, "Foo2"},
        {"Foo", 123456, "Foo123456"},
        {"Foo", 100000000, ""},  // no room left for a name
        // Never inside a character: "Игра" is 8 bytes.
        {"\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0", 2,
         "\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0"
         "2"},
        {"\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0", 10,
         "\xD0\x98\xD0\xB3\xD1\x80"
         "10"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(midlet::CandidateName(c.base, c.n), c.name) << c.base << " " << c.n;
    }
}

// One listed JAR: its suite's name, vendor and version, and a seed that
// gives it bytes of its own.
struct Suite {
    std::string file;
    std::string name;
    std::string vendor = "Tests";
    std::string version = "1.0";
    std::string seed = "";
};

class SuiteProjects : public Workspace {
  protected:
    SuiteProjects() {
        options.jadKind = midlet::JadKind::Full;
        options.writeIds = true;
    }

    std::string Listed(const Suite& suite) {
        const std::string path = In(suite.file);
        const std::string manifest = "Manifest-Version: 1.0\r\nMIDlet-Name: " + suite.name +
                                     "\r\nMIDlet-Vendor: " + suite.vendor +
                                     "\r\nMIDlet-Version: " + suite.version +
                                     "\r\nMIDlet-1: " + suite.name + ", /icon.png, t.Main\r\n\r\n";
        MakeZipJar(
            path, manifest,
            {{"icon.png", TinyPng()}, {"t/Main.class", ClassBytes(suite.name + suite.seed)}});
        return path;
    }
    Lines ListAll(const std::vector<Suite>& suites) {
        Lines list;
        for (const Suite& suite : suites) {
            list.push_back(Listed(suite));
        }
        return list;
    }

    // One run with an archive component of its own, as quellor-batch makes
    // it; gives its log lines.
    Lines RunLog(const Lines& list, bool force = false) {
        output.log.clear();
        options.list = list;
        archive::TZipArchiver component("Zip");
        archive::ApplyFormValues(component);
        midlet::RunContext run{options, state, output, component, Program()};
        run.force = force;
        midlet::RunBatch(run);
        return output.log;
    }

    // The kept working JARs go, so that the next run looks at every JAR.
    void ClearWorkingJars() {
        for (const std::string& name : FolderNames(Temp())) {
            if (name.ends_with(".jar")) {
                fs::remove(Temp(name));
            }
        }
    }

    // What a project states of its suite: the JAD's name and URL, the IDS
    // file's name and JAR path.
    Lines Stated(const std::string& project) {
        const std::string jad = ReadBytes(Projects(project + "/" + project + ".jad"));
        const Lines ids = platform::ReadAllLines(Projects(project + ".ids"));
        const auto line = [&](const std::string& key) {
            const auto at = jad.find(key);
            return at == std::string::npos ? "" : jad.substr(at, jad.find('\r', at) - at);
        };
        return {line("MIDlet-Name:"), line("MIDlet-Jar-URL:"), ids.at(1), ids.at(4)};
    }

    static Lines Expected(const std::string& cleaned, const std::string& project) {
        return {"MIDlet-Name: " + cleaned, "MIDlet-Jar-URL: " + project + ".jar", cleaned,
                "fs:/card0/Applications/" + project + "/" + project + ".jar"};
    }
};

// Suites that share 9 bytes of their names, one listed twice, among others.
const std::vector<Suite> kCollisions = {
    {"stage.jar", "Rally: Night Stage"},
    {"mare.jar", "Rally Nightmare"},
    {"stage-rebuilt.jar", "Rally: Night Stage", "Tests", "1.0", "rebuilt"},
    {"stage2.jar", "Rally: Night Stage", "Tests", "2.0"},
    {"foo.jar", "Foo"},
    {"foo-other.jar", "Foo", "Someone Else"},
};
// What each listed JAR makes or finds: its project, "+" when it makes it.
const Lines kFirstRun = {"+RallyNigh", "+RallyNig2", "RallyNigh", "+RallyNig3", "+Foo", "+Foo2"};
const Lines kFoundAgain = {"RallyNigh", "RallyNig2", "RallyNigh", "RallyNig3", "Foo", "Foo2"};

Lines LogOf(const Lines& outcomes) {
    Lines log;
    for (const std::string& outcome : outcomes) {
        const bool made = outcome[0] == '+';
        const std::string project = outcome.substr(made ? 1 : 0);
        log.push_back(project + (made ? ".jad generated!" : ".jad is already generated!"));
        log.push_back(project + ".ids generated!");
    }
    return log;
}

TEST_F(SuiteProjects, EverySuiteGetsItsOwnProjectAndIsFoundAgain) {
    const Lines list = ListAll(kCollisions);
    EXPECT_EQ(RunLog(list), LogOf(kFirstRun));
    EXPECT_EQ(Stated("RallyNigh"), Expected("RallyNightStage", "RallyNigh"));
    EXPECT_EQ(Stated("RallyNig2"), Expected("RallyNightmare", "RallyNig2"));
    EXPECT_EQ(Stated("RallyNig3"), Expected("RallyNightStage", "RallyNig3"));
    EXPECT_EQ(Stated("Foo2"), Expected("Foo", "Foo2"));
    EXPECT_TRUE(Contains(ReadBytes(Projects("RallyNig3/RallyNig3.jad")), "MIDlet-Version: 2.0"));
    EXPECT_EQ(state.jadCount, 5);
    const std::string records = Temp(std::string(midlet::kSuiteRecordsFolder) + "/");
    EXPECT_EQ(FolderNames(records), (Lines{"Foo", "Foo2", "RallyNig2", "RallyNig3", "RallyNigh"}));

    ClearWorkingJars();
    EXPECT_EQ(RunLog(list), LogOf(kFoundAgain));
    // Projects without records, as older versions made them: their JADs
    // tell the suites apart.
    fs::remove_all(records);
    ClearWorkingJars();
    EXPECT_EQ(RunLog(list), LogOf(kFoundAgain));
    EXPECT_EQ(Stated("RallyNig2"), Expected("RallyNightmare", "RallyNig2"));

    // A simple JAD states only the cleaned name: the version 2.0 suite and
    // the other vendor's Foo, without records, are taken for the first ones.
    fs::remove_all(Projects());
    ClearWorkingJars();
    options.jadKind = midlet::JadKind::Simple;
    EXPECT_EQ(RunLog(list), LogOf(kFirstRun));
    fs::remove_all(records);
    ClearWorkingJars();
    Lines simple = kFoundAgain;
    simple[3] = "RallyNigh";
    simple[5] = "Foo";
    EXPECT_EQ(RunLog(list), LogOf(simple));
}

// What stands in the projects folder under a name decides whether it is
// free: a folder that is no whole project, or an IDS file of another suite,
// is passed over; this suite's own IDS file is not.
TEST_F(SuiteProjects, WhatStandsThereDecides) {
    const struct {
        const char* what;
        std::string path;
        std::string bytes;  // a folder when empty
        const char* project;
    } cases[] = {
        {"empty folder", "alpha", "", "Alpha2"},
        {"a file", "ALPHA", "x", "Alpha2"},
        {"IDS of another suite", "Alpha.ids", "QC-AMS-IDS-Version: 0.1\r\nBeta\r\n", "Alpha2"},
        {"own IDS", "Alpha.ids", "QC-AMS-IDS-Version: 0.1\r\nAlpha\r\n", "Alpha"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Projects());
        fs::remove_all(Temp());
        if (c.bytes.empty()) {
            fs::create_directories(Projects(c.path));
        } else {
            WriteBytes(Projects(c.path), c.bytes);
        }
        const std::string project = c.project;
        EXPECT_EQ(RunLog({Listed({"a.jar", "Alpha"})}),
                  (Lines{project + ".jad generated!", project + ".ids generated!"}));
    }
}

// A forced run makes the suite's project again over the earlier one; other
// suites' projects stay, and a suite listed twice is made once.
TEST_F(SuiteProjects, ForcedRunMakesTheSuiteAgain) {
    const Lines list = ListAll(kCollisions);
    RunLog(list);
    RunLog(list);  // keeps working JARs, which a forced run does not skip
    const std::string foo = ReadBytes(Projects("Foo/Foo.jar"));
    Listed({"stage.jar", "Rally: Night Stage", "Tests", "1.0", "new classes"});

    const Lines forced = {"+RallyNigh", "+RallyNig2", "RallyNigh", "+RallyNig3"};
    EXPECT_EQ(RunLog({list[0], list[1], list[2], list[3]}, true), LogOf(forced));
    EXPECT_TRUE(
        Contains(EntryBytes(Projects("RallyNigh/RallyNigh.jar"), "t/Main.class"), "new classes"));
    EXPECT_EQ(ReadBytes(Projects("Foo/Foo.jar")), foo);
    EXPECT_TRUE(ArchiveIsSound(Projects("RallyNigh/RallyNigh.jar")));
    EXPECT_EQ(FolderNames(Projects()).size(), 10u);
    for (const std::string& name : TempLeftovers()) {
        EXPECT_FALSE(name.starts_with(midlet::kStagingPrefix)) << name;
    }
}

// A forced run failed or stopped at each call that changes the disk: the
// project is the earlier one or the new one, whole, and the next forced
// run makes the new one.
TEST_F(SuiteProjects, ForcedRunIsWholeAtEveryCall) {
    const std::string listed = Listed({"a.jar", "Alpha", "Tests", "1.0", "old"});
    RunLog({listed});
    Listed({"a.jar", "Alpha", "Tests", "1.0", "new"});
    const TestFolder saved;
    fs::copy(Program(), saved.Path(), fs::copy_options::recursive);
    const auto restore = [&] {
        fs::remove_all(Projects());
        fs::remove_all(Temp());
        fs::copy(saved.Path(), Program(),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    };
    const auto forced = [&] {
        try {
            RunLog({listed}, true);
        } catch (const std::exception&) {
        }
        return 0;
    };
    const auto projectSeed = [&] {
        const std::string jar = Projects("Alpha/Alpha.jar");
        const std::string jad = ReadBytes(Projects("Alpha/Alpha.jad"));
        EXPECT_TRUE(Contains(jad, "MIDlet-Jar-Size: " + std::to_string(fs::file_size(jar))));
        const std::string classes = EntryBytes(jar, "t/Main.class");
        return Contains(classes, "Alphanew") ? "new" : Contains(classes, "Alphaold") ? "old" : "?";
    };
    const int calls = CountModifyingCalls(forced);
    ASSERT_GT(calls, 5);
    for (int nth = 1; nth <= calls; ++nth) {
        SCOPED_TRACE("call " + std::to_string(nth));
        for (const bool stop : {false, true}) {
            restore();
            if (stop) {
                EXPECT_EQ(RunStoppedAt(nth, forced), platform::kSweepStopStatus);
            } else {
                RunFailingAt(nth, forced);
            }
            EXPECT_NE(projectSeed(), std::string("?"));
            ClearWorkingJars();
            EXPECT_EQ(RunLog({listed}, true),
                      (Lines{"Alpha.jad generated!", "Alpha.ids generated!"}));
            EXPECT_EQ(projectSeed(), std::string("new"));
            EXPECT_EQ(FolderNames(Projects()), (Lines{"Alpha.ids", "Alpha/"}));
        }
    }
}

}  // namespace
}  // namespace preptest
