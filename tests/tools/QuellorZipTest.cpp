// quellor-zip, driven by the cases in tests/data/zip: each NAME.test names
// the arguments, the exit status and the exact lines expected on standard
// output ("stdout ...") and standard error ("stderr ..."). Archive names in
// the arguments are the data files next to it, copied into a scratch folder
// ("$DATA" in an argument or an expected line stands for that folder).
// Further lines, with paths relative to that folder and "\r" "\n" in texts:
//   setup PATH TEXT   a file written before the run
//   link PATH TARGET  a symbolic link made before the run
//   fault POINT N     the run's Nth call of a service fails as on a full
//                     disk (the tool built with the fault seam)
//   file PATH TEXT    a file that must hold exactly TEXT afterwards
//   size PATH N       a file that must hold N bytes afterwards
//   absent PATH       nothing of that name afterwards
//   after LINE        a line of "quellor-zip list" of the first archive
//                     argument afterwards (its archives may change only
//                     when a case has these lines)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestCommands.h"
#include "TestFiles.h"
#include "TestFolder.h"

namespace {

namespace fs = std::filesystem;

const fs::path kCases = QUELLOR_TEST_DATA "/zip";

struct Case {
    std::vector<std::string> args;
    int status = 0;
    std::string out;
    std::string err;
    std::vector<std::pair<std::string, std::string>> setup;
    std::vector<std::pair<std::string, std::string>> links;
    std::string fault;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::pair<std::string, std::uintmax_t>> sizes;
    std::vector<std::string> absent;
    std::string after;
    bool changesArchive = false;
};

// "\r" and "\n" in a text of a case file.
std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n')) {
            out += text[++i] == 'r' ? '\r' : '\n';
        } else {
            out += text[i];
        }
    }
    return out;
}

std::pair<std::string, std::string> PathAndText(const std::string& rest) {
    const auto space = rest.find(' ');
    if (space == std::string::npos) {
        return {rest, ""};
    }
    return {rest.substr(0, space), Unescape(rest.substr(space + 1))};
}

Case ReadCase(const fs::path& file) {
    Case c;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "args") {
            std::istringstream words(rest);
            for (std::string word; words >> word;) {
                c.args.push_back(word);
            }
        } else if (key == "return") {
            c.status = std::stoi(rest);
        } else if (key == "stdout") {
            c.out += rest + "\n";
        } else if (key == "stderr") {
            c.err += rest + "\n";
        } else if (key == "setup") {
            c.setup.push_back(PathAndText(rest));
        } else if (key == "link") {
            c.links.push_back(PathAndText(rest));
        } else if (key == "fault") {
            c.fault = rest;
        } else if (key == "file") {
            c.files.push_back(PathAndText(rest));
        } else if (key == "size") {
            const auto [path, count] = PathAndText(rest);
            c.sizes.emplace_back(path, std::stoull(count));
        } else if (key == "absent") {
            c.absent.push_back(rest);
        } else if (key == "after") {
            c.after += rest + "\n";
            c.changesArchive = true;
        }
    }
    return c;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    if (fs::exists(kCases)) {
        for (const auto& entry : fs::directory_iterator(kCases)) {
            if (entry.path().extension() == ".test") {
                names.push_back(entry.path().stem().string());
            }
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class QuellorZipCase : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        for (const auto& entry : fs::directory_iterator(kCases)) {
            const auto ext = entry.path().extension();
            if (ext == ".zip" || ext == ".jar") {
                fs::copy_file(entry.path(), data / entry.path().filename());
            }
        }
    }
    TestFolder folder;
    const fs::path data = fs::path(folder.Path()).parent_path();  // without the final "/"
};

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// quellor-zip with these arguments; archive names stand for the copies in
// `data`, "$DATA" for `data` itself. With a `fault`, the tool built with the
// fault seam, armed with it.
ToolRun RunTool(const std::vector<std::string>& args, const fs::path& data,
                const std::string& fault = {}) {
    std::string command = fault.empty() ? Quote(QUELLOR_BINARY_DIR "/tools/quellor-zip")
                                        : "QUELLOR_FAULT=" + Quote(fault) + " " +
                                              Quote(QUELLOR_BINARY_DIR "/tests/quellor-zip-faults");
    for (const std::string& arg : args) {
        const auto ext = fs::path(arg).extension();
        command.append(" ").append(Quote(ext == ".zip" || ext == ".jar"
                                             ? (data / arg).string()
                                             : Replace(arg, "$DATA", data.string())));
    }
    const fs::path errFile = data / "stderr.txt";
    const CommandResult result = Shell(command + " 2>" + Quote(errFile.string()));
    const ToolRun run{result.status, result.out, ReadBytes(errFile.string())};
    fs::remove(errFile);
    return run;
}

TEST_P(QuellorZipCase, Runs) {
    const Case c = ReadCase(kCases / (GetParam() + ".test"));
    for (const auto& [path, text] : c.setup) {
        WriteBytes((data / path).string(), text);
    }
    for (const auto& [path, target] : c.links) {
        fs::create_directories((data / path).parent_path());
        fs::create_symlink(Replace(target, "$DATA", data.string()), data / path);
    }
    const ToolRun run = RunTool(c.args, data, c.fault);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    if (c.status != 2) {  // a usage text is not compared
        EXPECT_EQ(run.err, Replace(c.err, "$DATA", data.string()));
    }
    for (const auto& [path, text] : c.files) {
        EXPECT_TRUE(fs::is_regular_file(data / path)) << path;
        EXPECT_EQ(ReadBytes((data / path).string()), text) << path;
    }
    for (const auto& [path, size] : c.sizes) {
        EXPECT_TRUE(fs::is_regular_file(data / path)) << path;
        EXPECT_EQ(fs::file_size(data / path), size) << path;
    }
    for (const std::string& path : c.absent) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(data / path))) << path;
    }
    if (c.changesArchive) {
        const auto archive = std::find_if(c.args.begin(), c.args.end(), [](const std::string& a) {
            const auto ext = fs::path(a).extension();
            return ext == ".zip" || ext == ".jar";
        });
        ASSERT_NE(archive, c.args.end());
        const ToolRun listing = RunTool({"list", *archive}, data);
        EXPECT_EQ(listing.status, 0);
        EXPECT_EQ(listing.out, c.after);
        return;
    }
    // Everything else leaves every archive as it was.
    for (const auto& entry : fs::directory_iterator(kCases)) {
        const auto ext = entry.path().extension();
        if (ext == ".zip" || ext == ".jar") {
            EXPECT_EQ(ReadBytes(entry.path().string()),
                      ReadBytes((data / entry.path().filename()).string()));
        }
    }
    EXPECT_FALSE(fs::exists(data / "missing.zip"));
}

INSTANTIATE_TEST_SUITE_P(DataFiles, QuellorZipCase, ::testing::ValuesIn(CaseNames()),
                         [](const auto& info) {
                             return Replace(Replace(info.param, "-", "_"), ".", "_");
                         });

}  // namespace
