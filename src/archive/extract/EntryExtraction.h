// Extracting entries of the open archive: one entry into a file below the
// destination folder, within the byte budget of the running ExtractByMask
// call, or one entry decoded into any sink with its size and CRC-32 check.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/Files.h"

namespace platform {
class TFileStream;
class TargetFolder;
class TargetPath;
}  // namespace platform

namespace archive {

class TZipBaseArchiver;
class EntrySink;
struct TDirItem;

class EntryExtraction {
  public:
    // The most bytes one ExtractByMask call writes to disk, all entries
    // together: far above any MIDlet suite, low enough that entries which
    // share their data, or lie about their sizes, cannot fill the disk.
    static constexpr std::uint64_t MaxBytesPerCall = std::uint64_t{1} << 30;  // 1 GiB

    explicit EntryExtraction(TZipBaseArchiver& archiver);
    ~EntryExtraction();
    EntryExtraction(const EntryExtraction&) = delete;
    EntryExtraction& operator=(const EntryExtraction&) = delete;

    // A new ExtractByMask call starts with the whole budget.
    void StartCall();
    // The folders the call held open are closed.
    void EndCall();
    // `name` uses "\" separators; `destinationFolder` ends with a delimiter.
    void ToFile(int index, const std::string& name, const std::string& destinationFolder);
    // Decodes the entry into `target` and checks its size and CRC-32.
    void ToSink(int index, EntrySink& target);

  private:
    // The path below the folder that the entry is written to, its folders
    // made; refuses a name that leads out of the folder, and a link on the
    // way.
    std::unique_ptr<platform::TargetPath> ContainedTarget(std::string name,
                                                          const std::string& destinationFolder,
                                                          bool folderEntry);
    bool MayReplace(const TDirItem& entry, const std::string& name,
                    const platform::TargetPath& target);
    std::unique_ptr<platform::TFileStream> CreateTarget(platform::TargetPath& target);
    // Decodes the entry into the file; the failure, when there was one.
    std::exception_ptr WriteWithinBudget(int index, platform::TFileStream& file);
    // Dates, gives attributes to and closes the file, each step checked;
    // drops it when the entry failed or was cancelled. The failure of a
    // step, when the entry had none before.
    std::exception_ptr CloseTarget(const TDirItem& entry, platform::TargetPath& target,
                                   std::unique_ptr<platform::TFileStream> file,
                                   std::uint32_t attributes, bool failed);
    // Where the entry's data start, by its local header; -1 when the header
    // cannot be read.
    std::int64_t DataStart(const TDirItem& entry);
    // The entry's compressed length, kept from running into the directory.
    std::uint64_t DataLength(const TDirItem& entry, std::int64_t dataStart) const;
    // The file time of an entry's MS-DOS date-time.
    platform::FileTime FileTimeOf(std::uint32_t dosDateTime);

    TZipBaseArchiver& archiver_;
    // Bytes the running ExtractByMask may still write.
    std::uint64_t budget_ = MaxBytesPerCall;
    // The last date converted in this call: entries of one archive mostly
    // share their dates, and every conversion has the C library look at
    // the time zone file again.
    std::optional<std::pair<std::uint32_t, platform::FileTime>> lastDate_;
    // The destination folder of this call, with the folders below it that
    // the call opened.
    std::unique_ptr<platform::TargetFolder> destination_;
};

}  // namespace archive
