// The record quellor-batch --report keeps of every listed JAR: what became
// of it, its installer verdict, the sizes and SHA-256 digests of the listed
// JAR and of its project's JAR, and what its suite is. Written as JSON
// lines, or as CSV (RFC 4180: a header line, fields quoted where needed,
// CR LF line ends) when the file's name ends in ".csv".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "midlet/Batch.h"

namespace tools {

struct FileDigest {
    std::uint64_t size = 0;
    std::string sha256;  // 64 lower-case hexadecimal digits
};

// The size and SHA-256 of the file at `path`; nothing when it cannot be
// read.
std::optional<FileDigest> DigestOf(const std::string& path);

// What a project's suite is, as its JAD and manifest name it and its
// classes show it.
struct SuiteSummary {
    std::string name;     // MIDlet-Name
    std::string vendor;   // MIDlet-Vendor
    std::string version;  // MIDlet-Version
    std::string profile;  // MicroEdition-Profile
    std::string configuration;
    std::string kind;  // "midlet-suite", "doja", ... as quellor-check --json names it
    int classes = 0;
    std::vector<std::string> apis;
    std::string screen;  // "240x320": the screen it was made for; empty when unknown
};

// The summary of the project whose JAR and JAD are at these paths. Nothing
// is thrown for a file that cannot be read: the kind then says so.
SuiteSummary SummaryOf(const std::string& jar, const std::string& jad);

// The installer's verdict on a project, as its verdict line gives it.
struct VerdictSummary {
    bool ok = true;
    int code = 0;      // 900 when ok; 0 where the installer shows none
    std::string text;  // the verdict line
};

struct ReportRecord {
    std::string listed;
    std::string project;  // empty when the JAR made or found none
    midlet::JarOutcome outcome = midlet::JarOutcome::Failed;
    std::string message;  // the failure, or the JAR's log lines
    std::optional<VerdictSummary> verdict;
    std::optional<FileDigest> listedJar;
    std::optional<FileDigest> projectJar;
    std::optional<SuiteSummary> suite;
};

// "prepared" (made, or found already generated), "skipped" or "failed".
const char* OutcomeWord(midlet::JarOutcome outcome);

// One field of a CSV line, quoted when it holds a comma, a quote or a line
// end; bytes are kept as they are.
std::string CsvField(const std::string& text);

// One JSON object and its line end.
std::string JsonRecord(const ReportRecord& record);
std::string CsvHeader();
std::string CsvRecord(const ReportRecord& record);

// The report file, made whole at the end of the run: its records are kept
// until Write replaces the file in one step.
class ReportFile {
  public:
    // `path` full; CSV when it ends in ".csv" (in any letter case).
    explicit ReportFile(std::string path);

    const std::string& Path() const { return path_; }
    // Why the file cannot be written where it is named; empty when it can.
    std::string Problem() const;
    void Add(const ReportRecord& record);
    // Replaces the file (a new file beside it, flushed, renamed over it);
    // empty, or why it could not be written.
    std::string Write() const;

  private:
    std::string path_;
    bool csv_;
    std::string text_;
};

}  // namespace tools
