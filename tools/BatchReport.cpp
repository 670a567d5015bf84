#include "BatchReport.h"

#include <sys/stat.h>

#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>

#include "archive/ZipArchiver.h"
#include "midlet/FileDigest.h"
#include "midlet/JsonText.h"
#include "midlet/PlainMessages.h"
#include "midlet/SuiteFiles.h"
#include "midlet/suite/JarEntries.h"
#include "midlet/suite/SuiteFacts.h"
#include "platform/ProfileReplace.h"
#include "platform/Stream.h"

namespace tools {

namespace {

// The value the installer takes: the JAD's, else the manifest's.
std::string Value(const midlet::AttributeList& jad, const midlet::AttributeList& manifest,
                  std::string_view name) {
    if (const std::string* value = jad.Find(name)) {
        return *value;
    }
    const std::string* value = manifest.Find(name);
    return value != nullptr ? *value : std::string();
}

void Describe(SuiteSummary& summary, const midlet::SuiteFacts& facts) {
    summary.kind = midlet::SuiteKindKey(facts.kind);
    summary.classes = facts.classCount;
    summary.apis = facts.apis;
    if (facts.screen) {
        summary.screen = std::to_string(facts.screen->size.width) + "x" +
                         std::to_string(facts.screen->size.height);
    }
}

bool EndsWithCsv(const std::string& path) {
    if (path.size() < 4) {
        return false;
    }
    std::string end = path.substr(path.size() - 4);
    for (char& c : end) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return end == ".csv";
}

// Text that is not UTF-8 (a path in a legacy code page) keeps every byte,
// as \u00XX.
std::string Json(const std::string& text) {
    return midlet::JsonString(text, midlet::NonUtf8::BytesKept);
}

std::string JsonOrNull(const std::string& text) {
    return midlet::JsonStringOrNull(text, midlet::NonUtf8::BytesKept);
}

template <class Number>
std::string NumberOrNull(const std::optional<Number>& number) {
    return number ? std::to_string(*number) : "null";
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string text = "[";
    for (const std::string& item : items) {
        text += (text.size() > 1 ? ", " : "") + Json(item);
    }
    return text + "]";
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : "; ") + item;
    }
    return text;
}

std::optional<std::uint64_t> SizeOf(const std::optional<FileDigest>& file) {
    return file ? std::optional(file->size) : std::nullopt;
}

std::string HashOf(const std::optional<FileDigest>& file) {
    return file ? file->sha256 : std::string();
}

// The fields of a record, named as the header names them, in its order.
struct Field {
    const char* name;
    std::string json;  // the value as JSON
    std::string csv;   // the value as CSV text
};

std::vector<Field> Fields(const ReportRecord& r) {
    const SuiteSummary suite = r.suite.value_or(SuiteSummary{});
    const bool already = r.outcome == midlet::JarOutcome::AlreadyGenerated;
    const auto text = [](const char* name, const std::string& value) {
        return Field{name, JsonOrNull(value), value};
    };
    const auto size = [](const char* name, const std::optional<std::uint64_t>& value) {
        return Field{name, NumberOrNull(value), value ? std::to_string(*value) : ""};
    };
    std::vector<Field> fields = {
        {"listed", Json(r.listed), r.listed},
        text("project", r.project),
        {"outcome", Json(OutcomeWord(r.outcome)), OutcomeWord(r.outcome)},
        {"already_generated", already ? "true" : "false", already ? "true" : "false"},
        text("message", r.message),
    };
    if (r.verdict) {
        const std::string ok = r.verdict->ok ? "true" : "false";
        fields.push_back({"verdict_ok", ok, ok});
        fields.push_back(
            {"verdict_code", std::to_string(r.verdict->code), std::to_string(r.verdict->code)});
        fields.push_back(text("verdict_text", r.verdict->text));
    } else {
        fields.push_back({"verdict_ok", "null", ""});
        fields.push_back({"verdict_code", "null", ""});
        fields.push_back({"verdict_text", "null", ""});
    }
    fields.push_back(size("listed_size", SizeOf(r.listedJar)));
    fields.push_back(text("listed_sha256", HashOf(r.listedJar)));
    fields.push_back(size("project_jar_size", SizeOf(r.projectJar)));
    fields.push_back(text("project_jar_sha256", HashOf(r.projectJar)));
    fields.push_back(text("midlet_name", suite.name));
    fields.push_back(text("midlet_vendor", suite.vendor));
    fields.push_back(text("midlet_version", suite.version));
    fields.push_back(text("profile", suite.profile));
    fields.push_back(text("configuration", suite.configuration));
    fields.push_back(text("kind", suite.kind));
    const std::optional<std::uint64_t> classes =
        r.suite ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(suite.classes))
                : std::nullopt;
    fields.push_back(size("classes", classes));
    fields.push_back({"apis", r.suite ? JsonList(suite.apis) : "null", Joined(suite.apis)});
    fields.push_back(text("screen", suite.screen));
    return fields;
}

}  // namespace

std::optional<FileDigest> DigestOf(const std::string& path) {
    try {
        FileDigest digest;
        digest.sha256 = midlet::Sha256OfFile(path, &digest.size);
        return digest;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

SuiteSummary SummaryOf(const std::string& jar, const std::string& jad) {
    SuiteSummary summary;
    std::string jadText;
    const midlet::AttributeList jadAttributes =
        midlet::ReadSmallFile(jad, jadText) ? midlet::ParseJad(jadText) : midlet::AttributeList{};
    archive::TZipArchiver zip("Zip");
    zip.FileName = jar;
    try {
        zip.OpenArchive(archive::OpenModeReadOnly);
        midlet::JarEntries entries(zip);
        const midlet::AttributeList manifest = midlet::ReadManifestAttributes(zip);
        summary.name = Value(jadAttributes, manifest, "MIDlet-Name");
        summary.vendor = Value(jadAttributes, manifest, "MIDlet-Vendor");
        summary.version = Value(jadAttributes, manifest, "MIDlet-Version");
        summary.profile = Value(jadAttributes, manifest, "MicroEdition-Profile");
        summary.configuration = Value(jadAttributes, manifest, "MicroEdition-Configuration");
        Describe(summary, midlet::ComputeSuiteFacts(entries, manifest, jadAttributes, false));
    } catch (const std::exception&) {
        summary = SuiteSummary{};
        summary.kind = midlet::SuiteKindKey(midlet::SuiteKind::NotArchive);
    }
    zip.Close();
    return summary;
}

const char* OutcomeWord(midlet::JarOutcome outcome) {
    switch (outcome) {
        case midlet::JarOutcome::Prepared:
        case midlet::JarOutcome::AlreadyGenerated:
            return "prepared";
        case midlet::JarOutcome::Skipped:
            return "skipped";
        case midlet::JarOutcome::Failed:
            break;
    }
    return "failed";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c == '"' ? "\"\"" : std::string(1, c);
    }
    return out + "\"";
}

std::string JsonRecord(const ReportRecord& record) {
    std::string line = "{";
    for (const Field& field : Fields(record)) {
        line += (line.size() > 1 ? ", " : "") + Json(field.name) + ": " + field.json;
    }
    return line + "}\n";
}

std::string CsvHeader() {
    std::string line;
    for (const Field& field : Fields(ReportRecord{})) {
        line += (line.empty() ? "" : ",") + std::string(field.name);
    }
    return line + "\r\n";
}

std::string CsvRecord(const ReportRecord& record) {
    std::string line;
    bool first = true;
    for (const Field& field : Fields(record)) {
        line += (first ? "" : ",") + CsvField(field.csv);
        first = false;
    }
    return line + "\r\n";
}

ReportFile::ReportFile(std::string path)
    : path_(std::move(path)), csv_(EndsWithCsv(path_)), text_(csv_ ? CsvHeader() : "") {}

std::string ReportFile::Problem() const {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_directory(path_, error)) {
        return "it is a folder";
    }
    const fs::path folder = fs::path(path_).parent_path();
    if (!fs::is_directory(folder, error)) {
        return "its folder " + folder.string() + " does not exist";
    }
    return {};
}

void ReportFile::Add(const ReportRecord& record) {
    text_ += csv_ ? CsvRecord(record) : JsonRecord(record);
}

// A report that is there is replaced with its permissions kept; a link to
// it stays a link, to the new file.
std::string ReportFile::Write() const {
    namespace fs = std::filesystem;
    std::error_code error;
    std::string path = path_;
    std::optional<mode_t> mode;
    struct stat info {};
    if (stat(path_.c_str(), &info) == 0) {
        path = fs::canonical(path_, error).string();
        if (error) {
            return error.message();
        }
        mode = info.st_mode & 07777;
    }
    const platform::DWORD code = platform::ReplaceWholeFile(path, text_, mode);
    return code == platform::ERROR_SUCCESS ? std::string() : midlet::SystemErrorSentence(code);
}

}  // namespace tools
