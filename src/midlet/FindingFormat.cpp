// The two printed forms of findings: one line each, or one JSON array.
#include <cstdio>

#include "midlet/DescriptorAttributes.h"
#include "midlet/InstallCheck.h"

namespace midlet {

namespace {

const char* SeverityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

// Bytes that are not UTF-8 (a file name from an old card) become U+FFFD so
// that the output stays valid JSON.
std::string AsUtf8(const std::string& text) {
    if (IsValidUtf8(text)) {
        return text;
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t length = 1;
        while (length <= 4 && i + length <= text.size() &&
               !IsValidUtf8(std::string_view(text).substr(i, length))) {
            ++length;
        }
        if (length <= 4 && i + length <= text.size()) {
            out.append(text, i, length);
            i += length - 1;
        } else {
            out += "\xEF\xBF\xBD";
        }
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : AsUtf8(text)) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char escaped[7];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
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

}  // namespace

std::string FindingLine(const Finding& finding) {
    return OneLine(finding.file + ": " + SeverityName(finding.severity) + " " +
                   (finding.code != 0 ? std::to_string(finding.code) : "-") + " " +
                   (finding.attribute.empty() ? "-" : finding.attribute) + ": " + finding.message);
}

std::string FindingsJson(const std::vector<Finding>& findings) {
    std::string out = "[";
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        out += i == 0 ? "\n  " : ",\n  ";
        out += "{\"file\": " + JsonString(f.file) + ", \"severity\": \"" +
               SeverityName(f.severity) +
               "\", \"code\": " + (f.code != 0 ? std::to_string(f.code) : "null") +
               ", \"attribute\": " + (f.attribute.empty() ? "null" : JsonString(f.attribute)) +
               ", \"message\": " + JsonString(f.message) + "}";
    }
    return out + (findings.empty() ? "]\n" : "\n]\n");
}

}  // namespace midlet
