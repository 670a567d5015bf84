// The entries of an open JAR as the suite facts read them: stored names,
// sizes, and the bytes of one entry up to a limit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archive {
class TZipBaseArchiver;
}

namespace midlet {

class JarEntries {
  public:
    // `zip` is open and stays open while this object is used.
    explicit JarEntries(archive::TZipBaseArchiver& zip);

    // Stored names, in directory order; folders are left out.
    const std::vector<std::string>& Names() const { return names_; }
    std::uint64_t SizeOf(std::size_t i) const { return sizes_[i]; }

    // The bytes of entry `i` when it can be read and holds at most `limit`
    // bytes; false otherwise. Nothing is thrown for a damaged entry.
    bool Read(std::size_t i, std::uint64_t limit, std::string& bytes);

    // The first `count` bytes of entry `i` (all of it when shorter); false
    // when it cannot be read that far.
    bool ReadPrefix(std::size_t i, std::size_t count, std::string& bytes);

  private:
    archive::TZipBaseArchiver& zip_;
    std::vector<std::string> names_;
    std::vector<std::uint64_t> sizes_;
    std::vector<int> indexes_;  // each name's index in the directory
};

}  // namespace midlet
