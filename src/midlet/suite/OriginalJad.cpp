// The keys a full JAD carries over from the suite's original JAD.
#include <set>
#include <string_view>

#include "midlet/DescriptorAttributes.h"
#include "midlet/InstallCheck.h"
#include "midlet/SuiteFiles.h"
#include "midlet/suite/SuitePreparation.h"

namespace midlet {

namespace {

// The keys the tail states and the keys of the signature, which the
// changed JAR no longer matches.
bool NeverCarried(std::string_view name) {
    return name == "MIDlet-Jar-Size" || name == "MIDlet-Jar-URL" || name == "MIDlet-Jar-RSA-SHA1" ||
           name.substr(0, 19) == "MIDlet-Certificate-";
}

// The value an installer reads for `name`: the last one given.
const std::string& LastValue(const AttributeList& list, const std::string& name) {
    const std::string* value = nullptr;
    for (const Attribute& item : list.items) {
        if (item.name == name) {
            value = &item.value;
        }
    }
    return *value;
}

}  // namespace

std::string OriginalJadOf(const RunOptions& options, const std::string& listed) {
    return !options.originalJad.empty() ? options.originalJad : JadBeside(listed);
}

std::vector<std::string> OriginalJadLines(const std::string& originalJad,
                                          const std::string& manifestPart) {
    std::vector<std::string> lines;
    std::string text;
    if (originalJad.empty() || !ReadSmallFile(originalJad, text)) {
        return lines;
    }
    const AttributeList original = ParseJad(text);
    const AttributeList made = ParseJad(manifestPart);
    std::set<std::string> taken;
    for (const Attribute& item : original.items) {
        if (NeverCarried(item.name) || made.Find(item.name) != nullptr ||
            !taken.insert(item.name).second) {
            continue;
        }
        lines.push_back(item.name + ": " + LastValue(original, item.name));
    }
    return lines;
}

}  // namespace midlet
