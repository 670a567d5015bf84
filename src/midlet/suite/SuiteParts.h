// The parts the suite facts are computed from, each in a file of its own.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "midlet/suite/JarEntries.h"
#include "midlet/suite/SuiteFacts.h"

namespace midlet {

// A class file is no larger than this in any MIDlet suite.
inline constexpr std::uint64_t kMaxClassBytes = 4u << 20;

// What the scan of every class file of a JAR found.
struct ClassScan {
    std::map<std::string, std::string> superOf;  // class -> superclass, internal form
    std::set<std::string> ownPackages;           // packages the JAR defines
    std::set<std::string> referencedPackages;
    std::set<std::string> platforms;  // of the referenced APIs: doja, wipi, ...
};

// Reads every .class entry into `facts` (count, versions, stack maps, keys)
// and `scan`.
void ScanClasses(JarEntries& entries, const SuiteTables& tables, SuiteFacts& facts,
                 ClassScan& scan);

// The APIs and other packages of the referenced ones.
void MapApis(const ClassScan& scan, const SuiteTables& tables, SuiteFacts& facts);

// Each MIDlet-n class (the JAD's value first, as an installer takes it) and
// whether it reaches javax/microedition/midlet/MIDlet inside the JAR.
void CheckMidletClasses(const ClassScan& scan, const std::vector<std::string>& names,
                        const AttributeList& manifest, const AttributeList& jad, SuiteFacts& facts);

// The screen attributes, icon and image sizes, and the guess of the screen.
void ReadScreen(JarEntries& entries, const AttributeList& manifest, const AttributeList& jad,
                const SuiteTables& tables, SuiteFacts& facts);

// The size in the header of a PNG file's first bytes.
bool ReadPngSize(std::string_view bytes, ScreenSize& size);

// The value of `name` as an installer takes it: the JAD's, else the
// manifest's. Null when neither has it.
const std::string* ValueOf(const AttributeList& manifest, const AttributeList& jad,
                           const std::string& name);

// The package of a class in internal form; empty for the unnamed package.
std::string PackageOf(const std::string& className);

}  // namespace midlet
