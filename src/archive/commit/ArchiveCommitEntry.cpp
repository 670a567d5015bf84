// The two ways an entry is written during a commit: compressed anew from
// its source file, or its old local record copied from the old archive.
#include <memory>

#include "archive/ZipConst.h"
#include "archive/codec/ZipZlib.h"
#include "archive/commit/ArchiveCommit.h"
#include "archive/commit/ZipRawCopy.h"
#include "platform/CodePage.h"
#include "platform/Stream.h"

namespace archive {

namespace {

// Longest source path, in characters, that is opened.
constexpr std::size_t MaxSourcePath = 259;

std::size_t CharacterCount(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        platform::DecodeUtf8(text, pos);
    }
    return count;
}

}  // namespace

// A failure raises an EZipException for the failure decision; false when
// the entry was cancelled.
bool ArchiveCommit::CompressEntry(int index) {
    TDirItem& entry = manager_.Directory.ItemAt(index);
    archiver_.UpdateCompressionMethod();
    if (!ReportEntryProgress(entry, 0, ppStart)) {
        return false;
    }
    entry.HasZip64 = false;
    std::unique_ptr<platform::TFileStream> source = OpenSource(entry);
    const std::uint64_t sourceSize = source ? static_cast<std::uint64_t>(source->Size()) : 0;
    const std::int64_t position = out_->Position();
    LocalFileHeader local = WriteLocalHeader(entry, position, sourceSize);
    if (source) {
        if (!CompressEntryData(*source, *out_, entry, CodecContext(entry))) {
            return false;
        }
        RewriteLocalHeader(entry, local, position);
    }
    if (archiver_.cancelled_) {
        return false;
    }
    out_->Seek(0, platform::SeekOrigin::soEnd);
    source.reset();
    ReportEntryProgress(entry, 100, ppEnd);
    return true;
}

// False when the event cancels the commit.
bool ArchiveCommit::ReportEntryProgress(const TDirItem& entry, double progress,
                                        TZipProgressPhase phase) {
    bool cancel = false;
    archiver_.DoFileProgress(entry.Name, progress, entry.Operation, phase, cancel);
    archiver_.cancelled_ = archiver_.cancelled_ || cancel;
    return !archiver_.cancelled_;
}

// The entry's source file; none for a folder.
std::unique_ptr<platform::TFileStream> ArchiveCommit::OpenSource(const TDirItem& entry) {
    const bool isFolder = entry.IsFolder() || (!entry.Name.empty() && entry.Name.back() == '/');
    if (isFolder) {
        return nullptr;
    }
    if (CharacterCount(entry.SourceFileName()) > MaxSourcePath) {
        throw EZipException(native::NameTooLong, &archiver_, {entry.SourceFileName()});
    }
    try {
        return std::make_unique<platform::TFileStream>(
            entry.SourceFileName(),
            platform::fmOpenRead | ShareModeFlags(archiver_.Options.ShareMode));
    } catch (const platform::EStreamError&) {
        throw EZipException(native::CannotOpenSource, &archiver_, {entry.SourceFileName()});
    }
}

// Places the entry at `offset` and writes its local header and name there,
// with the sizes still unknown.
LocalFileHeader ArchiveCommit::WriteLocalHeader(TDirItem& entry, std::int64_t offset,
                                                std::uint64_t sourceSize) {
    const TZip64Mode zip64Mode = archiver_.CurrentZip64Mode();
    const bool zip64Offset =
        static_cast<std::uint64_t>(offset) >= Zip64Marker32 || zip64Mode == zmAlways;
    entry.SetLocalHeaderOffset(static_cast<std::uint64_t>(offset));
    const bool zip64 = sourceSize >= Zip64Marker32 || zip64Offset;
    CentralFileHeader& h = entry.Header;
    h.VersionNeeded = zip64                            ? VersionZip64
                      : archiver_.Options.OEMFileNames ? VersionOem
                                                       : VersionAnsi;
    h.VersionMadeBy = h.VersionNeeded;
    const std::string storedName = manager_.StoredNameOf(entry);
    LocalFileHeader local;
    local.VersionNeeded = h.VersionNeeded;
    local.Flags = h.Flags;
    local.Method = h.Method;
    local.ModTime = h.ModTime;
    local.ModDate = h.ModDate;
    local.Crc32 = h.Crc32;
    local.CompressedSize = 0;
    local.UncompressedSize =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(sourceSize, Zip64Marker32));
    local.NameLength = static_cast<std::uint16_t>(storedName.size());
    local.ExtraLength = 0;
    if (zip64 && zip64Mode == zmDisabled) {
        throw EZipException(native::Zip64DisabledHeader, &archiver_, {entry.SourceFileName()});
    }
    std::vector<std::uint8_t> record;
    ByteWriter out(record);
    local.Encode(out);
    out.String(storedName);
    out_->WriteBuffer(record.data(), record.size());
    return local;
}

// The header again, over the first one (at `position` of the stream written
// to), with the final CRC-32 and sizes.
void ArchiveCommit::RewriteLocalHeader(const TDirItem& entry, LocalFileHeader& local,
                                       std::int64_t position) {
    const CentralFileHeader& h = entry.Header;
    local.Method = h.Method;
    local.Crc32 = h.Crc32;
    local.CompressedSize = h.CompressedSize;
    local.UncompressedSize = h.UncompressedSize;
    std::vector<std::uint8_t> record;
    ByteWriter out(record);
    local.Encode(out);
    out_->SetPosition(position);
    out_->WriteBuffer(record.data(), record.size());
    out_->Seek(local.NameLength, platform::SeekOrigin::soCurrent);
}

// The archiver's context, with a disk-full answer that gives up the commit
// remembered, with the failure that led to it. The question names the
// archive, not the new file the entry is written to.
EntryCodecContext ArchiveCommit::CodecContext(const TDirItem& entry) {
    EntryCodecContext context = archiver_.CodecContext(entry.Name, entry.Operation);
    context.DiskFull = [this, ask = context.DiskFull](const std::string&) {
        const platform::DWORD code = platform::GetLastError();
        const bool cancel = ask(archive_.FileName());
        if (cancel && !diskFull_) {
            diskFull_ = true;
            diskFullCode_ = code;
        }
        return cancel;
    };
    return context;
}

void ArchiveCommit::CopyEntryRaw(int index) {
    TZipDirArray& directory = manager_.Directory;
    const TZipDirArray& saved = manager_.SavedDirectory;
    const int j = SavedIndexOf(directory, saved, index);
    if (j < 0) {
        throw EZipException(native::SavedEntryMissing, &archiver_);
    }
    if (directory.ItemAt(index).Operation == poUpdate) {
        directory.PutItem(index, saved.ItemAt(j));
    }
    const TDirItem& old = saved.ItemAt(j);
    const std::int64_t newOffset = out_->Position();
    // Local header, name, extra field, data and data descriptor.
    const std::int64_t from = static_cast<std::int64_t>(old.LocalHeaderOffset());
    RecordReader reader(archive_);
    const std::int64_t length = LocalRecordLength(reader, from, old);
    archive_.SetPosition(from);
    out_->CopyFrom(archive_, length);
    directory.ItemAt(index).SetLocalHeaderOffset(static_cast<std::uint64_t>(newOffset));
}

}  // namespace archive
