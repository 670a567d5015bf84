// The manifest entry of a JAR, found by its name, read into memory and
// refreshed on its own, so that the manifest taken out, the one put back
// and the one checked afterwards are always the same entry.
#pragma once

#include <cstddef>
#include <string>

namespace archive {
class TZipBaseArchiver;
}

namespace midlet {

// A manifest beyond this size is no MIDlet suite's.
inline constexpr std::size_t kMaxManifestBytes = std::size_t{16} << 20;

// The index of the manifest entry in the open archive: the last entry whose
// name, with "\" read as "/", is META-INF/MANIFEST.MF without regard to
// case (the one a JAR reader takes); -1 when there is none.
int FindManifestEntry(archive::TZipBaseArchiver& zip);

// The bytes of an entry of the open archive; the archive engine's exception
// when it is damaged or larger than kMaxManifestBytes.
std::string ReadEntryBytes(archive::TZipBaseArchiver& zip, int index);

// Refreshes one entry of the open archive from the file of the same name
// under BaseDir and commits the archive, as UpdateByMask does for the
// entries a mask selects.
void UpdateEntry(archive::TZipBaseArchiver& zip, int index);

}  // namespace midlet
