#include "cli/ProgramOptions.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace cli {

namespace {

// "-x" and "--xyz" are options; "-" alone is an operand (standard input,
// by custom).
bool LooksLikeOption(const std::string& arg) {
    return arg.size() > 1 && arg.front() == '-';
}

// The option CLI11 names at the start of its message ("--jad: ..."), when
// it names one.
std::string OptionNamed(const std::string& message) {
    const auto colon = message.find(':');
    const std::string head = colon == std::string::npos ? "" : message.substr(0, colon);
    return LooksLikeOption(head) ? head : "";
}

// CLI11's message in the words of the other Quellor messages.
std::string Reworded(const CLI::ParseError& error) {
    const std::string message = error.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        const std::string option = OptionNamed(message);
        if (!option.empty()) {
            return "option '" + option + "' needs a value";
        }
    }
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        const auto end = message.find(" is required");
        if (end != std::string::npos && !LooksLikeOption(message.substr(0, end))) {
            return "no " + message.substr(0, end) + " given";
        }
    }
    return message;
}

}  // namespace

ProgramOptions::ProgramOptions(ProgramText text, std::string version)
    : text_(std::move(text)), version_(std::move(version)), app_(text_.help, text_.name) {
    // Unknown options are collected and told by name (CLI11 would list
    // them in a sentence of its own).
    app_.allow_extras();
    app_.set_help_flag("-h,--help", "print this text and exit");
    app_.set_version_flag("-V,--version", version_, "print the version and exit");
}

std::optional<int> ProgramOptions::Parse(int argc, const char* const* argv, std::ostream& out,
                                         std::ostream& err) {
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    return Parse(args, out, err);
}

std::optional<int> ProgramOptions::Parse(const std::vector<std::string>& args, std::ostream& out,
                                         std::ostream& err) {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << text_.usage << '\n' << text_.help;
        return 0;
    } catch (const CLI::CallForVersion&) {
        out << version_ << '\n';
        return 0;
    } catch (const CLI::ParseError& error) {
        err << ErrorLine(Reworded(error)) << '\n';
        return kUsageStatus;
    }
    return RefuseExtras(err);
}

std::optional<int> ProgramOptions::RefuseExtras(std::ostream& err) {
    // CLI11 keeps the "--" that ended the options among the extras.
    std::vector<std::string> extras = app_.remaining();
    extras.erase(std::remove(extras.begin(), extras.end(), "--"), extras.end());
    if (extras.empty()) {
        return std::nullopt;
    }
    // "--name=value" is named by its option.
    const std::string& first = extras.front();
    const std::string option = first.substr(0, first.find('='));
    err << ErrorLine(LooksLikeOption(first) ? "unknown option '" + option + "'"
                                            : "unexpected argument '" + first + "'")
        << '\n';
    return kUsageStatus;
}

std::string ProgramOptions::ErrorLine(const std::string& message) const {
    return text_.name + ": " + message + "; try '" + text_.name + " --help'";
}

CLI::Validator OneOf(std::vector<std::string> words) {
    std::string list;
    for (const std::string& word : words) {
        list += (list.empty() ? "" : ", ") + word;
    }
    return CLI::Validator(
        [words = std::move(words), list](std::string& value) -> std::string {
            if (std::find(words.begin(), words.end(), value) != words.end()) {
                return {};
            }
            return "'" + value + "' is not one of " + list;
        },
        list);
}

CLI::Validator NotEmpty() {
    return CLI::Validator(
        [](std::string& value) -> std::string {
            return value.empty() ? "the value must not be empty" : "";
        },
        "TEXT");
}

}  // namespace cli
