// What the installation rules need of a JAR: its size, the names of its
// entries as stored, its manifest and whether the entries it names can be
// read, taken through the archive engine the way a phone reads a JAR (exact
// names, the first of two equal names, stored or deflated data only).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace archive {
class TZipArchiver;
}

namespace midlet {

// What the path named turned out to be when it is no readable JAR.
enum class JarFault {
    None,
    Missing,        // no such file
    Folder,         // a folder, not a file
    Unreadable,     // the file cannot be read
    Empty,          // a file of 0 bytes
    NotZip,         // no ZIP archive at all
    TrailingBytes,  // bytes after the archive's end record
    Zip64,          // a ZIP64 archive, which phones do not read
    Prefixed,       // bytes before the archive that its offsets do not count
};

// Whether an entry can be read as a phone reads it.
enum class EntryState { Readable, Missing, Empty, Unreadable };

struct JarContents {
    JarFault fault = JarFault::None;
    std::uint64_t size = 0;
    std::vector<std::string> entries;                 // stored name bytes, in directory order
    std::unordered_map<std::string, int> firstIndex;  // name -> its first entry
    EntryState manifestState = EntryState::Missing;
    std::string manifestOtherCase;  // an entry that differs from the manifest's name in case only
    std::string manifest;           // the manifest's bytes
    std::string manifestProblem;    // why a manifest entry could not be read

    bool Readable() const { return fault == JarFault::None; }
    bool HasEntry(const std::string& name) const { return firstIndex.count(name) != 0; }
};

inline constexpr const char* kManifestEntry = "META-INF/MANIFEST.MF";

// A manifest larger than this is not read: no MIDlet suite's comes near it.
inline constexpr std::uint64_t kMaxManifestBytes = 4u << 20;

// A JAR read once and, when readable, kept open, so that the entries it
// names can be checked later without looking the file up and opening it
// again.
class OpenJar {
  public:
    explicit OpenJar(const std::string& path);
    ~OpenJar();
    OpenJar(const OpenJar&) = delete;
    OpenJar& operator=(const OpenJar&) = delete;

    const JarContents& Contents() const { return contents_; }

    // Whether each named entry can be read: present, not empty, stored or
    // deflated, not encrypted, and its data matching its CRC-32. Every
    // entry is missing in a JAR that is not readable.
    std::map<std::string, EntryState> CheckEntries(const std::vector<std::string>& names);

  private:
    JarContents contents_;
    std::unique_ptr<archive::TZipArchiver> zip_;  // set while the contents are readable
};

// The JAR read, and closed again.
JarContents ReadJar(const std::string& path);

}  // namespace midlet
