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
//   update ARCHIVE MASK BASEDIR
//                  refreshes the entries that match MASK from the files of
//                  the same relative names under BASEDIR: the new archive
//                  is written beside the old one and replaces it whole.
//
// --on-failure answers every failure question of the engine (default
// abort); each question is printed as "failure: " and its text on standard
// error. --help describes the commands and options, --version names the
// version.
//
// Exit status: 0 when the command worked; 1 when an exception left it
// ("error: " and its message on standard error), or when an update passed
// over an entry it could not refresh; 2 for a wrong command line.
#include <charconv>
#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "HeadlessDialogs.h"
#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "platform/Files.h"

namespace {

using Args = std::vector<std::string>;

struct Command {
    std::size_t argCount;
    const char* usage;
    std::function<int(const Args&)> run;
};

const char* const kUsage =
    "usage: quellor-zip [--on-failure abort|ignore|retry-once] COMMAND ARGS...\n";

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
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "exit status: 0 when the command worked, 1 when it failed, 2 for a wrong command line\n";

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

// Opens an existing archive with BaseDir set, runs `operation`, closes.
int OnMatches(const Args& args,
              void (archive::TZipBaseArchiver::*operation)(const std::string&, std::uint32_t,
                                                           const std::string&)) {
    archive::TZipArchiver zip("Zip");
    Configure(zip, args[0]);
    if (!platform::FileExists(zip.FileName)) {
        throw archive::EZipException(archive::native::ArchiveNotFound, &zip, {zip.FileName});
    }
    zip.BaseDir = args[2];
    zip.Open();
    (zip.*operation)(args[1], kAnyAttributes, "");
    zip.Close();
    return 0;
}

int Extract(const Args& args) {
    return OnMatches(args, &archive::TZipBaseArchiver::ExtractByMask);
}

// The engine's archiver, counting the failures that were not retried: an
// entry whose failure is answered Ignore keeps its old data, and one
// answered Abort ends the update, which may then return without an error;
// either way the update is not what was asked for.
class CountingArchiver : public archive::TZipArchiver {
  public:
    using TZipArchiver::TZipArchiver;
    int Failures = 0;

    void DoProcessFileFailure(const std::string& fileName, archive::TZipProcessOperation operation,
                              int nativeError, int errorCode, const std::string& errorMessage,
                              archive::TZipAction& action) override {
        TZipArchiver::DoProcessFileFailure(fileName, operation, nativeError, errorCode,
                                           errorMessage, action);
        Failures += action == archive::fxaRetry ? 0 : 1;
    }
};

int Update(const Args& args) {
    CountingArchiver zip("Zip");
    Configure(zip, args[0]);
    if (!platform::FileExists(zip.FileName)) {
        throw archive::EZipException(archive::native::ArchiveNotFound, &zip, {zip.FileName});
    }
    zip.BaseDir = args[2];
    zip.Open();
    zip.UpdateByMask(args[1], kAnyAttributes, "");
    zip.Close();
    if (zip.Failures > 0) {
        std::cerr << "error: " << args[0] << ": " << zip.Failures
                  << (zip.Failures == 1 ? " entry was" : " entries were") << " not refreshed\n";
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

int Usage() {
    std::cerr << kUsage << "commands:\n";
    for (const auto& [name, command] : Commands()) {
        std::cerr << "  " << command.usage << '\n';
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Args args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage << '\n' << kHelp;
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "quellor-zip " << QUELLOR_VERSION << '\n';
        return 0;
    }
    // Options come before the command.
    tools::FailurePolicy policy = tools::FailurePolicy::Abort;
    std::size_t next = 0;
    while (next < args.size() && args[next].rfind("--", 0) == 0) {
        if (args[next] == "--on-failure" && next + 1 < args.size() &&
            tools::ParseFailurePolicy(args[next + 1], policy)) {
            next += 2;
        } else {
            return Usage();
        }
    }
    if (next >= args.size()) {
        return Usage();
    }
    const auto found = Commands().find(args[next]);
    const Args commandArgs(args.begin() + static_cast<std::ptrdiff_t>(next) + 1, args.end());
    if (found == Commands().end() || commandArgs.size() != found->second.argCount) {
        return Usage();
    }
    tools::HeadlessDialogs dialogs(policy);
    platform::DialogsGuard guard(dialogs);
    try {
        return found->second.run(commandArgs);
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "error: " << e.what() << '\n';
        return 1;
    }
}
