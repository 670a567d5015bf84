#include "midlet/DescriptorAttributes.h"

#include <algorithm>
#include <cstdint>
#include <set>

namespace midlet {

namespace {

enum class Format { Jad, Manifest };

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Physical lines: a line ends at LF, CR LF or a lone CR; a last line without
// an end counts.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

// A control character other than tab, as a JAD value must not hold.
bool HasControlCharacter(std::string_view value) {
    return std::any_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t') || byte == 0x7F;
    });
}

class Reader {
  public:
    explicit Reader(Format format) : format_(format) {}

    AttributeList Read(std::string_view text) {
        if (format_ == Format::Jad && text.substr(0, 3) == "\xEF\xBB\xBF") {
            text.remove_prefix(3);
        }
        int number = 0;
        for (std::string_view line : SplitLines(text)) {
            ++number;
            if (line.empty()) {
                if (format_ == Format::Manifest) {
                    break;  // the main section ends here
                }
                continuable_ = false;
                continue;
            }
            if (line.front() == ' ') {
                Continue(line.substr(1), number);
            } else {
                Start(line, number);
            }
        }
        CheckValues();
        return std::move(list_);
    }

  private:
    void Problem(int line, std::string attribute, std::string message) {
        list_.problems.push_back({line, std::move(attribute), std::move(message)});
    }

    void Continue(std::string_view rest, int number) {
        if (!continuable_) {
            Problem(number, {}, "continuation line without an attribute before it");
            return;
        }
        list_.items.back().value += rest;
    }

    void Start(std::string_view line, int number) {
        continuable_ = false;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            Problem(number, {}, "not a \"name: value\" line");
            return;
        }
        const std::string name(line.substr(0, colon));
        if (!IsAttributeName(name)) {
            Problem(number, {}, "\"" + name + "\" is not a valid attribute name");
            return;
        }
        std::string_view value = line.substr(colon + 1);
        if (format_ == Format::Manifest) {
            if (value.empty() || value.front() != ' ') {
                Problem(number, name, "no space after the colon");
                return;
            }
            value.remove_prefix(1);
        }
        if (!seen_.insert(name).second &&
            std::find(list_.duplicates.begin(), list_.duplicates.end(), name) ==
                list_.duplicates.end()) {
            list_.duplicates.push_back(name);
        }
        list_.items.push_back({name, std::string(value)});
        lines_.push_back(number);
        continuable_ = true;
    }

    // Values are whole once their continuation lines are joined.
    void CheckValues() {
        for (std::size_t i = 0; i < list_.items.size(); ++i) {
            Attribute& item = list_.items[i];
            item.value = std::string(Trimmed(item.value));
            if (format_ == Format::Jad && HasControlCharacter(item.value)) {
                Problem(lines_[i], item.name, "the value holds a control character");
            }
        }
    }

    Format format_;
    AttributeList list_;
    std::vector<int> lines_;  // the first line of each item
    std::set<std::string> seen_;
    bool continuable_ = false;
};

}  // namespace

const std::string* AttributeList::Find(std::string_view name) const {
    for (const Attribute& item : items) {
        if (item.name == name) {
            return &item.value;
        }
    }
    return nullptr;
}

AttributeList ParseJad(std::string_view text) {
    return Reader(Format::Jad).Read(text);
}

AttributeList ParseManifest(std::string_view text) {
    return Reader(Format::Manifest).Read(text);
}

bool IsAttributeName(std::string_view name) {
    if (name.empty() || !IsAlnum(name.front())) {
        return false;
    }
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return IsAlnum(c) || c == '_' || c == '-'; });
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
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
            return false;
        }
        if (i + static_cast<std::size_t>(length) > text.size()) {
            return false;
        }
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            return false;
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

}  // namespace midlet
