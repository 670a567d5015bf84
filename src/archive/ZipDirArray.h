// One central directory entry in memory (TDirItem) and the ordered entry
// list with its name index (TZipDirArray).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ZipHashList.h"
#include "archive/ZipNameCodec.h"
#include "archive/ZipRareString.h"
#include "archive/ZipRecords.h"
#include "archive/ZipTypes.h"

namespace platform {
class TFileStream;
}

namespace archive {

// One extra block of a central header: id, then `Data.size()` bytes.
struct ExtraField {
    std::uint16_t Id = 0;
    std::vector<std::uint8_t> Data;
};

// The members are ordered so that the small ones share padding; the strings
// that are empty in nearly every entry cost one pointer (RareString).
struct TDirItem {
    CentralFileHeader Header;  // the 46-byte central header image
    std::string Name;          // UTF-8; "/" separates folders, a folder ends with "/"
    // The name bytes as read from the archive. They are written back as they
    // were while Name still reads the same, so a name that does not survive
    // the code-page round trip is not changed by rewriting the directory.
    // Empty when they are what Name converts to, which is what is written then.
    RareString StoredName;
    RareString Comment;                   // entry comment bytes (length in Header.CommentLength)
    std::vector<ExtraField> ExtraFields;  // stored order; the Zip64 block kept too
    std::uint64_t Zip64Size = 0;          // uncompressed size
    std::uint64_t Zip64PackedSize = 0;    // compressed size
    std::uint64_t Zip64Offset = 0;        // local header offset
    std::uint32_t Zip64Disk = 0;          // disk number start
    bool HasZip64 = false;                // the 64-bit values above are in force
    bool Modified = false;          // data to be rewritten from SourceFileName at the next commit
    bool Selected = false;          // matched the current mask
    std::uint8_t CompressMode = 0;  // 0..9
    TZipProcessOperation Operation = poNone;
    std::int32_t SourceStreamStart = 0;
    // An entry added from a stream (never in this program); not owned.
    platform::TFileStream* SourceStream = nullptr;
    RareString EntryPassword;   // empty in this program
    RareString SourceFileName;  // full path of the disk file the data comes from

    // The true values, taken from the Zip64 fields where the 32-bit field
    // holds its all-ones marker and a Zip64 block supplied them.
    std::uint64_t UncompressedSize() const;
    std::uint64_t CompressedSize() const;
    std::uint64_t LocalHeaderOffset() const;
    // Sets the 32-bit field, or the marker and the Zip64 field (HasZip64).
    void SetLocalHeaderOffset(std::uint64_t offset);
    bool IsFolder() const { return (Header.ExternalAttributes & AttrFolder) != 0; }
};

class TZipDirArray {
  public:
    // A list kept without a name index (the saved copy of a transaction,
    // which is only walked by position) finds names by a linear search.
    explicit TZipDirArray(bool keepNameIndex = true) : keepNameIndex_(keepNameIndex) {}
    TZipDirArray(const TZipDirArray&) = delete;
    TZipDirArray& operator=(const TZipDirArray&) = delete;

    static constexpr int InitialGrowBy = 500;
    static constexpr int MaxGrowBy = 10000;

    int Count() const { return count_; }
    int Capacity() const { return static_cast<int>(items_.size()); }
    int GrowBy() const { return growBy_; }
    // Grows or releases storage; new slots start empty.
    void SetCount(int n);

    void GetItem(int index, TDirItem& out) const;  // bad index: native error 2
    TDirItem& ItemAt(int index);                   // bad index: native error 3
    const TDirItem& ItemAt(int index) const;
    void PutItem(int index, const TDirItem& item);  // bad index: native error 1
    // `ansiName` is the name in the ANSI code page; Name becomes its UTF-8 form.
    void SetItemName(int index, const std::string& ansiName);
    // The same with the conversions of a codec made for a whole directory.
    void SetItemName(int index, const std::string& ansiName, const EntryNameCodec& codec);
    // The same for a name already in UTF-8 (stored so, by the entry's flags).
    void SetItemUtf8Name(int index, const std::string& name, const EntryNameCodec& codec);
    void Delete(int index);  // bad index: native error 4
    void Clear();
    void Assign(const TZipDirArray& other);
    void ClearSelected();

    // Position of the entry with this name (UTF-8) without regard to letter
    // case in the ANSI code page; the last of several equal keys; -1 if none.
    int IndexOf(const std::string& name);

    // The index key of a UTF-8 name: its ANSI form, lower-cased.
    static std::string KeyOf(const std::string& name);
    static std::string KeyOf(const std::string& name, const EntryNameCodec& codec);

    const TZipHashedStringList& NameIndex() const { return nameIndex_; }

  private:
    void PutItem(int index, const TDirItem& item, const EntryNameCodec& codec);
    // PutItem and SetItemName once the key (and the UTF-8 name) are known.
    void KeepKeyInStep(int index, const std::string& key, int nativeError);
    void PutItemKeyed(int index, const TDirItem& item, const std::string& key);
    void SetItemNameKeyed(int index, const std::string& key, const std::string& name);

    std::vector<TDirItem> items_;  // Capacity slots, the first Count in use
    int count_ = 0;
    int growBy_ = InitialGrowBy;
    bool keepNameIndex_ = true;
    TZipHashedStringList nameIndex_;  // empty unless keepNameIndex_
};

}  // namespace archive
