// The printed forms of the report: lines, a summary, and one JSON object.

#include "midlet/InstallCheck.h"
#include "midlet/JsonText.h"

namespace midlet {

namespace {

const char* SeverityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

std::string JsonCode(int code) {
    return code != 0 ? std::to_string(code) : "null";
}

// A control character in a file name or a quoted value would break the line
// or act on the terminal; it is shown as "?".
std::string OneLine(std::string text) {
    for (char& c : text) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

// A file name that holds a blank, a colon or a quote is quoted, so that the
// line's own colons stay unambiguous.
std::string FileField(const std::string& file) {
    if (file.find_first_of(" \t:\"") == std::string::npos) {
        return file;
    }
    std::string quoted = "\"";
    for (const char c : file) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// "CODE ATTRIBUTE: message; fix"
std::string FindingBody(int code, const Finding& f) {
    return (code != 0 ? std::to_string(code) : "-") + " " +
           (f.attribute.empty() ? "-" : f.attribute) + ": " + f.message +
           (f.fix.empty() ? "" : "; " + f.fix);
}

std::string FindingJson(const Finding& f) {
    return "{\"file\": " + JsonString(f.file) + ", \"severity\": \"" + SeverityName(f.severity) +
           "\", \"code\": " + JsonCode(f.code) +
           ", \"attribute\": " + JsonStringOrNull(f.attribute) +
           ", \"message\": " + JsonString(f.message) + ", \"fix\": " + JsonStringOrNull(f.fix) +
           "}";
}

std::string VerdictJson(const SuiteReport& report) {
    const Verdict& v = report.verdict;
    if (v.ok) {
        return "{\"ok\": true, \"code\": 900, \"file\": null, \"attribute\": null, "
               "\"message\": null, \"fix\": null, \"device\": " +
               JsonString(report.device) + "}";
    }
    return std::string("{\"ok\": false, \"code\": ") + JsonCode(v.code) +
           ", \"file\": " + JsonString(v.decisive.file) +
           ", \"attribute\": " + JsonStringOrNull(v.decisive.attribute) +
           ", \"message\": " + JsonString(v.decisive.message) +
           ", \"fix\": " + JsonStringOrNull(v.decisive.fix) +
           ", \"device\": " + JsonString(report.device) + "}";
}

struct Counts {
    std::size_t ok = 0;
    std::size_t warnings = 0;
    std::size_t errors = 0;
};

Counts CountOf(const std::vector<SuiteReport>& reports) {
    Counts counts;
    for (const SuiteReport& report : reports) {
        if (!report.verdict.ok) {
            ++counts.errors;
        } else if (report.HasWarnings()) {
            ++counts.warnings;
        } else {
            ++counts.ok;
        }
    }
    return counts;
}

}  // namespace

std::string VerdictLine(const SuiteReport& report) {
    const std::string device = " (device " + report.device + ")";
    if (report.verdict.ok) {
        return OneLine(FileField(report.jar) + ": verdict ok" + device);
    }
    return OneLine(FileField(report.jar) + ": verdict " +
                   FindingBody(report.verdict.code, report.verdict.decisive) + device);
}

std::string FindingLine(const Finding& finding) {
    return OneLine(FileField(finding.file) + ": " + SeverityName(finding.severity) + " " +
                   FindingBody(finding.code, finding));
}

std::string ReportLines(const SuiteReport& report) {
    std::string text = VerdictLine(report) + "\n";
    for (const Finding& finding : report.findings) {
        text += FindingLine(finding) + "\n";
    }
    return text;
}

std::string SummaryLine(const std::vector<SuiteReport>& reports) {
    const Counts counts = CountOf(reports);
    return std::to_string(reports.size()) + (reports.size() == 1 ? " suite: " : " suites: ") +
           std::to_string(counts.ok) + " ok, " + std::to_string(counts.warnings) +
           " with warnings, " + std::to_string(counts.errors) + " with errors";
}

std::string ReportsJson(const std::vector<SuiteReport>& reports, const std::string& device) {
    std::string out = "{\"device\": " + JsonString(device) + ", \"suites\": [";
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const SuiteReport& r = reports[i];
        out += i == 0 ? "\n  " : ",\n  ";
        out += "{\"jar\": " + JsonString(r.jar) + ", \"jad\": " + JsonStringOrNull(r.jad) +
               ",\n   \"verdict\": " + VerdictJson(r) + ",\n   \"findings\": [";
        for (std::size_t k = 0; k < r.findings.size(); ++k) {
            out += (k == 0 ? "\n    " : ",\n    ") + FindingJson(r.findings[k]);
        }
        out += r.findings.empty() ? "]" : "\n   ]";
        out += r.factsJson.empty() ? "}" : ",\n   \"facts\": " + r.factsJson + "}";
    }
    const Counts counts = CountOf(reports);
    out += std::string(reports.empty() ? "" : "\n") +
           "], \"summary\": {\"suites\": " + std::to_string(reports.size()) +
           ", \"ok\": " + std::to_string(counts.ok) +
           ", \"warnings\": " + std::to_string(counts.warnings) +
           ", \"errors\": " + std::to_string(counts.errors) + "}}\n";
    return out;
}

}  // namespace midlet
