// The command-line conventions every Quellor program keeps, over CLI11:
// options anywhere among the operands, "--opt=value", "--" ending the
// options, -h/--help and -V/--version, and a wrong command line told in one
// line that names the option, with exit status 2.
#pragma once

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// What a program shows for --help: the usage lines, a blank line, and the
// text that explains every option.
struct ProgramText {
    std::string name;   // "quellor-batch"
    std::string usage;  // "usage: quellor-batch [OPTION]... JAR...\n"
    std::string help;
};

// The exit status of a wrong command line.
inline constexpr int kUsageStatus = 2;

// One program's command line: define its options on App(), then Parse.
class ProgramOptions {
  public:
    ProgramOptions(ProgramText text, std::string version);

    CLI::App& App() { return app_; }

    // Reads the arguments. Gives nullopt when the program should go on, or
    // the status it should end with: 0 after printing the help or the
    // version on `out`, kUsageStatus after printing the error on `err`.
    std::optional<int> Parse(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err);
    std::optional<int> Parse(const std::vector<std::string>& args, std::ostream& out,
                             std::ostream& err);

    // The error line of a wrong command line, for checks the program makes
    // itself after parsing ("PROGRAM: message; try 'PROGRAM --help'").
    std::string ErrorLine(const std::string& message) const;

  private:
    // The first unknown option or stray argument CLI11 left over, told on
    // `err`; nullopt when there is none.
    std::optional<int> RefuseExtras(std::ostream& err);

    ProgramText text_;
    std::string version_;
    CLI::App app_;
};

// A validator that takes only these words: "'x' is not one of a, b, c".
CLI::Validator OneOf(std::vector<std::string> words);
// A validator that refuses an empty value.
CLI::Validator NotEmpty();

}  // namespace cli
