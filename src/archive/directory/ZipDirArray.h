// One central directory entry in memory (TDirItem) and the ordered entry
// list with its name index (TZipDirArray).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ZipTypes.h"
#include "archive/directory/ZipDirBytes.h"
#include "archive/directory/ZipHashList.h"
#include "archive/directory/ZipItemSlots.h"
#include "archive/directory/ZipRareString.h"
#include "archive/names/ZipNameCodec.h"
#include "archive/records/ZipRecords.h"

namespace archive {

// One extra block of a central header: id, then `Data.size()` bytes.
struct ExtraField {
    std::uint16_t Id = 0;
    std::vector<std::uint8_t> Data;
};

// The 64-bit values of an entry's Zip64 block.
struct Zip64Values {
    std::uint64_t Size = 0;        // uncompressed size
    std::uint64_t PackedSize = 0;  // compressed size
    std::uint64_t Offset = 0;      // local header offset
    std::uint32_t Disk = 0;        // disk number start
};

// What nearly every entry of a large JAR lacks: the strings that are
// rarely set, the extra blocks and the Zip64 values.
struct EntryRareParts {
    // The name bytes as read from the archive. They are written back as they
    // were while Name still reads the same, so a name that does not survive
    // the code-page round trip is not changed by rewriting the directory.
    // Empty when they are what Name converts to, which is what is written then.
    std::string StoredName;
    std::string Comment;                  // entry comment bytes (length in Header.CommentLength)
    std::vector<ExtraField> ExtraFields;  // stored order; the Zip64 block kept too
    Zip64Values Zip64;
    std::string EntryPassword;   // empty in this program
    std::string SourceFileName;  // full path of the disk file the data comes from
};

// An entry is held once per entry of the archive (twice during a
// transaction), so what nearly every entry lacks costs one pointer in all
// (EntryRareParts): it is read through the getters, which give empty values
// while the parts are absent, and set through the setters, which make them
// only for a value that is not empty. The members are ordered so that the
// small ones share padding.
struct TDirItem {
    CentralFileHeader Header;       // the 46-byte central header image
    bool HasZip64 = false;          // the Zip64 values are in force
    bool Modified = false;          // data to be rewritten from SourceFileName at the next commit
    bool Selected = false;          // matched the current mask
    std::uint8_t CompressMode = 0;  // 0..9
    TZipProcessOperation Operation = poNone;
    std::string Name;  // UTF-8; "/" separates folders, a folder ends with "/"

    const std::string& StoredName() const { return Rare.Get().StoredName; }
    const std::string& Comment() const { return Rare.Get().Comment; }
    const std::vector<ExtraField>& ExtraFields() const { return Rare.Get().ExtraFields; }
    const Zip64Values& Zip64() const { return Rare.Get().Zip64; }
    const std::string& EntryPassword() const { return Rare.Get().EntryPassword; }
    const std::string& SourceFileName() const { return Rare.Get().SourceFileName; }

    void SetStoredName(std::string value) {
        SetRare(&EntryRareParts::StoredName, std::move(value));
    }
    void SetComment(std::string value) { SetRare(&EntryRareParts::Comment, std::move(value)); }
    void SetEntryPassword(std::string value) {
        SetRare(&EntryRareParts::EntryPassword, std::move(value));
    }
    void SetSourceFileName(std::string value) {
        SetRare(&EntryRareParts::SourceFileName, std::move(value));
    }
    std::vector<ExtraField>& EditExtraFields() { return Rare.Edit().ExtraFields; }
    Zip64Values& EditZip64() { return Rare.Edit().Zip64; }

    // The true values, taken from the Zip64 fields where the 32-bit field
    // holds its all-ones marker and a Zip64 block supplied them.
    std::uint64_t UncompressedSize() const;
    std::uint64_t CompressedSize() const;
    std::uint64_t LocalHeaderOffset() const;
    // Sets the 32-bit field, or the marker and the Zip64 field (HasZip64).
    void SetLocalHeaderOffset(std::uint64_t offset);
    bool IsFolder() const { return (Header.ExternalAttributes & AttrFolder) != 0; }

  private:
    void SetRare(std::string EntryRareParts::*member, std::string value) {
        if (!value.empty() || Rare.Present()) {
            Rare.Edit().*member = std::move(value);
        }
    }

    RarePart<EntryRareParts> Rare;
};

// The name index is built at the first look-up, from the items named so
// far, and kept in step from then on; reading a directory of n entries
// therefore costs no key at all until a name is looked up. A key is the
// name in the ANSI code page, lower-cased. Most keys follow from the UTF-8
// name; a name set from code-page bytes beyond plain ASCII keeps its own
// key, made when it was set, since those bytes need not come back from the
// UTF-8 form.
class TZipDirArray {
  public:
    // A list kept without a name index (the saved copy of a transaction,
    // which is only walked by position) finds names by a linear search.
    explicit TZipDirArray(bool keepNameIndex = true) : keepNameIndex_(keepNameIndex) {}
    TZipDirArray(const TZipDirArray&) = delete;
    TZipDirArray& operator=(const TZipDirArray&) = delete;
    ~TZipDirArray();

    static constexpr int InitialGrowBy = 500;
    static constexpr int MaxGrowBy = 10000;

    int Count() const { return count_; }
    int Capacity() const { return static_cast<int>(items_.capacity()); }
    int GrowBy() const { return growBy_; }
    // Grows or releases storage; new slots start empty.
    void SetCount(int n);
    // Storage for `n` items at once, for a list filled in order by
    // AppendItem: each item is then made where it is filled, in one pass.
    void Reserve(int n);
    // A new empty item at the end; Count grows by one.
    TDirItem& AppendItem();

    void GetItem(int index, TDirItem& out) const;  // bad index: native error 2
    // The item, made first from the directory bytes when it was not yet.
    TDirItem& ItemAt(int index) {
        if (index < 0 || index >= count_) {
            ThrowItemAtIndex();
        }
        if (!items_.Holds(static_cast<std::size_t>(index))) {
            MakeItem(index);
        }
        return items_[static_cast<std::size_t>(index)];
    }
    const TDirItem& ItemAt(int index) const {
        return const_cast<TZipDirArray*>(this)->ItemAt(index);
    }
    void PutItem(int index, const TDirItem& item);  // bad index: native error 1
    // `ansiName` is the name in the ANSI code page; Name becomes its UTF-8 form.
    void SetItemName(int index, const std::string& ansiName);
    // The same with the conversions of a codec made for a whole directory.
    void SetItemName(int index, const std::string& ansiName, const EntryNameCodec& codec);
    // The same for a name already in UTF-8 (stored so, by the entry's flags).
    void SetItemUtf8Name(int index, std::string name, const EntryNameCodec& codec);
    // Names item `index` from its stored bytes: UTF-8 when the flags say so
    // and the bytes are, else through the code pages.
    void SetItemStoredName(int index, const std::string& stored, std::uint16_t flags,
                           const EntryNameCodec& codec);

    // Takes the central directory as read: Count becomes its number of
    // headers. Items whose names need a conversion are made now, the
    // others from their headers when first used.
    void AdoptDirectoryBytes(std::unique_ptr<DirectoryBytes> bytes);
    // True when item `index` exists as an item; an item not made yet has
    // its header in UnmadeSource, its stored name is its name, and it is
    // not selected.
    bool IsMade(int index) const { return items_.Holds(static_cast<std::size_t>(index)); }
    // The directory bytes the items not made yet come from; null when every
    // item is made.
    const DirectoryBytes* UnmadeSource() const { return unmade_.get(); }
    // Selected, without making an item that is not made (and so not selected).
    bool IsSelected(int index) const {
        return IsMade(index) && items_[static_cast<std::size_t>(index)].Selected;
    }
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

    // The index, built first when it was not yet.
    const TZipHashedStringList& NameIndex() const;

  private:
    [[noreturn]] static void ThrowItemAtIndex();
    void MakeItem(int index);
    // Makes every item not made yet, before a change of the list's shape or
    // a walk over all names.
    void MakeAll() const;
    void PutItem(int index, const TDirItem& item, const EntryNameCodec& codec);
    // Checks that item `index` is named in order (`nativeError` if not) and
    // records its own key, or that its key follows from its name (null).
    // `name` is the UTF-8 name the item is getting.
    void KeepKeyInStep(int index, const std::string& name, const std::string* ownKey,
                       int nativeError);
    void EnsureNameIndex() const;
    std::string KeyAt(int index) const;
    const EntryNameCodec& Codec() const;

    // The Count items in use; its capacity is Capacity. Making an item does
    // not change what the list holds, so it happens in const calls too.
    ItemSlots<TDirItem> items_;
    int count_ = 0;
    int growBy_ = InitialGrowBy;
    bool keepNameIndex_ = true;
    // Items 0..keyed_-1 have been named (or put) and so have keys.
    int keyed_ = 0;
    // Keys that do not follow from the name: none until an item gets one,
    // then one slot per item in use (empty when the key follows from the
    // name); unused without an index.
    std::vector<RareString> ownKeys_;
    mutable bool indexBuilt_ = false;
    mutable TZipHashedStringList nameIndex_;         // empty until built, or without an index
    mutable std::unique_ptr<EntryNameCodec> codec_;  // made at the first key
    // While some items are not made: the bytes they come from.
    std::unique_ptr<DirectoryBytes> unmade_;
};

}  // namespace archive
