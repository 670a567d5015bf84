// The bad-input sweep: rows of expectations read from tests/data/sweep/*.tsv,
// the tools run on copies of corpus files under a time limit, and snapshots
// of a folder tree to show that nothing was written where it should not be.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ZipConst.h"
#include "midlet/PlainMessages.h"

namespace sweep {

namespace fs = std::filesystem;

inline const std::string kCorpus = QUELLOR_CORPUS_DIR;
inline const std::string kData = QUELLOR_TEST_DATA "/sweep/";

// One line of an expectations file: its tab-separated columns.
using Row = std::vector<std::string>;

// The rows of `file`, without comment lines ("#..."); a row is padded with
// empty columns up to `columns`.
inline std::vector<Row> ReadRows(const std::string& file, std::size_t columns) {
    std::vector<Row> rows;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        Row row;
        std::size_t from = 0;
        for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
            row.push_back(line.substr(from, tab - from));
        }
        row.push_back(line.substr(from));
        row.resize(std::max(row.size(), columns));
        rows.push_back(row);
    }
    return rows;
}

// A test name made of the characters GoogleTest allows.
inline std::string TestName(const std::string& text) {
    std::string name;
    for (char c : text) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct ToolRun {
    int status = -1;  // exit status; 124 a hang, 128 + n a crash by signal n
    std::string out;
    std::string err;
};

// Runs `args` (the first is the program) in `folder` with no input, under
// a time limit, capturing both outputs into files there.
inline ToolRun RunTool(const std::vector<std::string>& args, const fs::path& folder,
                       int seconds = 120) {
    std::string command =
        "cd " + Quote(folder.string()) + " && timeout -k 5 " + std::to_string(seconds);
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    const fs::path out = folder / "stdout.txt";
    const fs::path err = folder / "stderr.txt";
    command += " <" + Quote("/dev/null") + " >" + Quote(out.string()) + " 2>" + Quote(err.string());
    ToolRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadBytes(out);
    run.err = ReadBytes(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

// The messages on standard error: a line that starts with "error: " or
// "failure: " begins one, any other line continues the one before (an
// entry name may hold a line break).
inline std::vector<std::string> Messages(const std::string& err) {
    std::vector<std::string> messages;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        if (messages.empty() || line.rfind("error: ", 0) == 0 || line.rfind("failure: ", 0) == 0) {
            messages.push_back(line);
        } else {
            messages.back() += "\n" + line;
        }
    }
    return messages;
}

// The native error whose sentence a message tells: the one whose text
// around "%s" it holds, the longest where several do; "?" for none.
inline std::string NativeErrorTold(const std::string& message) {
    int told = -1;
    std::size_t longest = 0;
    for (int code = 0; code <= archive::native::Highest; ++code) {
        // A message that knows why drops the sentence's guesses in brackets.
        std::string sentence = midlet::ArchiveErrorSentence(code);
        if (const auto guess = sentence.find(" ("); guess != std::string::npos) {
            sentence.erase(guess);
        }
        const auto hole = sentence.find("%s");
        const std::string head = sentence.substr(0, hole);
        const std::string tail = hole == std::string::npos ? "" : sentence.substr(hole + 2);
        const auto at = message.find(head);
        if (at != std::string::npos && message.find(tail, at + head.size()) != std::string::npos &&
            head.size() + tail.size() > longest) {
            told = code;
            longest = head.size() + tail.size();
        }
    }
    return told < 0 ? "?" : std::to_string(told);
}

// "failure:8 error:35": the kind and native error of each message, read
// from its sentence; "?" when a message tells none; "-" for no message.
inline std::string Codes(const std::vector<std::string>& messages) {
    std::string codes;
    for (const std::string& message : messages) {
        const std::string kind = message.substr(0, message.find(':'));
        codes += (codes.empty() ? "" : " ") + kind + ":" + NativeErrorTold(message);
    }
    return codes.empty() ? "-" : codes;
}

// What the sanitizers print when they find a fault.
inline bool SanitizerReport(const std::string& err) {
    return err.find("Sanitizer") != std::string::npos ||
           err.find("runtime error:") != std::string::npos;
}

// Every path below `root` with its kind, size and content hash; paths below
// `skip` are left out.
using Snapshot = std::map<std::string, std::string>;

inline Snapshot Take(const fs::path& root, const fs::path& skip = {}) {
    Snapshot snapshot;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path& path = it->path();
        if (!skip.empty() && path == skip) {
            it.disable_recursion_pending();
            continue;
        }
        std::string state;
        if (it->is_symlink()) {
            state = "link " + fs::read_symlink(path).string();
        } else if (it->is_directory()) {
            state = "folder";
        } else {
            const std::string bytes = ReadBytes(path);
            state = "file " + std::to_string(bytes.size()) + " " +
                    std::to_string(std::hash<std::string>{}(bytes));
        }
        snapshot[fs::relative(path, root).string()] = state;
    }
    return snapshot;
}

// Regular files below `root` and their total size.
struct Written {
    int files = 0;
    std::uint64_t bytes = 0;
};

inline Written WrittenBelow(const fs::path& root) {
    Written written;
    if (!fs::exists(root)) {
        return written;
    }
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            ++written.files;
            written.bytes += entry.file_size();
        }
    }
    return written;
}

// The corpus files below `folder` (relative paths), READMEs left out.
inline std::set<std::string> CorpusFiles(const fs::path& folder, const std::string& extension) {
    std::set<std::string> files;
    if (!fs::exists(folder)) {
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const fs::path& path = entry.path();
        if (entry.is_regular_file() && path.filename() != "README.md" &&
            (extension.empty() || path.extension() == extension)) {
            files.insert(fs::relative(path, folder).string());
        }
    }
    return files;
}

}  // namespace sweep
