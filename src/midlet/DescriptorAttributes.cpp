#include "midlet/DescriptorAttributes.h"

#include <algorithm>
#include <cstdint>
#include <set>

namespace midlet {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr char kSubstitute = 0x1A;  // Ctrl-Z, which the JAD reader deletes
// Characters a JAD key must not hold besides controls, space and tab.
constexpr std::string_view kJadKeySeparators = "()<>@,;'\"/[]?={}";

// The length of the UTF-8 sequence at `at`, or 0 when none starts there.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return 0;
    }
    return length;
}

// Blanks as String.trim takes them: every character up to U+0020.
std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsAsciiAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A control character a JAD value must not hold inside: tab is allowed.
bool IsJadValueControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7F;
}

// Why a JAD key is refused, with what to do; empty when it is a key.
std::pair<std::string, std::string> JadKeyFault(std::string_view key) {
    if (key.empty()) {
        return {"the line starts with a colon: the attribute has no name",
                "put the attribute's name before the colon"};
    }
    if (key.front() == ' ' || key.front() == '\t') {
        return {"the line starts with a blank; a JAD has no continuation lines",
                "join this line to the value on the line before it, or remove the blank"};
    }
    if (key.back() == ' ' || key.back() == '\t') {
        return {"a blank before the colon", "remove the blank between the name and the colon"};
    }
    return {"\"" + std::string(key) + "\" is not a valid attribute name",
            "remove blanks, control characters and ( ) < > @ , ; ' \" / [ ] ? = { } from the name"};
}

class Reader {
  public:
    explicit Reader(bool jad) : jad_(jad) {}

    AttributeList Read(std::string_view raw) {
        list_.byteOrderMark = raw.substr(0, 3) == kByteOrderMark;
        list_.notUtf8 = !IsValidUtf8(raw);
        const std::string text = ReplaceInvalidUtf8(raw);
        if (jad_) {
            ReadJadLines(text);
        } else {
            ReadManifestLines(text);
        }
        return std::move(list_);
    }

  private:
    void Problem(int line, std::string attribute, std::string message, std::string fix) {
        list_.problems.push_back({line, std::move(attribute), std::move(message), std::move(fix)});
    }

    // Lines end at LF only; CR and SUB are deleted wherever they stand.
    void ReadJadLines(std::string_view text) {
        int number = 1;
        std::string line;
        for (std::size_t i = 0; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == '\n') {
                if (!line.empty()) {
                    Line(line, number);
                }
                line.clear();
                ++number;
            } else if (text[i] != '\r' && text[i] != kSubstitute) {
                line += text[i];
            }
        }
    }

    // Lines end at CR, LF or CR LF; a line end followed by one space
    // continues the line, without that space.
    void ReadManifestLines(std::string_view text) {
        int number = 1;
        int start = 1;
        std::string line;
        bool atLineStart = false;  // after a line end, not at the file's start
        for (std::size_t i = 0; i <= text.size(); ++i) {
            if (atLineStart && i < text.size() && text[i] == ' ') {
                atLineStart = false;
                continue;  // the continuation's one space
            }
            if (atLineStart) {
                if (!line.empty()) {
                    Line(line, start);
                }
                line.clear();
                start = number;
                atLineStart = false;
            }
            if (i == text.size()) {
                if (!line.empty()) {
                    Line(line, start);
                }
                break;
            }
            if (text[i] == '\r' || text[i] == '\n') {
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                    ++i;
                }
                ++number;
                atLineStart = true;
            } else {
                line += text[i];
            }
        }
    }

    void Line(std::string_view line, int number) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            Problem(number, {},
                    "\"" + std::string(line.substr(0, 40)) + "\" is not a name: value line",
                    jad_ ? "add the colon, join the line to the one before, or remove it"
                         : "add the colon, start a continuation with one space, or remove it");
            return;
        }
        const std::string_view key = line.substr(0, colon);
        std::string_view value = line.substr(colon + 1);
        if (jad_ ? !IsJadKey(key) : !IsManifestKey(key)) {
            KeyProblem(key, number);
            return;
        }
        if (!jad_ && (value.empty() || value.front() != ' ')) {
            list_.notes.push_back({number, std::string(key), "no blank after the colon",
                                   "write one space after the colon; JAR tools expect it"});
        }
        value = Trimmed(value);
        if (jad_ ? std::any_of(value.begin(), value.end(), IsJadValueControl)
                 : value.find('\0') != std::string_view::npos) {
            Problem(number, std::string(key), "the value holds a control character",
                    "remove the control character from the value");
            return;
        }
        Add(std::string(key), std::string(value), number);
    }

    void KeyProblem(std::string_view key, int number) {
        if (jad_) {
            auto [message, fix] = JadKeyFault(key);
            Problem(number, {}, std::move(message), std::move(fix));
        } else if (number == 1 && list_.byteOrderMark) {
            Problem(number, {}, "the manifest starts with a byte order mark",
                    "save the manifest as UTF-8 without a byte order mark");
        } else if (!key.empty() && (key.front() == ' ' || key.front() == '\t')) {
            Problem(number, {}, "the line starts with a blank that continues no line",
                    "continue a line with exactly one space after a line with a name");
        } else {
            Problem(number, {}, "\"" + std::string(key) + "\" is not a valid manifest name",
                    "use only letters, digits, - and _ in the name, with no blank before the "
                    "colon");
        }
    }

    void Add(std::string key, std::string value, int number) {
        if (!seen_.insert(key).second && std::find(list_.duplicates.begin(), list_.duplicates.end(),
                                                   key) == list_.duplicates.end()) {
            list_.duplicates.push_back(key);
        }
        list_.items.push_back({std::move(key), std::move(value), number});
    }

    bool jad_;
    AttributeList list_;
    std::set<std::string> seen_;
};

}  // namespace

const std::string* AttributeList::Find(std::string_view name) const {
    for (auto item = items.rbegin(); item != items.rend(); ++item) {
        if (item->name == name) {
            return &item->value;
        }
    }
    return nullptr;
}

AttributeList ParseJad(std::string_view text) {
    return Reader(true).Read(text);
}

AttributeList ParseManifest(std::string_view text) {
    return Reader(false).Read(text);
}

bool IsJadKey(std::string_view name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F || kJadKeySeparators.find(c) != std::string_view::npos;
    });
}

bool IsManifestKey(std::string_view name) {
    if (name.empty() || !IsAsciiAlnum(name.front())) {
        return false;
    }
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return IsAsciiAlnum(c) || c == '_' || c == '-'; });
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = SequenceLength(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string ReplaceInvalidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = SequenceLength(text, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::size_t Utf8Length(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace midlet
