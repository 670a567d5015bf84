// quellor-batch under a Turkish locale prepares every real MIDlet suite of
// the corpus exactly as under C.UTF-8: the same log, the same exit status
// and the same files, byte for byte. Only the time stamp of the refreshed
// manifest entry may differ, since it is the time of the run.
#include <gtest/gtest.h>

#include <locale.h>

#include <cstdint>
#include <map>

#include "SweepSupport.h"
#include "TestFolder.h"

namespace sweep {
namespace {

const std::string kTool = QUELLOR_BINARY_DIR "/tools/quellor-batch";
const fs::path kMidlets = kCorpus + "/midlets";
const char* const kTurkish = "tr_TR.UTF-8";

std::uint32_t Le(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// The archive's bytes with the DOS date-time of every entry zeroed, in the
// central directory and in the local headers.
std::string WithoutEntryTimes(std::string zip) {
    const std::size_t end = zip.rfind(std::string("PK\5\6", 4));
    if (end == std::string::npos || end + 22 > zip.size()) {
        return zip;
    }
    std::size_t at = Le(zip, end + 16, 4);
    for (std::uint32_t n = Le(zip, end + 10, 2); n > 0; --n) {
        if (at + 46 > zip.size() || zip.compare(at, 4, "PK\1\2") != 0) {
            break;
        }
        zip.replace(at + 12, 4, 4, '\0');
        const std::size_t local = Le(zip, at + 42, 4);
        if (local + 30 <= zip.size() && zip.compare(local, 4, "PK\3\4") == 0) {
            zip.replace(local + 10, 4, 4, '\0');
        }
        at += 46 + Le(zip, at + 28, 2) + Le(zip, at + 30, 2) + Le(zip, at + 32, 2);
    }
    return zip;
}

// Every file and folder below `root`, with the bytes of each file.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).string();
        if (entry.is_directory()) {
            tree[name + "/"] = "";
        } else {
            const std::string bytes = ReadBytes(entry.path());
            tree[name] = entry.path().extension() == ".jar" ? WithoutEntryTimes(bytes) : bytes;
        }
    }
    return tree;
}

// The Turkish locale: the system's, or one made with localedef into
// `folder` (then LOCPATH names it). Empty when it cannot be had.
std::string TurkishLocaleEnvironment(const fs::path& folder) {
    if (locale_t installed = newlocale(LC_ALL_MASK, kTurkish, static_cast<locale_t>(0))) {
        freelocale(installed);
        return "LC_ALL=" + std::string(kTurkish);
    }
    const fs::path made = folder / "locales";
    fs::create_directories(made);
    const std::string command =
        "localedef -i tr_TR -f UTF-8 " + Quote((made / kTurkish).string()) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !fs::exists(made / kTurkish / "LC_CTYPE")) {
        return "";
    }
    return "LOCPATH=" + made.string() + " LC_ALL=" + kTurkish;
}

// The names of the files that are not the same in both trees.
std::vector<std::string> Differences(const std::map<std::string, std::string>& a,
                                     const std::map<std::string, std::string>& b) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : a) {
        const auto other = b.find(name);
        if (other == b.end() || other->second != bytes) {
            names.push_back(name);
        }
    }
    for (const auto& [name, bytes] : b) {
        if (a.count(name) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

struct Outcome {
    ToolRun run;
    std::map<std::string, std::string> files;
};

// One run over one JAR in a fresh program folder at `root`.
Outcome Prepare(const fs::path& root, const fs::path& jar, const std::string& environment) {
    fs::remove_all(root / "program");
    std::vector<std::string> args = {"env"};
    std::istringstream words(environment);
    for (std::string word; words >> word;) {
        args.push_back(word);
    }
    args.insert(args.end(), {kTool, "--program-folder", (root / "program").string(), "--ids",
                             "--icon", jar.string()});
    Outcome outcome;
    outcome.run = RunTool(args, root);
    outcome.files = Tree(root / "program");
    return outcome;
}

TEST(TurkishLocale, PreparesTheCorpusAsUnderCUtf8) {
    const std::set<std::string> corpus = CorpusFiles(kMidlets, ".jar");
    if (corpus.empty()) {
        GTEST_SKIP() << "no corpus at " << kMidlets;
    }
    TestFolder folder;
    const fs::path root = folder.Path();
    const std::string turkish = TurkishLocaleEnvironment(root);
    if (turkish.empty()) {
        GTEST_SKIP() << "the locale " << kTurkish
                     << " is not installed and localedef cannot make it (package locales)";
    }
    int prepared = 0;
    for (const std::string& file : corpus) {
        SCOPED_TRACE(file);
        const fs::path jar = root / "jars" / fs::path(file).filename();
        fs::create_directories(jar.parent_path());
        fs::copy_file(kMidlets / file, jar, fs::copy_options::overwrite_existing);
        fs::permissions(jar, fs::perms::owner_write, fs::perm_options::add);
        const Outcome plain = Prepare(root, jar, "LC_ALL=C.UTF-8");
        const Outcome localized = Prepare(root, jar, turkish);
        EXPECT_EQ(localized.run.status, plain.run.status);
        EXPECT_EQ(localized.run.out, plain.run.out);
        EXPECT_EQ(localized.run.err, plain.run.err);
        EXPECT_EQ(Differences(localized.files, plain.files), std::vector<std::string>{});
        prepared += plain.run.status == 0 ? 1 : 0;
    }
    // Most suites of the corpus are prepared; a comparison of failures alone
    // would prove nothing.
    EXPECT_GT(prepared, static_cast<int>(corpus.size()) / 2);
}

}  // namespace
}  // namespace sweep
