// The screen a suite was made for: the display sizes its descriptors state,
// the sizes of its icons and of its largest images (from their PNG
// headers), and a guess from these.
#include <algorithm>
#include <cctype>

#include "midlet/classfile/ClassCursor.h"
#include "midlet/suite/SuiteParts.h"

namespace midlet {

namespace {

// A PNG file: its 8-byte signature, then the IHDR chunk (length, type,
// width, height).
constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr std::size_t kPngHeaderBytes = 24;
constexpr std::uint32_t kIhdrLength = 13;
constexpr std::uint32_t kIhdrType = 0x49484452;  // "IHDR"
constexpr std::uint32_t kLargestPngSide = 1u << 16;

bool IsPngName(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string end = name.substr(name.size() - 4);
    for (char& c : end) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return end == ".png";
}

// The icon fields of MIDlet-n and MIDlet-Icon, without a leading "/".
std::vector<std::string> IconPaths(const AttributeList& manifest, const AttributeList& jad) {
    std::vector<std::string> paths;
    const auto add = [&](std::string path) {
        const std::size_t start = path.find_first_not_of(" \t/");
        const std::size_t end = path.find_last_not_of(" \t");
        if (start == std::string::npos) {
            return;
        }
        path = path.substr(start, end - start + 1);
        if (std::find(paths.begin(), paths.end(), path) == paths.end()) {
            paths.push_back(path);
        }
    };
    if (const std::string* icon = ValueOf(manifest, jad, "MIDlet-Icon")) {
        add(*icon);
    }
    for (int n = 1;; ++n) {
        const std::string* value = ValueOf(manifest, jad, "MIDlet-" + std::to_string(n));
        if (value == nullptr) {
            break;
        }
        const std::size_t first = value->find(',');
        if (first != std::string::npos) {
            add(value->substr(first + 1, value->find(',', first + 1) - first - 1));
        }
    }
    return paths;
}

bool ReadScreenAttributes(const AttributeList& manifest, const AttributeList& jad,
                          const SuiteTables& tables, SuiteFacts& facts) {
    for (const ScreenAttribute& attribute : tables.screenAttributes) {
        const std::string* value = ValueOf(manifest, jad, attribute.name);
        if (value == nullptr) {
            continue;
        }
        ScreenAttributeFact fact{attribute.name, attribute.role, *value, std::nullopt};
        ScreenSize size;
        if (ParseScreenSize(*value, size)) {
            fact.size = size;
        }
        facts.screenAttributes.push_back(fact);
    }
    return !facts.screenAttributes.empty();
}

const ScreenSize* SmallestScreenFor(const SuiteTables& tables, ScreenSize image) {
    const ScreenSize* best = nullptr;
    for (const ScreenSize& screen : tables.screens) {
        const bool fits = screen.width >= image.width && screen.height >= image.height;
        if (fits &&
            (best == nullptr || screen.width * screen.height < best->width * best->height)) {
            best = &screen;
        }
    }
    return best;
}

void GuessScreen(const SuiteTables& tables, SuiteFacts& facts) {
    for (const ScreenAttributeFact& attribute : facts.screenAttributes) {
        if (attribute.size) {
            facts.screen = ScreenGuess{*attribute.size, attribute.name};
            return;
        }
    }
    // The largest image that fits on some common screen: one of a screen's
    // size fills it; a smaller one names the smallest screen it fits on
    // when it covers at least half of its width and height. Larger images
    // (maps, tile sheets) scroll, and small ones (icons, sprites) tell
    // nothing.
    for (const ImageFact& image : facts.largestImages) {
        if (tables.IsScreen(image.size)) {
            facts.screen = ScreenGuess{image.size, "the image " + image.entry + " fills it"};
            return;
        }
        const ScreenSize* best = SmallestScreenFor(tables, image.size);
        if (best != nullptr && image.size.width * 2 >= best->width &&
            image.size.height * 2 >= best->height) {
            facts.screen = ScreenGuess{*best, "the image " + image.entry + " fits it"};
            return;
        }
    }
}

}  // namespace

bool ReadPngSize(std::string_view bytes, ScreenSize& size) {
    ClassCursor cursor({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    const auto signature = cursor.Bytes(sizeof kPngSignature);
    const std::uint32_t length = cursor.U4();
    const std::uint32_t type = cursor.U4();
    const std::uint32_t width = cursor.U4();
    const std::uint32_t height = cursor.U4();
    if (!cursor.Ok() || !std::equal(signature.begin(), signature.end(), kPngSignature) ||
        length != kIhdrLength || type != kIhdrType || width == 0 || height == 0 ||
        width > kLargestPngSide || height > kLargestPngSide) {
        return false;
    }
    size = {static_cast<int>(width), static_cast<int>(height)};
    return true;
}

void ReadScreen(JarEntries& entries, const AttributeList& manifest, const AttributeList& jad,
                const SuiteTables& tables, SuiteFacts& facts) {
    ReadScreenAttributes(manifest, jad, tables, facts);
    const std::vector<std::string> icons = IconPaths(manifest, jad);
    std::vector<ImageFact> images;
    std::string bytes;
    for (std::size_t i = 0; i < entries.Names().size(); ++i) {
        const std::string& entry = entries.Names()[i];
        ScreenSize size;
        if (!IsPngName(entry) || !entries.ReadPrefix(i, kPngHeaderBytes, bytes) ||
            !ReadPngSize(bytes, size)) {
            continue;
        }
        images.push_back({entry, size});
        if (std::find(icons.begin(), icons.end(), entry) != icons.end()) {
            facts.icons.push_back({entry, size});
        }
    }
    std::stable_sort(images.begin(), images.end(), [](const ImageFact& a, const ImageFact& b) {
        return a.size.width * a.size.height > b.size.width * b.size.height;
    });
    images.resize(std::min(images.size(), kLargestImagesShown));
    facts.largestImages = images;
    GuessScreen(tables, facts);
}

}  // namespace midlet
