#include "midlet/suite/SuiteTables.h"

#include <charconv>

namespace midlet {

namespace {

constexpr int kLargestScreenSide = 4096;

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string_view::npos;
         tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

// The lines of a table without comments, blank lines and CRs.
template <class Visit>
void ForEachRow(std::string_view text, Visit&& visit) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty() && line.front() != '#') {
            visit(Fields(line));
        }
    }
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

bool ParseSide(std::string_view text, int& side) {
    text = Trimmed(text);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), side);
    return error == std::errc() && end == text.data() + text.size() && side >= 1 &&
           side <= kLargestScreenSide;
}

}  // namespace

const ApiEntry* SuiteTables::ApiOf(std::string_view package) const {
    const ApiEntry* best = nullptr;
    for (const ApiEntry& entry : apis) {
        const bool matches =
            package.substr(0, entry.prefix.size()) == entry.prefix &&
            (package.size() == entry.prefix.size() || package[entry.prefix.size()] == '/');
        if (matches && (best == nullptr || entry.prefix.size() > best->prefix.size())) {
            best = &entry;
        }
    }
    return best;
}

bool SuiteTables::IsScreen(ScreenSize size) const {
    for (const ScreenSize& screen : screens) {
        if (screen == size) {
            return true;
        }
    }
    return false;
}

bool ParseScreenSize(std::string_view text, ScreenSize& size) {
    const std::size_t split = text.find_first_of(",xX");
    if (split == std::string_view::npos) {
        return false;
    }
    return ParseSide(text.substr(0, split), size.width) &&
           ParseSide(text.substr(split + 1), size.height);
}

SuiteTables ParseSuiteTables(std::string_view apiText, std::string_view screenText) {
    SuiteTables tables;
    ForEachRow(apiText, [&](const std::vector<std::string_view>& f) {
        if (f.size() == 3 && !f[0].empty() && !f[1].empty()) {
            tables.apis.push_back(
                {std::string(f[0]), std::string(f[1]), f[2] == "-" ? "" : std::string(f[2])});
        }
    });
    ForEachRow(screenText, [&](const std::vector<std::string_view>& f) {
        ScreenSize size;
        if (f.size() == 3 && f[0] == "attribute" && !f[1].empty()) {
            tables.screenAttributes.push_back({std::string(f[1]), std::string(f[2])});
        } else if (f.size() == 2 && f[0] == "screen" && ParseScreenSize(f[1], size)) {
            tables.screens.push_back(size);
        }
    });
    return tables;
}

const SuiteTables& BuiltInSuiteTables() {
    static const SuiteTables tables = ParseSuiteTables(ApiTableText(), ScreenTableText());
    return tables;
}

}  // namespace midlet
