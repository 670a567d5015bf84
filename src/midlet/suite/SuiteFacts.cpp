#include "midlet/suite/SuiteFacts.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "archive/ZipArchiver.h"
#include "archive/directory/ZipDirManager.h"
#include "midlet/ManifestEntry.h"
#include "midlet/SuiteFiles.h"
#include "midlet/suite/SuiteParts.h"
#include "platform/Files.h"

namespace midlet {

namespace {

constexpr const char* kPlatformDoJa = "doja";
constexpr const char* kPlatformWipi = "wipi";
constexpr const char* kPlatformBlackBerry = "blackberry";

// The kind an archive without MIDlet attributes has by the APIs its
// classes use.
SuiteKind KindFromPlatforms(const std::set<std::string>& platforms) {
    if (platforms.count(kPlatformDoJa) != 0) {
        return SuiteKind::DoJa;
    }
    if (platforms.count(kPlatformWipi) != 0) {
        return SuiteKind::Wipi;
    }
    if (platforms.count(kPlatformBlackBerry) != 0) {
        return SuiteKind::BlackBerryModule;
    }
    return SuiteKind::OtherArchive;
}

void FindUnprovidedKeys(const AttributeList& manifest, const AttributeList& jad,
                        SuiteFacts& facts) {
    for (const std::string& key : facts.readKeys) {
        if (ValueOf(manifest, jad, key) == nullptr) {
            facts.unprovidedKeys.push_back(key);
        }
    }
}

AttributeList ReadJadAttributes(const std::string& path) {
    std::string text;
    if (path.empty() || !ReadSmallFile(path, text)) {
        return {};
    }
    return ParseJad(text);
}

}  // namespace

AttributeList ReadManifestAttributes(archive::TZipBaseArchiver& zip) {
    const int entry = FindManifestEntry(zip);
    if (entry < 0) {
        return {};
    }
    try {
        return ParseManifest(ReadEntryBytes(zip, entry));
    } catch (const std::exception&) {
        return {};
    }
}

SuiteFacts ComputeSuiteFacts(JarEntries& entries, const AttributeList& manifest,
                             const AttributeList& jad, bool jamBeside, const SuiteTables& tables) {
    SuiteFacts facts;
    ClassScan scan;
    ScanClasses(entries, tables, facts, scan);
    MapApis(scan, tables, facts);
    facts.kind = KindFromDescriptors(entries.Names(), manifest, jad, jamBeside)
                     .value_or(KindFromPlatforms(scan.platforms));
    FindUnprovidedKeys(manifest, jad, facts);
    CheckMidletClasses(scan, entries.Names(), manifest, jad, facts);
    ReadScreen(entries, manifest, jad, tables, facts);
    return facts;
}

SuiteFacts ComputeSuiteFacts(const std::string& jar, const std::string& jad,
                             const SuiteTables& tables) {
    SuiteFacts facts;
    if (!platform::FileExists(jar)) {
        facts.kind = SuiteKind::NotArchive;
        facts.failure = "no such file";
        return facts;
    }
    archive::TZipArchiver zip("Zip");
    zip.FileName = jar;
    try {
        zip.OpenArchive(archive::OpenModeReadOnly);
        // A file without an end record is no archive a phone reads.
        archive::EndOfCentralDirectory end;
        std::int64_t position = -1;
        if (!zip.DirManager()->FindEndRecord(end, position)) {
            throw std::runtime_error("no end of central directory record");
        }
        JarEntries entries(zip);
        facts = ComputeSuiteFacts(entries, ReadManifestAttributes(zip), ReadJadAttributes(jad),
                                  !JamBeside(jar).empty(), tables);
    } catch (const std::exception& e) {
        facts = SuiteFacts{};
        facts.kind = SuiteKind::NotArchive;
        facts.failure = e.what();
    }
    zip.Close();
    return facts;
}

}  // namespace midlet
