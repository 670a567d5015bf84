// The archive component: opens a ZIP/JAR file, holds its directory while it
// is open, carries the options and events, and brackets changes in a
// transaction that is committed when it ends. The commit (ArchiveCommit) and
// the extraction of entries (EntryExtraction) are classes of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/Component.h"
#include "archive/ZipExcept.h"
#include "archive/ZipTypes.h"
#include "archive/directory/ZipDirManager.h"
#include "archive/extract/EntryExtraction.h"

namespace platform {
class TFileStream;
struct FileAttributeData;
}  // namespace platform

namespace archive {

class EntrySink;
struct EntryCodecContext;

struct TZipOptions {
    bool Recurse = true;
    TZipStorePathMode StorePath = spRelativePath;
    TZipFileShareMode ShareMode = smShareDenyNone;
    TZipOverwriteMode OverwriteMode = omAlways;
    bool CreateDirs = true;
    bool ReplaceReadOnly = true;
    bool SetAttributes = true;
    std::int32_t SearchAttr = 10431;  // 0x28BF
    bool FlushBuffers = true;
    bool OEMFileNames = true;
};

// The sharing flags of a TZipFileShareMode: 0, 0x10, 0x20, 0x30, 0x40.
std::uint32_t ShareModeFlags(TZipFileShareMode mode);

struct TZipSpanningOptions {
    bool AdvancedNaming = true;
    std::int64_t FirstVolumeSize = 0;
    VolumeSizeKind VolumeSize = vsAutoDetect;
    // Values below 65,536 are raised to 65,536 when set.
    void SetCustomVolumeSize(std::int64_t size);
    std::int64_t CustomVolumeSize() const { return customVolumeSize_; }

  private:
    std::int64_t customVolumeSize_ = 0;
};

class TZipBaseArchiver;

// Events; a parameter passed by reference may be changed by the handler.
using TNotifyEvent = std::function<void(TZipBaseArchiver& sender)>;
using TZipProgressEvent =
    std::function<void(TZipBaseArchiver& sender, double progress, TZipProcessOperation operation,
                       TZipProgressPhase phase, bool& cancel)>;
using TZipFileProgressEvent =
    std::function<void(TZipBaseArchiver& sender, const std::string& fileName, double progress,
                       TZipProcessOperation operation, TZipProgressPhase phase, bool& cancel)>;
using TZipCopyTempFileProgressEvent = std::function<void(TZipBaseArchiver& sender, double progress,
                                                         TZipProgressPhase phase, bool& cancel)>;
using TZipConfirmOverwriteEvent =
    std::function<void(TZipBaseArchiver& sender, const std::string& sourceFileName,
                       std::string& destFileName, bool& confirm)>;
using TZipConfirmProcessFileEvent =
    std::function<void(TZipBaseArchiver& sender, const std::string& fileName,
                       TZipProcessOperation operation, bool& confirm)>;
using TZipOnPasswordEvent =
    std::function<void(TZipBaseArchiver& sender, const std::string& fileName,
                       std::string& newPassword, bool& skipFile)>;
using TZipProcessFileFailureEvent = std::function<void(
    TZipBaseArchiver& sender, const std::string& fileName, TZipProcessOperation operation,
    int nativeError, int errorCode, const std::string& errorMessage, TZipAction& action)>;
using TZipOnRequestBlankVolumeEvent = std::function<void(
    TZipBaseArchiver& sender, int volumeNumber, std::string& volumeFileName, bool& cancel)>;
using TZipOnRequestMiddleVolumeEvent = TZipOnRequestBlankVolumeEvent;
using TZipOnRequestFirstVolumeEvent =
    std::function<void(TZipBaseArchiver& sender, std::string& volumeFileName, bool& cancel)>;
using TZipOnRequestLastVolumeEvent = TZipOnRequestFirstVolumeEvent;
using TZipOnDiskFullEvent = std::function<void(TZipBaseArchiver& sender, int volumeNumber,
                                               const std::string& volumeFileName, bool& cancel)>;
using TZipOnStoreFileEvent =
    std::function<void(TZipBaseArchiver& sender, std::string& fileName, std::uint32_t& fileAttr,
                       std::string& comment, const std::string& originalFileName)>;
using TZipOnExtractFileEvent =
    std::function<void(TZipBaseArchiver& sender, std::string& fileName, std::uint32_t& fileAttr,
                       const std::string& comment)>;

// File modes of the open archive.
inline constexpr std::uint32_t OpenModeCreate = 0xFFFF;
inline constexpr std::uint32_t OpenModeReadWrite = 0x22;  // read-write, deny-write sharing
inline constexpr std::uint32_t OpenModeReadOnly = 0x40;   // read-only, deny-none sharing

class TZipBaseArchiver : public TComponent {
  public:
    explicit TZipBaseArchiver(std::string name = {});
    ~TZipBaseArchiver() override;

    // --- published properties ------------------------------------------------
    bool ExtractCorruptedFiles = false;
    TZipCompressionLevel CompressionLevel() const { return compressionLevel_; }
    void SetCompressionLevel(TZipCompressionLevel level);
    std::uint8_t CompressionMode() const { return compressionMode_; }
    // Above 9: native error 5, nothing changes.
    void SetCompressionMode(int mode);
    // "2.77 " whatever the locale; setting it has no effect.
    std::string CurrentVersion() const;
    void SetCurrentVersion(const std::string&) {}
    std::string Password;
    std::string FileName;
    std::string BaseDir;
    std::string TempDir;
    // When not empty, the next commit writes the new archive into this file
    // instead of changing the open one: the file must not exist, and gets
    // the very bytes the commit in place would have given the open file,
    // which is only read. Once the copy is whole and flushed, the archiver
    // works on it (FileName names it); a failure, an abort or a cancel
    // leaves no copy and the archiver on the open file. A commit and an
    // abandoned transaction clear it; a read-only archive may be committed
    // so.
    std::string CommitCopyName;
    TZipSpanningMode SpanningMode = smNone;
    TZipSpanningOptions SpanningOptions;
    std::string SFXStub;
    TZipOptions Options;
    std::vector<std::string> FileMasks;
    std::vector<std::string> ExclusionMasks;
    std::vector<std::string> NoCompressionMasks;
    bool InMemory = false;

    TZipFileProgressEvent OnFileProgress;
    TZipProgressEvent OnOverallProgress;
    TZipCopyTempFileProgressEvent OnCopyTempFileProgress;
    TZipConfirmOverwriteEvent OnConfirmOverwrite;
    TZipConfirmProcessFileEvent OnConfirmProcessFile;
    TNotifyEvent AfterOpen;
    TZipOnPasswordEvent OnPassword;
    TZipProcessFileFailureEvent OnProcessFileFailure;
    TZipOnRequestBlankVolumeEvent OnRequestBlankVolume;
    TZipOnRequestFirstVolumeEvent OnRequestFirstVolume;
    TZipOnRequestLastVolumeEvent OnRequestLastVolume;
    TZipOnRequestMiddleVolumeEvent OnRequestMiddleVolume;
    TZipOnDiskFullEvent OnDiskFull;
    TZipOnStoreFileEvent OnStoreFile;
    TZipOnExtractFileEvent OnExtractFile;

    // --- lifecycle -------------------------------------------------------------
    void Open();
    void OpenArchive(std::uint32_t mode);
    void Close();  // never raises
    void BeginTransaction();
    void EndTransaction();
    void AbandonTransaction();
    // Writes the changes of the outermost transaction into the archive.
    virtual void Commit();

    // --- mask operations ---------------------------------------------------------
    // Writes every matching entry into a file under BaseDir (ZipProcess.cpp).
    // `maskText` says whether the mask is a user's text or the program's own
    // name (ZipTypes.h); without it, a user's.
    void ExtractByMask(const std::string& mask, std::uint32_t searchAttr,
                       const std::string& exclusionMask, MaskText maskText);
    void ExtractByMask(const std::string& mask, std::uint32_t searchAttr,
                       const std::string& exclusionMask) {
        ExtractByMask(mask, searchAttr, exclusionMask, MaskText::User);
    }
    // Refreshes every matching entry from the file of the same relative name
    // under BaseDir and commits at once (ZipRefresh.cpp).
    void UpdateByMask(const std::string& mask, std::uint32_t searchAttr,
                      const std::string& exclusionMask, MaskText maskText);
    void UpdateByMask(const std::string& mask, std::uint32_t searchAttr,
                      const std::string& exclusionMask) {
        UpdateByMask(mask, searchAttr, exclusionMask, MaskText::User);
    }
    // The entry loop over the selected entries (ZipProcess.cpp).
    void ProcessSelectedEntries(TZipProcessOperation operation);
    // `name` uses "\" separators; `destinationFolder` ends with a delimiter.
    void ExtractEntry(int index, const std::string& name, const std::string& destinationFolder);
    // Decodes the entry into `target` and checks its size and CRC-32; a
    // call of its own, which an earlier operation's cancel does not end.
    void ExtractToStream(int index, EntrySink& target);
    void RefreshEntry(int index, const std::string& name, const std::string& destinationFolder);
    // `source` is what a look-up of `path` found. `keepName`: the entry's own
    // name led to `path`, so the name is kept as stored rather than made anew
    // from the path.
    void PrepareEntryFromFile(int index, const std::string& path,
                              const platform::FileAttributeData& source, bool keepName = false);

    // The most bytes one ExtractByMask call writes to disk, all entries
    // together.
    static constexpr std::uint64_t MaxExtractBytesPerCall = EntryExtraction::MaxBytesPerCall;

    // --- state -----------------------------------------------------------------
    bool IsOpen() const { return isOpen_; }
    std::uint32_t OpenMode() const { return openMode_; }
    int TransactionDepth() const { return transactionDepth_; }
    bool Cancelled() const { return cancelled_; }
    // Entries of the last entry loop or commit that failed in the end
    // (ignored or aborted after their failure decision).
    int FailedCount() const { return failedCount_; }
    int CompressionMethod() const { return compressionMethod_; }
    bool RepairOnOpen = true;
    platform::TFileStream* ArchiveStream() const { return archiveStream_.get(); }
    // How the last entry loop went: the entries it selected, those it took
    // through to the end, and the message of the last entry that failed.
    int SelectedCount() const { return selectedCount_; }
    int ProcessedCount() const { return processedCount_; }
    const std::string& LastEntryFailure() const { return lastEntryFailure_; }
    // The directory manager of the open archive (null when closed).
    TZipDirManager* DirManager() const { return dirManager_.get(); }
    // Zip64Mode of the component; the base class never writes Zip64 records.
    virtual TZip64Mode CurrentZip64Mode() const { return zmDisabled; }

    // --- dispatchers: the handler when assigned, else the default ------------
    virtual void UpdateCompressionMethod();
    virtual void DoOverallProgress(double progress, TZipProcessOperation operation,
                                   TZipProgressPhase phase, bool& cancel);
    virtual void DoFileProgress(const std::string& fileName, double progress,
                                TZipProcessOperation operation, TZipProgressPhase phase,
                                bool& cancel);
    virtual void DoCopyTempFileProgress(double progress, TZipProgressPhase phase, bool& cancel);
    virtual void DoConfirmOverwrite(const std::string& sourceFileName, std::string& destFileName,
                                    bool& confirm);
    // The overwrite mode's answer to replacing `existing` (stamped
    // existingStamp) by `incoming` (incomingStamp): always, never, the prompt,
    // or a comparison of the DOS date-times taken as signed 32-bit numbers.
    bool OverwriteAllowed(const std::string& incoming, const std::string& existing,
                          std::int32_t incomingStamp, std::int32_t existingStamp);
    virtual void DoConfirmProcessFile(const std::string& fileName, TZipProcessOperation operation,
                                      bool& confirm);
    virtual void DoPassword(const std::string& fileName, std::string& newPassword, bool& skipFile);
    virtual void DoProcessFileFailure(const std::string& fileName, TZipProcessOperation operation,
                                      int nativeError, int errorCode,
                                      const std::string& errorMessage, TZipAction& action);
    // DoProcessFileFailure on the failure of one entry; its default question
    // says why the entry failed when the failure tells (FailureDecision.cpp).
    void DecideFailure(const std::string& fileName, TZipProcessOperation operation,
                       const EZipException& failure, TZipAction& action);
    virtual void DoRequestBlankVolume(int volumeNumber, std::string& volumeFileName, bool& cancel);
    virtual void DoRequestFirstVolume(std::string& volumeFileName, bool& cancel);
    virtual void DoRequestLastVolume(std::string& volumeFileName, bool& cancel);
    virtual void DoRequestMiddleVolume(int volumeNumber, std::string& volumeFileName, bool& cancel);
    virtual void DoDiskFull(int volumeNumber, const std::string& volumeFileName, bool& cancel);
    virtual void DoHiddenEvent();
    virtual void DoStoreFile(std::string& fileName, std::uint32_t& fileAttr, std::string& comment,
                             const std::string& originalFileName);
    virtual void DoExtractFile(std::string& fileName, std::uint32_t& fileAttr,
                               const std::string& comment);

  protected:
    // Releases the stream and the directory manager without writing.
    void ReleaseArchive();
    // OpenArchive; with `orReadOnly`, an archive that cannot be opened with
    // `mode` is opened read-only, and the caller has just found the file.
    void OpenArchive(std::uint32_t mode, bool orReadOnly);
    // What the codec asks of the component while one entry streams.
    EntryCodecContext CodecContext(const std::string& fileName, TZipProcessOperation operation);

    // Base of stored names while an entry is refreshed.
    std::string storedNameBase_;
    // Extraction of entries, with the byte budget of the running
    // ExtractByMask call.
    EntryExtraction extraction_{*this};

    bool isOpen_ = false;
    std::uint32_t openMode_ = 0;
    // Opened read-only because another open of the file writes it or
    // denies writing: an update is refused as "in use", not "read-only".
    bool heldByAnother_ = false;
    std::unique_ptr<platform::TFileStream> archiveStream_;
    std::unique_ptr<TZipDirManager> dirManager_;
    int transactionDepth_ = 0;
    bool cancelled_ = false;
    int compressionMethod_ = -1;
    TZipCompressionLevel compressionLevel_ = clFastest;
    std::uint8_t compressionMode_ = 1;
    // Progress bookkeeping of the entry loops and the commit.
    int processedCount_ = 0;
    int selectedCount_ = 0;
    int failedCount_ = 0;
    // Why the failure being decided happened, for the default question.
    std::string failureReason_;
    std::string lastEntryFailure_;

  private:
    // The entry loop's steps (ZipProcess.cpp).
    struct EntryPass {
        bool Removed = false;  // the entry left the list
        bool Leave = false;    // the loop ends after this entry
        bool Aborted = false;  // the failure decision answered Abort
    };
    void StartEntryLoop(TZipProcessOperation operation);
    EntryPass ProcessEntry(int index, TZipProcessOperation operation);
    bool ApplyOperation(int index, const std::string& name, TZipProcessOperation operation);
    void EndEntryLoop(TZipProcessOperation operation, bool aborted);

    // The commit and the extraction of an entry work on the open archive
    // and report through the dispatchers and progress bookkeeping above.
    friend class ArchiveCommit;
    friend class EntryExtraction;
};

class TZipArchiver : public TZipBaseArchiver {
  public:
    explicit TZipArchiver(std::string name = {});
    ~TZipArchiver() override;

    TZip64Mode Zip64Mode = zmDisabled;

    void UpdateCompressionMethod() override;
    TZip64Mode CurrentZip64Mode() const override { return Zip64Mode; }
};

// Applies the values the window's form stores for its component `Zip`:
// CompressionLevel clFastest then CompressionMode 1, FlushBuffers and
// OEMFileNames true, spanning AdvancedNaming and vsAutoDetect.
void ApplyFormValues(TZipArchiver& zip);

}  // namespace archive
