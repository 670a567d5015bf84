// What an archive is: a MIDlet suite, or an application of another Java
// platform that is labelled as one, or some other archive.
#include <cctype>

#include "midlet/suite/SuiteFacts.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace midlet {

namespace {

bool HasAny(const AttributeList& list, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (list.Find(name) != nullptr) {
            return true;
        }
    }
    return false;
}

bool HasPrefix(const AttributeList& list, const std::string& prefix) {
    for (const Attribute& item : list.items) {
        if (item.name.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) {
        return false;
    }
    for (std::size_t i = 0; i < end.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[text.size() - end.size() + i]);
        if (std::tolower(c) != end[i]) {
            return false;
        }
    }
    return true;
}

bool IsMidletSuite(const AttributeList& list) {
    return HasAny(
        list, {"MIDlet-Name", "MIDlet-1", "MicroEdition-Profile", "MicroEdition-Configuration"});
}

// BlackBerry modules are .cod files; their descriptors name them in RIM-COD
// attributes.
bool IsBlackBerry(const std::vector<std::string>& names, const AttributeList& manifest,
                  const AttributeList& jad) {
    for (const std::string& name : names) {
        if (EndsWithIgnoringCase(name, ".cod")) {
            return true;
        }
    }
    return HasPrefix(manifest, "RIM-COD") || HasPrefix(jad, "RIM-COD");
}

}  // namespace

const char* SuiteKindText(SuiteKind kind) {
    switch (kind) {
        case SuiteKind::MidletSuite:
            return "MIDlet suite";
        case SuiteKind::DoJa:
            return "i-mode/DoJa application";
        case SuiteKind::Wipi:
            return "WIPI application";
        case SuiteKind::BlackBerryModule:
            return "BlackBerry module";
        case SuiteKind::OtherArchive:
            return "archive without MIDlet attributes";
        case SuiteKind::NotArchive:
            return "file that is no archive";
    }
    return "";
}

const char* SuiteKindKey(SuiteKind kind) {
    switch (kind) {
        case SuiteKind::MidletSuite:
            return "midlet-suite";
        case SuiteKind::DoJa:
            return "doja";
        case SuiteKind::Wipi:
            return "wipi";
        case SuiteKind::BlackBerryModule:
            return "blackberry-module";
        case SuiteKind::OtherArchive:
            return "other-archive";
        case SuiteKind::NotArchive:
            return "not-an-archive";
    }
    return "";
}

std::optional<SuiteKind> KindFromDescriptors(const std::vector<std::string>& names,
                                             const AttributeList& manifest,
                                             const AttributeList& jad, bool jamBeside) {
    if (IsMidletSuite(manifest) || IsMidletSuite(jad)) {
        return SuiteKind::MidletSuite;
    }
    if (IsBlackBerry(names, manifest, jad)) {
        return SuiteKind::BlackBerryModule;
    }
    // An i-mode application's descriptor (.jam) names its class in AppClass.
    if (jamBeside || manifest.Find("AppClass") != nullptr || jad.Find("AppClass") != nullptr) {
        return SuiteKind::DoJa;
    }
    // WIPI descriptors name their keys MIDxlet-.
    if (HasPrefix(manifest, "MIDxlet-") || HasPrefix(jad, "MIDxlet-")) {
        return SuiteKind::Wipi;
    }
    return std::nullopt;
}

std::string JamBeside(const std::string& jar) {
    const std::string stem = jar.substr(0, jar.size() - platform::ExtractFileExt(jar).size());
    for (const char* extension : {".jam", ".JAM"}) {
        if (platform::FileExists(stem + extension)) {
            return stem + extension;
        }
    }
    return {};
}

}  // namespace midlet
