// Real MIDlet suites, as their own toolchains built them, through the
// preparation one run each: every project comes out as a sound JAR with the
// same entries, its manifest holding the JAD's text.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "midlet/ManifestText.h"
#include "midlet/PrepareSupport.h"
#include "platform/Files.h"
#include "platform/TextFile.h"

namespace preptest {
namespace {

const std::string kMidlets = QUELLOR_CORPUS_DIR "/midlets";

// Python: every entry of the prepared JAR but the manifest has the source's
// name, place and data; prints what differs.
const char* const kSameEntries =
    "import sys, zipfile\n"
    "a = zipfile.ZipFile(sys.argv[1]).infolist()\n"
    "b = zipfile.ZipFile(sys.argv[2]).infolist()\n"
    "if [i.filename for i in a] != [i.filename for i in b]: print('names differ')\n"
    "for x, y in zip(a, b):\n"
    "    if x.filename.upper() != 'META-INF/MANIFEST.MF' and x.CRC != y.CRC:\n"
    "        print('data differs', x.filename)\n";

class PrepareCorpus : public Workspace {
  protected:
    // The corpus JARs copied into the workspace, writable, by relative path
    // (or, `flat`, all in one folder, each under a file name of its own).
    std::map<std::string, std::string> CopyCorpus(bool flat = false) {
        std::map<std::string, std::string> copies;
        for (const auto& entry : fs::recursive_directory_iterator(kMidlets)) {
            if (entry.path().extension() != ".jar") {
                continue;
            }
            const std::string relative = fs::relative(entry.path(), kMidlets).string();
            std::string copy = In(relative);
            if (flat) {
                std::replace(copy.begin() + In("").size(), copy.end(), '/', '_');
            }
            fs::create_directories(fs::path(copy).parent_path());
            fs::copy_file(entry.path(), copy);
            EXPECT_TRUE(platform::SetFileAttributes(copy, 0));
            copies[relative] = copy;
        }
        return copies;
    }
};

TEST_F(PrepareCorpus, EveryMidletComesOutSound) {
    if (!fs::is_directory(kMidlets)) {
        GTEST_SKIP() << "no corpus at " << kMidlets;
    }
    int generated = 0;
    for (const auto& [relative, listed] : CopyCorpus()) {
        SCOPED_TRACE(relative);
        const std::string bytes = ReadBytes(listed);
        const std::size_t logged = output.log.size();
        // A working JAR of the same name from an earlier suite is skipped.
        fs::remove_all(Temp());
        Run({listed});
        EXPECT_EQ(ReadBytes(listed), bytes);
        ASSERT_EQ(output.log.size(), logged + 2);
        const std::string& line = output.log[logged];
        const std::string project = state.projectName;
        // Suites whose names meet in 9 bytes each get a project.
        ASSERT_EQ(line, project + ".jad generated!");
        ++generated;
        const std::string jar = Projects(project + "/" + project + ".jar");
        EXPECT_TRUE(ArchiveIsSound(jar));
        EXPECT_EQ(
            Shell("python3 -c " + Quote(kSameEntries) + " " + Quote(listed) + " " + Quote(jar)).out,
            "");
        const std::string tail = "MIDlet-Jar-Size: " + std::to_string(fs::file_size(jar)) +
                                 "\r\nMIDlet-Jar-URL: " + project + ".jar\r\n";
        // The JAD is the manifest put back, its continued lines joined.
        std::string manifest;
        std::istringstream lines(EntryBytes(jar, "META-INF/MANIFEST.MF"));
        std::vector<std::string> split;
        for (std::string line; std::getline(lines, line);) {
            split.push_back(line.substr(0, line.find('\r')));
        }
        for (const std::string& line : midlet::JoinContinuationLines(split)) {
            manifest += line + "\r\n";
        }
        EXPECT_EQ(ReadBytes(Projects(project + "/" + project + ".jad")), manifest + tail);
    }
    EXPECT_GE(generated, 21);
}

// The line of `text` that starts with `key`, without its line end.
std::string LineOf(const std::string& text, const std::string& key) {
    const auto at = text.find("\n" + key);
    return at == std::string::npos
               ? ""
               : text.substr(at + 1, text.find_first_of("\r\n", at + 1) - at - 1);
}

// All of them in one run: the WTK demos and games, the OpenTTY, miniTruco
// and Caltrain builds meet in 9 bytes of their names, and still each suite
// gets a project of its own, whose JAD and IDS file state that suite; the
// next run finds each again.
TEST_F(PrepareCorpus, EverySuiteInOneRun) {
    if (!fs::is_directory(kMidlets)) {
        GTEST_SKIP() << "no corpus at " << kMidlets;
    }
    std::vector<std::string> list;
    for (const auto& [relative, listed] : CopyCorpus(true)) {
        list.push_back(listed);
    }
    Run(list);
    ASSERT_EQ(output.log.size(), 2 * list.size());
    std::vector<std::string> projects;
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(list[i]);
        const std::string& line = output.log[2 * i];
        ASSERT_TRUE(line.ends_with(".jad generated!")) << line;
        projects.push_back(line.substr(0, line.find(".jad")));
        const std::string& project = projects.back();
        const std::string jad = ReadBytes(Projects(project + "/" + project + ".jad"));
        const std::string manifest = "\n" + EntryBytes(list[i], "META-INF/MANIFEST.MF");
        EXPECT_EQ(LineOf(jad, "MIDlet-Name:"),
                  "MIDlet-Name: " + platform::ReadAllLines(Projects(project + ".ids")).at(1));
        for (const char* key : {"MIDlet-Vendor:", "MIDlet-Version:"}) {
            EXPECT_EQ(LineOf(jad, key), LineOf(manifest, key));
        }
        EXPECT_EQ(LineOf(jad, "MIDlet-Jar-URL:"), "MIDlet-Jar-URL: " + project + ".jar");
    }
    EXPECT_EQ(std::set<std::string>(projects.begin(), projects.end()).size(), list.size());
    for (const char* renamed : {"SunSampl2", "OpenTTY4", "miniTruc3", "NextCalt2"}) {
        EXPECT_TRUE(fs::is_directory(Projects(renamed))) << renamed;
    }

    Run(list);
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(output.log[2 * (list.size() + i)], projects[i] + ".jad is already generated!");
    }
}

// In CI the corpus has no write bits; the working copy is made writable, so
// a read-only suite is prepared and itself left as it was.
TEST_F(PrepareCorpus, ReadOnlySuite) {
    const std::string source = kMidlets + "/Apress_j2me-games-w-midp2/hello.jar";
    if (!fs::exists(source)) {
        GTEST_SKIP() << "no corpus at " << kMidlets;
    }
    fs::create_directories(In(""));
    ASSERT_TRUE(platform::CopyFile(source, In("hello.jar"), false));
    ASSERT_TRUE(platform::SetFileAttributes(In("hello.jar"), platform::faReadOnly));
    Run({In("hello.jar")});
    ASSERT_EQ(output.log.size(), 2u);
    EXPECT_EQ(output.log[0], state.projectName + ".jad generated!");
    EXPECT_EQ(ReadBytes(In("hello.jar")), ReadBytes(source));
    EXPECT_TRUE(ArchiveIsSound(Projects(state.projectName + "/" + state.projectName + ".jar")));
}

}  // namespace
}  // namespace preptest
