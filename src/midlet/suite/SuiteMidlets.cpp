// Whether each MIDlet-n class of a suite is a MIDlet: its superclasses,
// followed inside the JAR, must reach javax/microedition/midlet/MIDlet.
#include <set>

#include "midlet/suite/SuiteParts.h"

namespace midlet {

namespace {

constexpr const char* kMidletClass = "javax/microedition/midlet/MIDlet";

std::string Trimmed(const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// The class field of a MIDlet-n value: the third comma-separated field.
std::string ClassField(const std::string& value) {
    const std::size_t first = value.find(',');
    const std::size_t second = first == std::string::npos ? first : value.find(',', first + 1);
    if (second == std::string::npos) {
        return {};
    }
    return Trimmed(value.substr(second + 1));
}

std::string InternalForm(std::string name) {
    for (char& c : name) {
        c = c == '.' ? '/' : c;
    }
    return name;
}

std::string ShownForm(std::string name) {
    for (char& c : name) {
        c = c == '/' ? '.' : c;
    }
    return name;
}

// Empty when `start` reaches MIDlet; otherwise what stops it.
std::string WalkToMidlet(const ClassScan& scan, const std::vector<std::string>& names,
                         const std::string& start) {
    const std::string entry = start + ".class";
    bool present = false;
    for (const std::string& name : names) {
        present = present || name == entry;
    }
    if (!present) {
        return "the class is not in the JAR";
    }
    std::set<std::string> seen;
    std::string current = start;
    while (true) {
        const auto found = scan.superOf.find(current);
        if (found == scan.superOf.end()) {
            return current == start ? "the class file cannot be read"
                                    : "its superclass " + ShownForm(current) +
                                          " is neither in the JAR nor a MIDlet";
        }
        if (!seen.insert(current).second) {
            return "its superclasses form a cycle at " + ShownForm(current);
        }
        const std::string& super = found->second;
        if (super == kMidletClass) {
            return {};
        }
        if (super.empty()) {
            return "it does not extend javax.microedition.midlet.MIDlet";
        }
        current = super;
    }
}

}  // namespace

const std::string* ValueOf(const AttributeList& manifest, const AttributeList& jad,
                           const std::string& name) {
    const std::string* value = jad.Find(name);
    return value != nullptr ? value : manifest.Find(name);
}

void CheckMidletClasses(const ClassScan& scan, const std::vector<std::string>& names,
                        const AttributeList& manifest, const AttributeList& jad,
                        SuiteFacts& facts) {
    for (int n = 1;; ++n) {
        const std::string attribute = "MIDlet-" + std::to_string(n);
        const std::string* value = ValueOf(manifest, jad, attribute);
        if (value == nullptr) {
            return;
        }
        MidletClassFact fact{attribute, ClassField(*value), {}};
        fact.problem = fact.className.empty()
                           ? "names no class"
                           : WalkToMidlet(scan, names, InternalForm(fact.className));
        facts.midlets.push_back(fact);
    }
}

}  // namespace midlet
