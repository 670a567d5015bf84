#include "midlet/suite/JarEntries.h"

#include <exception>

#include "archive/ZipArchiver.h"
#include "archive/codec/ZipZlib.h"
#include "archive/directory/ZipDirManager.h"

namespace midlet {

namespace {

// Keeps the first bytes of an entry and stops the extraction there.
class PrefixSink : public archive::EntrySink {
  public:
    PrefixSink(std::string& target, std::size_t count) : target_(target), count_(count) {}

    std::size_t Write(const void* buffer, std::size_t count) override {
        const std::size_t room = count_ - target_.size();
        target_.append(static_cast<const char*>(buffer), count < room ? count : room);
        return count <= room ? count : 0;
    }

    bool Full() const { return target_.size() == count_; }

  private:
    std::string& target_;
    std::size_t count_;
};

}  // namespace

JarEntries::JarEntries(archive::TZipBaseArchiver& zip) : zip_(zip) {
    archive::TZipDirManager& directory = *zip.DirManager();
    for (int i = 0; i < directory.Directory.Count(); ++i) {
        const archive::TDirItem& item = directory.Directory.ItemAt(i);
        if (item.IsFolder()) {
            continue;
        }
        names_.push_back(directory.StoredNameOf(item));
        sizes_.push_back(item.UncompressedSize());
        indexes_.push_back(i);
    }
}

bool JarEntries::Read(std::size_t i, std::uint64_t limit, std::string& bytes) {
    bytes.clear();
    if (i >= names_.size() || sizes_[i] > limit) {
        return false;
    }
    archive::StringSink sink(bytes, limit);
    try {
        zip_.ExtractToStream(indexes_[i], sink);
    } catch (const std::exception&) {
        bytes.clear();
        return false;
    }
    return true;
}

bool JarEntries::ReadPrefix(std::size_t i, std::size_t count, std::string& bytes) {
    bytes.clear();
    if (i >= names_.size()) {
        return false;
    }
    PrefixSink sink(bytes, count);
    try {
        zip_.ExtractToStream(indexes_[i], sink);
    } catch (const std::exception&) {
        // Stopping at the prefix ends the extraction with a failure.
        return sink.Full();
    }
    return true;
}

}  // namespace midlet
