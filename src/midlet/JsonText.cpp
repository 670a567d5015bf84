#include "midlet/JsonText.h"

#include <cstdio>

#include "midlet/DescriptorAttributes.h"

namespace midlet {

namespace {

void AppendCodePoint(std::string& out, unsigned value) {
    char escaped[7];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", value);
    out += escaped;
}

}  // namespace

std::string JsonString(std::string_view text, NonUtf8 nonUtf8) {
    const bool keepBytes = nonUtf8 == NonUtf8::BytesKept && !IsValidUtf8(text);
    const std::string written =
        nonUtf8 == NonUtf8::Replaced ? ReplaceInvalidUtf8(text) : std::string(text);
    std::string out = "\"";
    for (const char c : written) {
        const auto byte = static_cast<unsigned char>(c);
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
                if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && keepBytes)) {
                    AppendCodePoint(out, byte);
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string JsonStringOrNull(std::string_view text, NonUtf8 nonUtf8) {
    return text.empty() ? "null" : JsonString(text, nonUtf8);
}

}  // namespace midlet
