// quellor-zip, driven by the cases in tests/data/zip: each NAME.test names
// the arguments, the exit status and the exact lines expected on standard
// output ("stdout ...") and standard error ("stderr ..."). Archive names in
// the arguments are the data files next to it, copied into a scratch folder
// ("$DATA" in an expected line stands for that folder).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kCases = QUELLOR_TEST_DATA "/zip";

struct Case {
    std::vector<std::string> args;
    int status = 0;
    std::string out;
    std::string err;
};

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
        }
    }
    return c;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char ch : text) {
        out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    }
    return out + "'";
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
        data = fs::temp_directory_path() /
               ("quellor-zip-case-" + GetParam() + "-" + std::to_string(std::random_device()()));
        fs::create_directories(data);
        for (const auto& entry : fs::directory_iterator(kCases)) {
            const auto ext = entry.path().extension();
            if (ext == ".zip" || ext == ".jar") {
                fs::copy_file(entry.path(), data / entry.path().filename());
            }
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(data, ignored);
    }
    fs::path data;
};

TEST_P(QuellorZipCase, Runs) {
    const Case c = ReadCase(kCases / (GetParam() + ".test"));
    std::string command = Quote(QUELLOR_BINARY_DIR "/tools/quellor-zip");
    for (const std::string& arg : c.args) {
        const auto ext = fs::path(arg).extension();
        command += " " + Quote(ext == ".zip" || ext == ".jar" ? (data / arg).string() : arg);
    }
    const fs::path errFile = data / "stderr.txt";
    command += " 2>" + Quote(errFile.string());
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    EXPECT_EQ(out, c.out);
    std::ifstream errIn(errFile, std::ios::binary);
    const std::string err{std::istreambuf_iterator<char>(errIn), {}};
    if (c.status != 2) {  // a usage text is not compared
        EXPECT_EQ(err, Replace(c.err, "$DATA", data.string()));
    }
    // Listing leaves every archive as it was.
    for (const auto& entry : fs::directory_iterator(kCases)) {
        const auto ext = entry.path().extension();
        if (ext == ".zip" || ext == ".jar") {
            EXPECT_EQ(fs::file_size(entry.path()), fs::file_size(data / entry.path().filename()));
        }
    }
    EXPECT_FALSE(fs::exists(data / "missing.zip"));
}

INSTANTIATE_TEST_SUITE_P(DataFiles, QuellorZipCase, ::testing::ValuesIn(CaseNames()),
                         [](const auto& info) {
                             return Replace(Replace(info.param, "-", "_"), ".", "_");
                         });

}  // namespace
