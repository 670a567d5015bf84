// quellor-zip: drives the archive engine from the command line.
//
//   quellor-zip [--on-failure abort|ignore|retry-once] COMMAND ARGS...
//
// Commands:
//   list ARCHIVE   one line per entry in directory order, tab-separated:
//                  name, method, compressed size, uncompressed size,
//                  CRC-32 (8 hex digits), external attributes (8 hex digits),
//                  local header offset.
//   extract ARCHIVE MASK DESTDIR
//                  writes the entries that match MASK into files under
//                  DESTDIR (made when missing), re-creating their folders.
//                  An entry that fails or is refused makes the exit status
//                  1, whatever --on-failure answers ("error: N entries were
//                  not extracted" last on standard error).
//   update ARCHIVE MASK BASEDIR
//                  refreshes the entries that match MASK from the files of
//                  the same relative names under BASEDIR: the new archive
//                  is written beside the old one and replaces it whole.
//
// --on-failure answers every failure question of the engine (default
// abort); each question is printed as "failure: " and its text on standard
// error. --help describes the commands and options, --version names the
// version. Options may stand anywhere; after -- every argument is an operand.
//
// Exit status: 0 when the command worked; 1 when an exception left it
// ("error: " and its message on standard error), an entry was not
// extracted, or an update passed over an entry it could not refresh; 2 for a
// wrong command line.
#include <charconv>
#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "HeadlessDialogs.h"
#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "cli/ProgramOptions.h"
#include "midlet/PlainMessages.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace {

using Args = std::vector<std::string>;

struct Command {
    std::size_t argCount;
    const char* usage;
    std::function<int(const Args&)> run;
};

const char* const kUsage =
    "Usage: quellor-zip [OPTION]... list ARCHIVE\n"
    "  or:  quellor-zip [OPTION]... extract ARCHIVE MASK DESTDIR\n"
    "  or:  quellor-zip [OPTION]... update ARCHIVE MASK BASEDIR\n";

const char* const kHelp =
    "Drives the archive engine on its own.\n"
    "\n"
    "commands:\n"
    "  list ARCHIVE                  one line per entry: name, method, compressed and\n"
    "                                uncompressed size, CRC-32, attributes, header offset\n"
    "  extract ARCHIVE MASK DESTDIR  write the entries that match MASK into files under\n"
    "                                DESTDIR\n"
    "  update ARCHIVE MASK BASEDIR   refresh the entries that match MASK from the files\n"
    "                                of the same names under BASEDIR; the archive is\n"
    "                                replaced whole\n"
    "\n"
    "options:\n"
    "  --on-failure abort|ignore|retry-once\n"
    "               the answer to every failure question of the engine (default: abort)\n"
    "  -h, --help   print this text and exit\n"
    "  -V, --version\n"
    "               print the version and exit\n"
    "Options may stand anywhere; after -- every argument is an operand.\n"
    "\n"
    "exit status: 0 when the command worked, 1 when it failed (extract: when any entry\n"
    "failed or was refused, whatever --on-failure answered), 2 for a wrong command line\n";

// The component as the window configures it.
void Configure(archive::TZipArchiver& zip, const std::string& archivePath) {
    archive::ApplyFormValues(zip);
    zip.FileName = archivePath;
}

// The listing is formatted into one buffer and written in large pieces:
// a hundred thousand lines through the stream's field-by-field output took
// longer than reading the archive.
class ListingBuffer {
  public:
    static constexpr std::size_t FlushAt = 1 << 16;

    ~ListingBuffer() { Flush(); }

    void Text(std::string_view text) { text_.append(text); }
    void Char(char c) { text_.push_back(c); }
    void Decimal(std::uint64_t value) {
        char digits[20];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        text_.append(digits, end);
    }
    void Hex8(std::uint32_t value) {
        char digits[8];
        for (int i = 7; i >= 0; --i, value >>= 4) {
            digits[i] = "0123456789abcdef"[value & 0xF];
        }
        text_.append(digits, sizeof digits);
    }
    void EndLine() {
        text_.push_back('\n');
        if (text_.size() >= FlushAt) {
            Flush();
        }
    }
    void Flush() {
        std::cout.write(text_.data(), static_cast<std::streamsize>(text_.size()));
        text_.clear();
    }

  private:
    std::string text_;
};

int List(const Args& args) {
    archive::TZipArchiver zip("Zip");
    Configure(zip, args[0]);
    // Listing never creates an archive.
    if (!platform::FileExists(zip.FileName)) {
        throw archive::EZipException(archive::native::ArchiveNotFound, &zip, {zip.FileName});
    }
    zip.Open();
    const archive::TZipDirArray& directory = zip.DirManager()->Directory;
    ListingBuffer out;
    for (int i = 0; i < directory.Count(); ++i) {
        const archive::TDirItem& item = directory.ItemAt(i);
        out.Text(item.Name);
        out.Char('\t');
        out.Decimal(item.Header.Method);
        out.Char('\t');
        out.Decimal(item.CompressedSize());
        out.Char('\t');
        out.Decimal(item.UncompressedSize());
        out.Char('\t');
        out.Hex8(item.Header.Crc32);
        out.Char('\t');
        out.Hex8(item.Header.ExternalAttributes);
        out.Char('\t');
        out.Decimal(item.LocalHeaderOffset());
        out.EndLine();
    }
    out.Flush();
    zip.Close();
    return 0;
}

// Both mask operations take every entry kind and no exclusion mask, as the
// program calls them.
constexpr std::uint32_t kAnyAttributes = 10431;

// Opens an existing archive with BaseDir set, runs `operation`, closes;
// the archiver as it was left, for its counts.
void OnMatches(archive::TZipArchiver& zip, const Args& args,
               void (archive::TZipBaseArchiver::*operation)(const std::string&, std::uint32_t,
                                                            const std::string&)) {
    Configure(zip, args[0]);
    if (!platform::FileExists(zip.FileName)) {
        throw archive::EZipException(archive::native::ArchiveNotFound, &zip, {zip.FileName});
    }
    zip.BaseDir = args[2];
    zip.Open();
    (zip.*operation)(args[1], kAnyAttributes, "");
    zip.Close();
}

// An entry that failed or was refused fails the command, whatever the
// answer to its failure question was: Ignore goes on with the next entry,
// and the command still exits 1.
int Extract(const Args& args) {
    archive::TZipArchiver zip("Zip");
    OnMatches(zip, args, &archive::TZipBaseArchiver::ExtractByMask);
    const int failed = zip.FailedCount();
    if (failed == 0) {
        return 0;
    }
    std::cerr << "error: " << failed << (failed == 1 ? " entry was" : " entries were")
              << " not extracted\n";
    return 1;
}

// An entry whose failure is answered Ignore keeps its old data, and one
// answered Abort ends the update, which may then return without an error;
// either way the update is not what was asked for.
int Update(const Args& args) {
    archive::TZipArchiver zip("Zip");
    OnMatches(zip, args, &archive::TZipBaseArchiver::UpdateByMask);
    const int failed = zip.FailedCount();
    if (failed > 0) {
        std::cerr << "error: " << args[0] << ": " << failed
                  << (failed == 1 ? " entry was" : " entries were") << " not refreshed\n";
        return 1;
    }
    return 0;
}

const std::map<std::string, Command>& Commands() {
    static const std::map<std::string, Command> commands = {
        {"list", {1, "list ARCHIVE", List}},
        {"extract", {3, "extract ARCHIVE MASK DESTDIR", Extract}},
        {"update", {3, "update ARCHIVE MASK BASEDIR", Update}},
    };
    return commands;
}

// What the command line says.
struct CommandLine {
    std::string policy;
    Args operands;  // the command and its arguments
};

// Every option of the program.
void DefineOptions(CLI::App& app, CommandLine& line) {
    app.add_option("--on-failure", line.policy)
        ->check(cli::OneOf({"abort", "ignore", "retry-once"}));
    app.add_option("COMMAND", line.operands);
}

// The command named on the command line with its arguments, or the status
// to end with.
std::optional<int> CheckCommand(const cli::ProgramOptions& options, const Args& operands) {
    if (operands.empty()) {
        std::cerr << options.ErrorLine("no command given") << '\n';
        return cli::kUsageStatus;
    }
    const auto found = Commands().find(operands.front());
    if (found == Commands().end()) {
        std::cerr << options.ErrorLine("unknown command '" + operands.front() + "'") << '\n';
        return cli::kUsageStatus;
    }
    if (operands.size() - 1 != found->second.argCount) {
        std::cerr << options.ErrorLine("wrong number of arguments for " + operands.front() +
                                       "; it takes " + found->second.usage)
                  << '\n';
        return cli::kUsageStatus;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    // A run's letter case and code pages follow the locale it started in.
    platform::KeepLocaleForTheProcess();
    cli::ProgramOptions options({"quellor-zip", kUsage, kHelp},
                                std::string("quellor-zip ") + QUELLOR_VERSION);
    CommandLine line;
    DefineOptions(options.App(), line);
    if (const auto status = options.Parse(argc, argv, std::cout, std::cerr)) {
        return *status;
    }
    if (const auto status = CheckCommand(options, line.operands)) {
        return *status;
    }
    tools::FailurePolicy policy = tools::FailurePolicy::Abort;
    if (!line.policy.empty()) {
        tools::ParseFailurePolicy(line.policy, policy);
    }
    const auto found = Commands().find(line.operands.front());
    const Args commandArgs(line.operands.begin() + 1, line.operands.end());
    tools::HeadlessDialogs dialogs(policy);
    platform::DialogsGuard guard(dialogs);
    try {
        return found->second.run(commandArgs);
    } catch (...) {
        std::cout.flush();
        std::cerr << "error: " << commandArgs.front() << ": "
                  << midlet::PlainFailureText(std::current_exception()) << '\n';
        return 1;
    }
}
