// The command-line conventions of all four programs, as a table per
// program: options anywhere, "--opt=value", "--", -h/-V, and a wrong
// command line told in one line that names what is wrong, with status 2.
// The window's program answers --help and --version without a display.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestCommands.h"
#include "TestFiles.h"
#include "TestFolder.h"

namespace {

namespace fs = std::filesystem;

struct Convention {
    const char* program;
    std::vector<std::string> args;
    int status;
    const char* out;  // the start of standard output; standard error is empty
    const char* err;  // else: what standard error says after "PROGRAM: "
};

const Convention kBatch[] = {
    {"quellor-batch", {"-h", "a.jar"}, 0, "Usage: quellor-batch", nullptr},
    {"quellor-batch", {"a.jar", "-V"}, 0, "quellor-batch 1.", nullptr},
    {"quellor-batch", {"-v", "a.jar"}, 2, nullptr, "unknown option '-v'"},
    {"quellor-batch", {"a.jar", "--bogus"}, 2, nullptr, "unknown option '--bogus'"},
    {"quellor-batch", {"--bogus=1", "a.jar"}, 2, nullptr, "unknown option '--bogus'"},
    {"quellor-batch", {"--jad=short", "a.jar"}, 2, nullptr, "--jad: 'short' is not one of full"},
    {"quellor-batch", {"a.jar", "--type"}, 2, nullptr, "option '--type' needs a value"},
    {"quellor-batch", {"--keep-going"}, 2, nullptr, "no JAR given"},
};

const Convention kZip[] = {
    {"quellor-zip", {"list", "x.zip", "--help"}, 0, "Usage: quellor-zip", nullptr},
    {"quellor-zip", {"--on-failure=ignore", "-V"}, 0, "quellor-zip 1.", nullptr},
    {"quellor-zip", {"list", "x.zip", "--bogus"}, 2, nullptr, "unknown option '--bogus'"},
    {"quellor-zip", {"--on-failure", "list", "x.zip"}, 2, nullptr, "--on-failure: 'list'"},
    {"quellor-zip", {"--", "list"}, 2, nullptr, "wrong number of arguments for list"},
    {"quellor-zip", {"unzip", "x.zip"}, 2, nullptr, "unknown command 'unzip'"},
    {"quellor-zip", {}, 2, nullptr, "no command given"},
};

const Convention kCheck[] = {
    {"quellor-check", {"a.jar", "-h"}, 0, "Usage: quellor-check", nullptr},
    {"quellor-check", {"-V"}, 0, "quellor-check 1.", nullptr},
    {"quellor-check", {"a.jar", "--json", "-x"}, 2, nullptr, "unknown option '-x'"},
    {"quellor-check", {"--jad=", "a.jar"}, 2, nullptr, nullptr},
    {"quellor-check", {"--", "-V"}, 1, "-V: verdict", nullptr},  // a JAR named -V
    {"quellor-check", {"--jad=a.jad", "a.jar", "b.jar"}, 2, nullptr, "--jad goes with one JAR"},
};

const Convention kWindow[] = {
    {"quellor", {"--help"}, 0, "Usage: quellor", nullptr},
    {"quellor", {"a.jar", "--version"}, 0, "quellor 1.", nullptr},
    {"quellor", {"--bogus"}, 2, nullptr, "unknown option '--bogus'"},
};

std::string ProgramPath(const std::string& program) {
    return program == "quellor" ? QUELLOR_BINARY_DIR "/src/app/quellor"
                                : QUELLOR_BINARY_DIR "/tools/" + program;
}

void Expect(const Convention& c) {
    const std::string path = ProgramPath(c.program);
    if (!fs::exists(path)) {
        GTEST_SKIP() << "not built: " << path;
    }
    TestFolder scratch;
    std::string command = "cd " + Quote(scratch.Path()) +
                          " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quote(path);
    for (const std::string& arg : c.args) {
        command += " " + Quote(arg);
    }
    const CommandResult run = Shell(command + " 2>" + Quote(scratch / "err.txt") + " </dev/null");
    const std::string err = ReadBytes(scratch / "err.txt");
    EXPECT_EQ(run.status, c.status) << err;
    if (c.out != nullptr) {
        EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << run.out;
        EXPECT_EQ(err, "");
        return;
    }
    EXPECT_EQ(run.out, "");
    if (c.status != 2) {
        return;
    }
    // One line: "PROGRAM: what is wrong; try 'PROGRAM --help'".
    const std::string program = c.program;
    EXPECT_EQ(err.rfind(program + ": " + (c.err != nullptr ? c.err : ""), 0), 0u) << err;
    const std::string tail = "; try '" + program + " --help'\n";
    EXPECT_TRUE(err.size() > tail.size() &&
                err.compare(err.size() - tail.size(), tail.size(), tail) == 0)
        << err;
}

class ProgramConvention : public ::testing::TestWithParam<Convention> {};

TEST_P(ProgramConvention, Answers) {
    Expect(GetParam());
}

std::string CaseName(const ::testing::TestParamInfo<Convention>& info) {
    return std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Batch, ProgramConvention, ::testing::ValuesIn(kBatch), CaseName);
INSTANTIATE_TEST_SUITE_P(Zip, ProgramConvention, ::testing::ValuesIn(kZip), CaseName);
INSTANTIATE_TEST_SUITE_P(Check, ProgramConvention, ::testing::ValuesIn(kCheck), CaseName);
INSTANTIATE_TEST_SUITE_P(Window, ProgramConvention, ::testing::ValuesIn(kWindow), CaseName);

}  // namespace
