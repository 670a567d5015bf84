#include "midlet/ManifestText.h"

#include <utility>

namespace midlet {

namespace {

constexpr std::string_view kNameKey = "MIDlet-Name:";
constexpr std::string_view kMidlet1Key = "MIDlet-1:";
constexpr std::string_view kInfoUrlKey = "MIDlet-Info-URL:";

bool Contains(std::string_view line, std::string_view key) {
    return line.find(key) != std::string_view::npos;
}

// The text from the second byte after position `mark` to the end: the byte
// right after the mark is skipped unseen. Empty when the line ends before.
std::string_view AfterMarkAndOne(std::string_view line, std::size_t mark) {
    const std::size_t start = mark + 2;
    return start < line.size() ? line.substr(start) : std::string_view();
}

}  // namespace

bool IsDroppedNameChar(unsigned char c) {
    switch (c) {
        case 0x20:  // space
        case 0x21:  // !
        case 0x28:  // (
        case 0x29:  // )
        case 0x2A:  // *
        case 0x2C:  // ,
        case 0x2E:  // .
        case 0x2F:  // /
        case 0x3A:  // :
        case 0x3B:  // ;
        case 0x3C:  // <
        case 0x3E:  // >
        case 0x3F:  // ?
        case 0x5B:  // [
        case 0x5C:  // backslash
        case 0x5D:  // ]
        case 0x7E:  // ~
            return true;
        default:
            return false;
    }
}

std::string CleanMidletName(std::string_view value) {
    std::string cleaned;
    for (const char c : value) {
        if (!IsDroppedNameChar(static_cast<unsigned char>(c))) {
            cleaned += c;
        }
    }
    if (cleaned.size() > kCleanedNameLength) {
        cleaned.resize(kCleanedNameLength);
    }
    return cleaned;
}

std::string ProjectNameOf(const std::string& cleanedName) {
    return cleanedName.substr(0, kProjectNameLength);
}

std::string NamePassLine(const std::string& line, ProgramState& state) {
    if (!Contains(line, kNameKey)) {
        return line;
    }
    // 1.1 The value starts at the second byte after the line's first colon.
    const std::string_view value = AfterMarkAndOne(line, line.find(':'));
    // 1.2-1.3 Drop the unwanted bytes, then cut to 15.
    state.cleanedName = CleanMidletName(value);
    // 1.4 The whole line gives way to the clean one.
    return "MIDlet-Name: " + state.cleanedName;
}

std::vector<std::string> NamePass(const std::vector<std::string>& lines, ProgramState& state) {
    std::vector<std::string> out;
    out.reserve(lines.size());
    for (const std::string& line : lines) {
        out.push_back(NamePassLine(line, state));
    }
    return out;
}

std::optional<std::string> DescriptorPassLine(const std::string& line, int jadKind,
                                              const std::string& cleanedName,
                                              std::string& iconPath) {
    std::string current = line;
    std::optional<std::string> written;
    if (Contains(current, kMidlet1Key)) {
        // 1.1 The remainder starts at the second byte after the first comma. A
        // line without any comma has no remainder.
        const std::size_t comma = current.find(',');
        const std::string_view remainder =
            comma == std::string::npos ? std::string_view() : AfterMarkAndOne(current, comma);
        // 1.2 The icon field, without a leading "/", up to the next comma (or
        // to the end when the remainder holds no further comma).
        const std::size_t iconStart = remainder.starts_with('/') ? 1 : 0;
        const std::size_t iconEnd = remainder.find(',', iconStart);
        iconPath = std::string(remainder.substr(iconStart, iconEnd - iconStart));
        // 1.3 The tail is everything after that comma, as it stands.
        const std::string_view tail =
            iconEnd == std::string_view::npos ? std::string_view() : remainder.substr(iconEnd + 1);
        // 1.4 The MIDlet's own name field gives way to the cleaned name.
        current = "MIDlet-1: " + cleanedName + ", " + iconPath + ", " + std::string(tail);
        // 1.5 The simple kind keeps only these lines.
        if (jadKind == kSimpleJad) {
            written = current;
        }
    }
    // 2. The information address replaces any other.
    if (Contains(current, kInfoUrlKey)) {
        current = std::string("MIDlet-Info-URL: ") + kInfoAddress;
    }
    // 3. The full kind keeps every line.
    if (jadKind == kFullJad) {
        written = current;
    }
    return written;
}

std::vector<std::string> DescriptorPass(const std::vector<std::string>& lines, int jadKind,
                                        const std::string& cleanedName, std::string& iconPath) {
    iconPath.clear();
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        if (auto written = DescriptorPassLine(line, jadKind, cleanedName, iconPath)) {
            out.push_back(std::move(*written));
        }
    }
    return out;
}

std::vector<std::string> JadTail(std::uint32_t jarSize, const std::string& projectName) {
    return {"MIDlet-Jar-Size: " + std::to_string(jarSize),
            "MIDlet-Jar-URL: " + projectName + ".jar"};
}

}  // namespace midlet
