// What preparing one more JAR costs in path look-ups: the same whether the
// workspace holds a few projects or hundreds, and whether the listed JARs
// lie alone or among hundreds of files. A collection of thousands of JARs
// must cost the same per JAR as a handful. And in folders made and removed:
// a prepared JAR makes no folder its project does not keep, and removes
// none (a file system passes over freed places for a while, so every
// removal slows what is made after it). And a check opens the JAR it reads
// once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "midlet/InstallCheck.h"
#include "midlet/PrepareSupport.h"
#include "platform/Faults.h"
#include "platform/Paths.h"

namespace preptest {
namespace {

namespace fs = std::filesystem;

class LookupCost : public Workspace {
  protected:
    LookupCost() {
        options.jadKind = midlet::JadKind::Full;
        options.writeIds = true;
        options.extractIcon = true;
    }

    // `count` listed JARs of MIDlets whose names start with `tag` (all tags
    // of one length, so that every run spells paths of the same lengths).
    std::vector<std::string> Listed(const std::string& tag, int count) {
        std::vector<std::string> list;
        for (int i = 0; i < count; ++i) {
            const std::string name = tag + std::to_string(i);
            list.push_back(In(name + ".jar"));
            MakeZipJar(list.back(), SimpleManifest(name, "/img/icon.png"),
                       {{"img/icon.png", TinyPng()}, {"t/Main.class", ClassBytes(name)}});
        }
        return list;
    }

    platform::PathLookupCounts CountRun(const std::vector<std::string>& list) {
        const platform::PathLookupCounts before = platform::CountedPathLookups();
        Run(list);
        const platform::PathLookupCounts after = platform::CountedPathLookups();
        return {after.components - before.components, after.folderReads - before.folderReads,
                after.namesRead - before.namesRead, after.folderStamps - before.folderStamps};
    }

    // What three more JARs cost over a run of three: the per-run costs
    // (the workspace's folders read once) cancel out.
    platform::PathLookupCounts ThreeMore(const std::string& tag) {
        const platform::PathLookupCounts three = CountRun(Listed(tag + "a", 3));
        const platform::PathLookupCounts six = CountRun(Listed(tag + "b", 6));
        return {six.components - three.components, six.folderReads - three.folderReads,
                six.namesRead - three.namesRead, six.folderStamps - three.folderStamps};
    }

    // Hundreds of projects in the workspace, and as many other files beside
    // the listed JARs.
    void Crowd(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string name = "Old" + std::to_string(i);
            fs::create_directories(Projects(name));
            WriteBytes(Projects(name + "/" + name + ".jad"), "MIDlet-Name: " + name + "\r\n");
            WriteBytes(In("other" + std::to_string(i) + ".txt"), "x");
        }
    }
};

TEST_F(LookupCost, AJarCostsTheSameHoweverFullTheFoldersAre) {
    Run(Listed("Warm", 1));  // the workspace's folders are made
    const platform::PathLookupCounts sparse = ThreeMore("Few");
    Crowd(400);
    const platform::PathLookupCounts crowded = ThreeMore("Lot");
    EXPECT_EQ(crowded.components, sparse.components);
    EXPECT_EQ(crowded.folderReads, sparse.folderReads);
    EXPECT_EQ(crowded.namesRead, sparse.namesRead);
    EXPECT_EQ(crowded.folderStamps, sparse.folderStamps);
    // The workspace's folders are the run's own: their names are not
    // checked against the disk for each JAR; what is left (three a JAR) is
    // checked in the listed JARs' folder and in each new project's.
    EXPECT_LE(crowded.folderStamps, 3u * 3);
    // Every JAR was prepared, not skipped or failed on the way.
    EXPECT_TRUE(fs::exists(Projects("Lotb5/Lotb5.jad")));
    EXPECT_TRUE(fs::exists(Projects("Lotb5/img/icon.png")));
}

TEST_F(LookupCost, APreparedJarMakesOnlyItsProjectsFoldersAndRemovesNone) {
    using platform::FaultCalls;
    using platform::FaultPoint;
    Run(Listed("Warm", 1));
    const auto folders = [&](const std::string& tag, int count, const std::string& kept = "") {
        const std::vector<std::string> list = Listed(tag, count);
        if (!kept.empty()) {
            WriteBytes(Temp() + kept + ".jar", "kept by an earlier run");
        }
        platform::DisarmAllFaults();
        Run(list);
        return std::pair{FaultCalls(FaultPoint::FolderCreate),
                         FaultCalls(FaultPoint::FolderRemove) + FaultCalls(FaultPoint::DeleteFile)};
    };
    const auto [madeForThree, removedForThree] = folders("Fewa", 3);
    const auto [madeForSix, removedForSix] = folders("Fewb", 6);
    // Each project keeps two folders: its own and the icon's.
    EXPECT_EQ(madeForSix - madeForThree, 3 * 2);
    EXPECT_EQ(removedForSix, removedForThree);
    EXPECT_TRUE(fs::exists(Projects("Fewb5/img/icon.png")));
    // A JAR skipped on the way (its working JAR kept by an earlier run)
    // leaves the work folder to the next one.
    const auto [madeSkipping, removedSkipping] = folders("Fewc", 4, "Fewc1");
    EXPECT_EQ(madeSkipping, madeForThree);
    EXPECT_EQ(removedSkipping, removedForThree);
    EXPECT_FALSE(fs::exists(Projects("Fewc1")));
}

// The entry `name`'s data damaged in the JAR's bytes: one byte flipped
// past the local header.
void DamageEntry(const std::string& jar, const std::string& name) {
    std::string bytes = ReadBytes(jar);
    const std::size_t header = bytes.find(name) - 30;
    const auto u16 = [&](std::size_t at) {
        return std::size_t(static_cast<unsigned char>(bytes[at])) |
               std::size_t(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    bytes[header + 30 + u16(header + 26) + u16(header + 28) + 2] ^= 0x55;
    WriteBytes(jar, bytes);
}

// The JAR is read once, its directory and manifest first and the entries the
// MIDlets name later: both from the same open, whether they are sound or not.
TEST_F(LookupCost, ACheckOpensItsJarOnce) {
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "sound");
        const std::string jar = Listed(damaged ? "Damaged" : "Sound", 1).front();
        if (damaged) {
            DamageEntry(jar, "t/Main.class");
        }
        platform::DisarmAllFaults();
        const midlet::SuiteReport report = midlet::CheckSuite(jar, "");
        EXPECT_EQ(platform::FaultCalls(platform::FaultPoint::StreamOpen), 1);
        std::vector<midlet::Finding> all = report.findings;
        all.push_back(report.verdict.decisive);
        const auto classFindings =
            std::count_if(all.begin(), all.end(), [](const midlet::Finding& f) {
                return f.step == midlet::InstallStep::MidletClasses &&
                       f.message.find("t/Main.class") != std::string::npos;
            });
        EXPECT_EQ(classFindings, damaged ? 1 : 0);
    }
}

}  // namespace
}  // namespace preptest
