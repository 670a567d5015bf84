// The two ways an entry is written during a commit: compressed anew from
// its source file, or its old local record copied back from the tail copy.
#include <memory>

#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/ZipRawCopy.h"
#include "archive/ZipZlib.h"
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

bool TZipBaseArchiver::CompressEntry(int index) {
    TDirItem& entry = dirManager_->Directory.ItemAt(index);
    platform::TFileStream& archive = *archiveStream_;
    UpdateCompressionMethod();
    bool cancel = false;
    DoFileProgress(entry.Name, 0, entry.Operation, ppStart, cancel);
    cancelled_ = cancelled_ || cancel;
    if (cancelled_) {
        return false;
    }
    std::unique_ptr<platform::TFileStream> source;
    try {
        entry.HasZip64 = false;
        const bool isFolder = entry.IsFolder() || (!entry.Name.empty() && entry.Name.back() == '/');
        if (!isFolder) {
            if (CharacterCount(entry.SourceFileName) > MaxSourcePath) {
                throw EZipException(native::NameTooLong, this, {entry.SourceFileName});
            }
            try {
                source = std::make_unique<platform::TFileStream>(
                    entry.SourceFileName, platform::fmOpenRead | ShareModeFlags(Options.ShareMode));
            } catch (const platform::EStreamError&) {
                throw EZipException(native::CannotOpenSource, this, {entry.SourceFileName});
            }
        }
        const std::uint64_t sourceSize = source ? static_cast<std::uint64_t>(source->Size()) : 0;
        const std::int64_t offset = archive.Position();
        const bool zip64Offset =
            static_cast<std::uint64_t>(offset) >= Zip64Marker32 || CurrentZip64Mode() == zmAlways;
        entry.SetLocalHeaderOffset(static_cast<std::uint64_t>(offset));
        const bool zip64 = sourceSize >= Zip64Marker32 || zip64Offset;
        TZipCentralHeader& h = entry.Header;
        h.VersionNeeded = zip64 ? VersionZip64 : Options.OEMFileNames ? VersionOem : VersionAnsi;
        h.VersionMadeBy = h.VersionNeeded;
        const std::string storedName = dirManager_->StoredNameOf(entry);
        TZipLocalHeader local;
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
        if (zip64 && CurrentZip64Mode() == zmDisabled) {
            throw EZipException(native::Zip64DisabledHeader, this, {entry.SourceFileName});
        }
        std::vector<std::uint8_t> record;
        TByteWriter out(record);
        local.Encode(out);
        out.String(storedName);
        archive.WriteBuffer(record.data(), record.size());
        // The data, then the header again with the final CRC-32 and sizes.
        if (source) {
            if (!CompressEntryData(*source, archive, entry,
                                   CodecContext(entry.Name, entry.Operation))) {
                source.reset();
                return false;
            }
            local.Method = h.Method;
            local.Crc32 = h.Crc32;
            local.CompressedSize = h.CompressedSize;
            local.UncompressedSize = h.UncompressedSize;
            record.clear();
            local.Encode(out);
            archive.SetPosition(offset);
            archive.WriteBuffer(record.data(), record.size());
            archive.Seek(local.NameLength, platform::SeekOrigin::soCurrent);
        }
        if (cancelled_) {
            return false;
        }
        archive.Seek(0, platform::SeekOrigin::soEnd);
        source.reset();
        cancel = false;
        DoFileProgress(entry.Name, 100, entry.Operation, ppEnd, cancel);
        cancelled_ = cancelled_ || cancel;
        return true;
    } catch (const EZipException& e) {
        source.reset();
        commit_.Failure = e;
        const std::string& shown = entry.Operation == poUpdate ? entry.Name : entry.SourceFileName;
        DoProcessFileFailure(shown, entry.Operation, e.NativeError, e.ErrorCode, e.Message(),
                             commit_.LastAction);
        return false;
    }
}

void TZipBaseArchiver::CopyEntryRaw(int index) {
    TZipDirArray& directory = dirManager_->Directory;
    const TZipDirArray& saved = dirManager_->SavedDirectory;
    platform::TFileStream& archive = *archiveStream_;
    const int j = SavedIndexOf(directory, saved, index);
    if (j < 0) {
        throw EZipException(native::SavedEntryMissing, this);
    }
    if (directory.ItemAt(index).Operation == poUpdate) {
        directory.PutItem(index, saved.ItemAt(j));
    }
    const TDirItem& old = saved.ItemAt(j);
    const std::int64_t newOffset = archive.Position();
    // Local header, name, extra field, data and data descriptor.
    const std::int64_t from = static_cast<std::int64_t>(old.LocalHeaderOffset()) - commit_.CutPoint;
    if (!commit_.TailCopy || from < 0) {
        throw EZipException(native::SavedEntryMissing, this);
    }
    platform::TFileStream& tail = *commit_.TailCopy;
    TTailReader reader(tail);
    const std::int64_t length = LocalRecordLength(reader, from, old);
    tail.SetPosition(from);
    archive.CopyFrom(tail, length);
    directory.ItemAt(index).SetLocalHeaderOffset(static_cast<std::uint64_t>(newOffset));
}

}  // namespace archive
