#include "midlet/suite/SuiteFactsReport.h"

#include "midlet/JsonText.h"

namespace midlet {

namespace {

constexpr std::uint16_t kJava5Major = 49;
constexpr std::uint16_t kJava1Major = 44;  // 45 is Java 1.1, 49 Java 5

std::string JavaRelease(std::uint16_t major) {
    if (major < kJava5Major) {
        return "Java 1." + std::to_string(major > kJava1Major ? major - kJava1Major : 0);
    }
    return "Java " + std::to_string(major - kJava1Major);
}

std::string SizeText(ScreenSize size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text.empty() ? "none" : text;
}

std::string ImagesText(const std::vector<ImageFact>& images) {
    std::vector<std::string> items;
    for (const ImageFact& image : images) {
        items.push_back(image.entry + " " + SizeText(image.size));
    }
    return Joined(items);
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const std::string& item : items) {
        out += (out.size() > 1 ? ", " : "") + JsonString(item);
    }
    return out + "]";
}

std::string JsonSize(ScreenSize size) {
    return "\"width\": " + std::to_string(size.width) +
           ", \"height\": " + std::to_string(size.height);
}

std::string JsonImages(const std::vector<ImageFact>& images) {
    std::string out = "[";
    for (const ImageFact& image : images) {
        out += (out.size() > 1 ? ", " : "") + std::string("{\"entry\": ") +
               JsonString(image.entry) + ", " + JsonSize(image.size) + "}";
    }
    return out + "]";
}

std::string JsonMidlets(const std::vector<MidletClassFact>& midlets) {
    std::string out = "[";
    for (const MidletClassFact& m : midlets) {
        out += (out.size() > 1 ? ", " : "") + std::string("{\"attribute\": ") +
               JsonString(m.attribute) + ", \"class\": " + JsonString(m.className) +
               ", \"isMidlet\": " + (m.problem.empty() ? "true" : "false") +
               ", \"problem\": " + JsonStringOrNull(m.problem) + "}";
    }
    return out + "]";
}

std::string JsonScreenAttributes(const std::vector<ScreenAttributeFact>& attributes) {
    std::string out = "[";
    for (const ScreenAttributeFact& a : attributes) {
        out += (out.size() > 1 ? ", " : "") + std::string("{\"attribute\": ") + JsonString(a.name) +
               ", \"role\": " + JsonString(a.role) + ", \"value\": " + JsonString(a.value) +
               (a.size ? ", " + JsonSize(*a.size)
                       : std::string(", \"width\": null, \"height\": null")) +
               "}";
    }
    return out + "]";
}

std::string JsonScreen(const std::optional<ScreenGuess>& screen) {
    if (!screen) {
        return "null";
    }
    return "{" + JsonSize(screen->size) + ", \"basis\": " + JsonString(screen->basis) + "}";
}

// "N class files ... (first: ENTRY)".
std::string CountedClasses(const std::vector<std::string>& entries, const std::string& what) {
    return std::to_string(entries.size()) +
           (entries.size() == 1 ? " class file " : " class files ") + what +
           " (the first: " + entries.front() + ")";
}

std::string PreverificationText(const SuiteFacts& facts) {
    if (facts.classCount == 0) {
        return "no class";
    }
    return facts.Preverified() ? "preverified"
                               : CountedClasses(facts.classesWithoutMaps, "lack stack maps");
}

}  // namespace

std::string JsonValue(const std::string& text) {
    return JsonString(text);
}

std::string ClassVersionText(const SuiteFacts& facts) {
    if (facts.classCount == 0) {
        return {};
    }
    return std::to_string(facts.highestMajor) + "." + std::to_string(facts.highestMinor) + " (" +
           JavaRelease(facts.highestMajor) + ")";
}

std::vector<Finding> SuiteFactFindings(const SuiteFacts& facts, const std::string& jar) {
    std::vector<Finding> findings;
    const auto warn = [&](const std::string& attribute, const std::string& message,
                          const std::string& fix) {
        findings.push_back({jar, Severity::Warning, 0, attribute, message, fix});
    };
    // A file that is no archive is the installation rules' error already.
    if (facts.kind != SuiteKind::MidletSuite && facts.kind != SuiteKind::NotArchive) {
        warn({},
             std::string("the file is ") + (facts.kind == SuiteKind::OtherArchive ? "an " : "a ") +
                 SuiteKindText(facts.kind) + ", not a MIDlet suite",
             "install it on a phone of its own platform");
    }
    for (const std::string& key : facts.unprovidedKeys) {
        warn(key,
             "the suite reads \"" + key +
                 "\", which no JAD or manifest provides: it may need its original JAD",
             "install it with its original JAD, or add the key to the JAD");
    }
    for (const MidletClassFact& m : facts.midlets) {
        if (!m.problem.empty()) {
            warn(m.attribute, m.className + " is no MIDlet: " + m.problem,
                 "name a class that extends javax.microedition.midlet.MIDlet");
        }
    }
    if (!facts.classesTooNew.empty()) {
        warn({},
             CountedClasses(facts.classesTooNew, "are newer than Java 1.4") +
                 ": a phone's VM refuses them",
             "compile the classes for Java 1.4 or older");
    }
    if (!facts.classesWithoutMaps.empty()) {
        warn({},
             CountedClasses(facts.classesWithoutMaps,
                            "lack the stack maps of CLDC preverification") +
                 ": a phone refuses them as an invalid application",
             "run the classes through a CLDC preverifier");
    }
    if (!facts.unreadableClasses.empty()) {
        warn({}, CountedClasses(facts.unreadableClasses, "cannot be read"),
             "rebuild the JAR from its classes");
    }
    return findings;
}

std::string SuiteFactsText(const SuiteFacts& facts, const std::string& jar) {
    std::string text = "facts of " + jar + "\n";
    const auto line = [&](const std::string& name, const std::string& value) {
        text += "  " + name + ": " + value + "\n";
    };
    line("kind", SuiteKindText(facts.kind));
    if (!facts.failure.empty()) {
        line("failure", facts.failure);
        return text;
    }
    line("classes", std::to_string(facts.classCount) +
                        (facts.classCount > 0 ? ", version " + ClassVersionText(facts) : "") +
                        ", " + PreverificationText(facts));
    line("APIs", Joined(facts.apis));
    if (!facts.otherPackages.empty()) {
        line("other packages", Joined(facts.otherPackages));
    }
    line("keys read", Joined(facts.readKeys));
    if (!facts.unprovidedKeys.empty()) {
        line("keys nothing provides", Joined(facts.unprovidedKeys));
    }
    for (const MidletClassFact& m : facts.midlets) {
        line(m.attribute,
             m.className + (m.problem.empty() ? ", a MIDlet" : ", no MIDlet: " + m.problem));
    }
    for (const ScreenAttributeFact& a : facts.screenAttributes) {
        line(a.name, a.value + " (" + a.role + ")");
    }
    line("icons", ImagesText(facts.icons));
    line("largest images", ImagesText(facts.largestImages));
    line("screen", facts.screen ? SizeText(facts.screen->size) + " (" + facts.screen->basis + ")"
                                : std::string("unknown"));
    return text;
}

std::string SuiteFactsJson(const SuiteFacts& facts) {
    return std::string("{\"kind\": \"") + SuiteKindKey(facts.kind) +
           "\", \"failure\": " + JsonStringOrNull(facts.failure) +
           ", \"classes\": " + std::to_string(facts.classCount) + ", \"classFileVersion\": " +
           (facts.classCount > 0 ? "\"" + std::to_string(facts.highestMajor) + "." +
                                       std::to_string(facts.highestMinor) + "\""
                                 : std::string("null")) +
           ", \"preverified\": " + (facts.Preverified() ? "true" : "false") +
           ", \"classesWithoutStackMaps\": " + JsonList(facts.classesWithoutMaps) +
           ", \"classesTooNew\": " + JsonList(facts.classesTooNew) +
           ", \"unreadableClasses\": " + JsonList(facts.unreadableClasses) +
           ", \"apis\": " + JsonList(facts.apis) +
           ", \"otherPackages\": " + JsonList(facts.otherPackages) +
           ", \"keysRead\": " + JsonList(facts.readKeys) +
           ", \"keysNotProvided\": " + JsonList(facts.unprovidedKeys) +
           ", \"midlets\": " + JsonMidlets(facts.midlets) +
           ", \"displaySizes\": " + JsonScreenAttributes(facts.screenAttributes) +
           ", \"icons\": " + JsonImages(facts.icons) +
           ", \"largestImages\": " + JsonImages(facts.largestImages) +
           ", \"screen\": " + JsonScreen(facts.screen) + "}";
}

}  // namespace midlet
