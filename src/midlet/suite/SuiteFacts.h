// What a suite needs beyond its JAR, read from its classes, images and
// descriptors: what the archive is, the APIs it uses, the class files'
// version and preverification, the keys it reads, whether its MIDlet
// classes are MIDlets, and the screen it was made for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "midlet/DescriptorAttributes.h"
#include "midlet/suite/SuiteTables.h"

namespace archive {
class TZipBaseArchiver;
}

namespace midlet {

class JarEntries;

enum class SuiteKind { MidletSuite, DoJa, Wipi, BlackBerryModule, OtherArchive, NotArchive };

// "MIDlet suite", "i-mode/DoJa application", ... as the report names them.
const char* SuiteKindText(SuiteKind kind);
// "midlet-suite", "doja", ... as the JSON form names them.
const char* SuiteKindKey(SuiteKind kind);

// The highest class-file major version a phone's VM loads (Java 1.4).
inline constexpr std::uint16_t kNewestPhoneClassMajor = 48;

struct MidletClassFact {
    std::string attribute;  // MIDlet-1
    std::string className;  // as the attribute names it: com.x.Main
    std::string problem;    // empty when it reaches javax/microedition/midlet/MIDlet
};

struct ImageFact {
    std::string entry;
    ScreenSize size;
};

struct ScreenAttributeFact {
    std::string name;
    std::string role;  // from the table: target, original
    std::string value;
    std::optional<ScreenSize> size;  // when the value reads as one
};

struct ScreenGuess {
    ScreenSize size;
    std::string basis;  // why: the attribute or the image it rests on
};

struct SuiteFacts {
    SuiteKind kind = SuiteKind::OtherArchive;
    std::string failure;  // why the file could not be read as an archive

    // Class files.
    int classCount = 0;
    std::vector<std::string> unreadableClasses;  // "entry: problem"
    std::uint16_t highestMajor = 0;
    std::uint16_t highestMinor = 0;
    std::vector<std::string> classesTooNew;       // entries above kNewestPhoneClassMajor
    std::vector<std::string> classesWithoutMaps;  // entries whose branching code has none
    bool Preverified() const { return classCount > 0 && classesWithoutMaps.empty(); }

    // APIs, in the table's order, and referenced packages the table and the
    // JAR do not know.
    std::vector<std::string> apis;
    std::vector<std::string> otherPackages;

    // Keys read through getAppProperty, in the order first met, and those
    // of them neither the manifest nor the JAD provides.
    std::vector<std::string> readKeys;
    std::vector<std::string> unprovidedKeys;

    std::vector<MidletClassFact> midlets;

    std::vector<ScreenAttributeFact> screenAttributes;
    std::vector<ImageFact> icons;
    std::vector<ImageFact> largestImages;  // at most kLargestImagesShown, largest first
    std::optional<ScreenGuess> screen;
};

inline constexpr std::size_t kLargestImagesShown = 3;

// The facts of the JAR at `jar` with the JAD at `jad` (empty: none). A file
// that cannot be read gives the kind NotArchive with `failure` set; nothing
// is thrown for bad input.
SuiteFacts ComputeSuiteFacts(const std::string& jar, const std::string& jad,
                             const SuiteTables& tables = BuiltInSuiteTables());

// The same over an open JAR's entries, its manifest's and its JAD's
// attributes, and whether an i-mode descriptor (.jam) lies beside it.
SuiteFacts ComputeSuiteFacts(JarEntries& entries, const AttributeList& manifest,
                             const AttributeList& jad, bool jamBeside,
                             const SuiteTables& tables = BuiltInSuiteTables());

// The attributes of the open JAR's manifest; none when it is missing or
// damaged (the preparation reports that on its own).
AttributeList ReadManifestAttributes(archive::TZipBaseArchiver& zip);

// What an archive is, from its descriptors and entries alone; nothing when
// only its classes can tell.
std::optional<SuiteKind> KindFromDescriptors(const std::vector<std::string>& names,
                                             const AttributeList& manifest,
                                             const AttributeList& jad, bool jamBeside);

// The i-mode descriptor beside a JAR: the same path with ".jam" (or ".JAM").
// Empty when there is none.
std::string JamBeside(const std::string& jar);

}  // namespace midlet
