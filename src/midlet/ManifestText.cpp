#include "midlet/ManifestText.h"

#include <utility>

#include "platform/CodePage.h"

namespace midlet {

namespace {

constexpr std::string_view kNameKey = "MIDlet-Name:";
constexpr std::string_view kMidlet1Key = "MIDlet-1:";
constexpr std::string_view kInfoUrlKey = "MIDlet-Info-URL:";

bool Contains(std::string_view line, std::string_view key) {
    return line.find(key) != std::string_view::npos;
}

constexpr std::string_view kJarSizeName = "MIDlet-Jar-Size";
constexpr std::string_view kJarUrlName = "MIDlet-Jar-URL";

// The text after position `mark`, without the one space that usually
// follows it. Empty when the line ends before.
std::string_view AfterMark(std::string_view line, std::size_t mark) {
    std::size_t start = mark + 1;
    if (start < line.size() && line[start] == ' ') {
        ++start;
    }
    return start < line.size() ? line.substr(start) : std::string_view();
}

// True for a line that starts a new attribute (continuation lines start
// with a space).
bool StartsAttribute(std::string_view line) {
    return !line.empty() && line.front() != ' ';
}

// The attribute name of a line: the text before its first colon, without
// trailing spaces.
std::string_view AttributeName(std::string_view line) {
    const std::size_t colon = line.find(':');
    std::string_view name = line.substr(0, colon == std::string_view::npos ? 0 : colon);
    while (!name.empty() && name.back() == ' ') {
        name.remove_suffix(1);
    }
    return name;
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
    return CutToCharacters(cleaned, kCleanedNameLength);
}

std::string CutToCharacters(std::string_view text, std::size_t budget) {
    if (text.size() <= budget) {
        return std::string(text);
    }
    if (platform::GetACP() != platform::CP_UTF8) {
        return std::string(text.substr(0, budget));  // one byte, one character
    }
    // Whole UTF-8 sequences only; a byte that starts none counts by itself.
    std::size_t end = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        platform::DecodeUtf8(text, pos);
        if (pos > budget) {
            break;
        }
        end = pos;
    }
    return std::string(text.substr(0, end));
}

std::string ProjectNameOf(const std::string& cleanedName) {
    return CutToCharacters(cleanedName, kProjectNameLength);
}

bool IsNameLine(const std::string& line) {
    return Contains(line, kNameKey);
}

bool IsJadTailLine(const std::string& line) {
    const std::string_view name = AttributeName(line);
    return StartsAttribute(line) && (platform::AnsiSameText(name, kJarSizeName) ||
                                     platform::AnsiSameText(name, kJarUrlName));
}

std::string NamePassLine(const std::string& line, ProgramState& state) {
    if (!IsNameLine(line)) {
        return line;
    }
    // The value starts after the line's first colon and the space after it.
    const std::string_view value = AfterMark(line, line.find(':'));
    state.cleanedName = CleanMidletName(value);
    // The whole line gives way to the clean one.
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

std::optional<std::string> DescriptorPassLine(const std::string& line, JadKind jadKind,
                                              const std::string& cleanedName,
                                              std::string& iconPath) {
    std::string current = line;
    std::optional<std::string> written;
    if (Contains(current, kMidlet1Key)) {
        // The remainder starts after the first comma and the space after it.
        // A line without any comma has no remainder.
        const std::size_t comma = current.find(',');
        const std::string_view remainder =
            comma == std::string::npos ? std::string_view() : AfterMark(current, comma);
        // The icon field, without a leading "/", up to the next comma (or
        // to the end when the remainder holds no further comma).
        const std::size_t iconStart = remainder.starts_with('/') ? 1 : 0;
        const std::size_t iconEnd = remainder.find(',', iconStart);
        iconPath = std::string(remainder.substr(iconStart, iconEnd - iconStart));
        // The tail is everything after that comma, as it stands.
        const std::string_view tail =
            iconEnd == std::string_view::npos ? std::string_view() : remainder.substr(iconEnd + 1);
        // The MIDlet's own name field gives way to the cleaned name.
        current = "MIDlet-1: " + cleanedName + ", " + iconPath + ", " + std::string(tail);
        // The simple kind keeps only these lines.
        if (jadKind == JadKind::Simple) {
            written = current;
        }
    }
    // The information address replaces any other.
    if (Contains(current, kInfoUrlKey)) {
        current = std::string("MIDlet-Info-URL: ") + kInfoAddress;
    }
    // The full kind keeps every line.
    if (jadKind == JadKind::Full) {
        written = current;
    }
    return written;
}

std::vector<std::string> DescriptorPass(const std::vector<std::string>& lines, JadKind jadKind,
                                        const std::string& cleanedName, std::string& iconPath) {
    iconPath.clear();
    std::vector<std::string> out;
    bool inTailAttribute = false;
    for (const std::string& line : lines) {
        // The JAD's tail states the JAR's size and place; stale lines of the
        // manifest, with their continuation lines, would contradict it.
        if (StartsAttribute(line) || line.empty()) {
            inTailAttribute = jadKind == JadKind::Full && IsJadTailLine(line);
        }
        if (inTailAttribute) {
            continue;
        }
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

std::vector<std::string> JoinContinuationLines(const std::vector<std::string>& lines) {
    std::vector<std::string> joined;
    for (const std::string& line : lines) {
        if (!joined.empty() && !joined.back().empty() && !line.empty() && line.front() == ' ') {
            joined.back() += line.substr(1);
        } else {
            joined.push_back(line);
        }
    }
    return joined;
}

}  // namespace midlet
