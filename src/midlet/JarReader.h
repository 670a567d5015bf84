// What the installation rules need of a JAR: its size, the names of its
// entries as stored, and its manifest, read through the archive engine
// without changing the file.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace midlet {

struct JarContents {
    // Set when the file could not be read as a whole; `failureCode` is 907
    // when it is no ZIP archive a phone could read, 0 when it could not be
    // read at all.
    std::string failure;
    int failureCode = 0;
    std::uint64_t size = 0;
    std::vector<std::string> entries;  // stored name bytes, in directory order
    std::unordered_set<std::string> entrySet;
    bool hasManifest = false;
    std::string manifestName;     // as stored; may differ in case from the usual name
    std::string manifest;         // the manifest's bytes
    std::string manifestFailure;  // why the manifest entry could not be read

    bool Readable() const { return failure.empty(); }
    bool HasEntry(const std::string& name) const { return entrySet.count(name) != 0; }
};

inline constexpr const char* kManifestEntry = "META-INF/MANIFEST.MF";

// A manifest larger than this is not read: no MIDlet suite's comes near it.
inline constexpr std::uint64_t kMaxManifestBytes = 4u << 20;

JarContents ReadJar(const std::string& path);

}  // namespace midlet
