#include "archive/directory/ZipDirArray.h"

#include <algorithm>
#include <utility>

#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "archive/directory/ZipDirBytes.h"
#include "platform/CodePage.h"

namespace archive {

// --- TDirItem -------------------------------------------------------------------

std::uint64_t TDirItem::UncompressedSize() const {
    if (HasZip64 && Header.UncompressedSize == Zip64Marker32) {
        return Zip64().Size;
    }
    return Header.UncompressedSize;
}

std::uint64_t TDirItem::CompressedSize() const {
    if (HasZip64 && Header.CompressedSize == Zip64Marker32) {
        return Zip64().PackedSize;
    }
    return Header.CompressedSize;
}

std::uint64_t TDirItem::LocalHeaderOffset() const {
    if (HasZip64 && Header.LocalHeaderOffset == Zip64Marker32) {
        return Zip64().Offset;
    }
    return Header.LocalHeaderOffset;
}

void TDirItem::SetLocalHeaderOffset(std::uint64_t offset) {
    if (offset >= Zip64Marker32) {
        Header.LocalHeaderOffset = Zip64Marker32;
        EditZip64().Offset = offset;
        HasZip64 = true;
    } else {
        Header.LocalHeaderOffset = static_cast<std::uint32_t>(offset);
    }
}

// --- TZipDirArray ---------------------------------------------------------------

TZipDirArray::~TZipDirArray() = default;

void TZipDirArray::ThrowItemAtIndex() {
    throw EZipException(native::ItemAtIndex, nullptr);
}

std::string TZipDirArray::KeyOf(const std::string& name) {
    return platform::AnsiLowerCase(platform::Utf8ToAnsi(name));
}

std::string TZipDirArray::KeyOf(const std::string& name, const EntryNameCodec& codec) {
    return codec.AnsiLower(codec.Utf8ToAnsi(name));
}

const EntryNameCodec& TZipDirArray::Codec() const {
    if (!codec_) {
        codec_ = std::make_unique<EntryNameCodec>(false);
    }
    return *codec_;
}

void TZipDirArray::AdoptDirectoryBytes(std::unique_ptr<DirectoryBytes> bytes) {
    Clear();
    const int n = bytes->Count();
    items_.AssignEmpty(static_cast<std::size_t>(n));
    count_ = n;
    // Every item is named by its header, so each has its key.
    keyed_ = n;
    if (n > 0) {
        unmade_ = std::move(bytes);
    }
    // A name that goes through the code pages is converted while the
    // directory is read, under the code pages of that moment, as when
    // every entry was made at once; plain-ASCII names wait for their use.
    if (unmade_) {
        const std::vector<int> converted = unmade_->ConvertedNames();
        for (int index : converted) {
            if (unmade_ && !IsMade(index)) {
                MakeItem(index);
            }
        }
    }
}

void TZipDirArray::MakeItem(int index) {
    // Made before it is filled: naming the item asks for it again.
    TDirItem& item = items_.Make(static_cast<std::size_t>(index));
    unmade_->Fill(*this, index, item);
    if (items_.HoldsAll()) {
        unmade_.reset();
    }
}

void TZipDirArray::MakeAll() const {
    auto* self = const_cast<TZipDirArray*>(this);
    for (int i = 0; self->unmade_ && i < count_; ++i) {
        if (!IsMade(i)) {
            self->MakeItem(i);
        }
    }
}

void TZipDirArray::SetCount(int n) {
    n = std::max(n, 0);
    // Items kept or moved are made first; a list emptied makes none.
    if (n > 0) {
        MakeAll();
    } else {
        unmade_.reset();
    }
    if (Capacity() < n) {
        // Grow by a doubling step, at most MaxGrowBy at a time.
        growBy_ = std::min(growBy_ * 2, MaxGrowBy);
        items_.reserve(static_cast<std::size_t>(std::max(n, Capacity() + growBy_)));
    } else if (n == 0) {
        // Release the storage.
        items_.Release();
    }
    // Items that leave use are gone, items that enter it start empty, and
    // keys of items that are gone leave the index, so it never holds more
    // keys than items.
    items_.resize(static_cast<std::size_t>(n));
    if (!ownKeys_.empty()) {
        ownKeys_.resize(static_cast<std::size_t>(std::min(n, count_)));
        ownKeys_.resize(static_cast<std::size_t>(n));
    }
    keyed_ = std::min(keyed_, n);
    while (nameIndex_.Count() > n) {
        nameIndex_.Delete(nameIndex_.Count() - 1);
    }
    count_ = n;
}

void TZipDirArray::Reserve(int n) {
    MakeAll();
    if (Capacity() < n) {
        items_.reserve(static_cast<std::size_t>(n));
    }
}

TDirItem& TZipDirArray::AppendItem() {
    MakeAll();
    if (Capacity() <= count_) {
        SetCount(count_ + 1);  // grows by the steps of SetCount
        return items_.back();
    }
    items_.emplace_back();
    if (!ownKeys_.empty()) {
        ownKeys_.emplace_back();
    }
    ++count_;
    return items_.back();
}

void TZipDirArray::GetItem(int index, TDirItem& out) const {
    if (index < 0 || index >= count_) {
        throw EZipException(native::GetItemIndex, nullptr);
    }
    out = ItemAt(index);
}

void TZipDirArray::PutItem(int index, const TDirItem& item) {
    PutItem(index, item, Codec());
}

void TZipDirArray::PutItem(int index, const TDirItem& item, const EntryNameCodec&) {
    if (index < 0 || index >= count_) {
        throw EZipException(native::PutItemIndex, nullptr);
    }
    ItemAt(index);  // made, so that it is not made again over the new one
    KeepKeyInStep(index, item.Name, nullptr, native::HashPutItem);
    // The copy duplicates every extra-block buffer.
    items_[static_cast<std::size_t>(index)] = item;
}

// An item that has a key gets it replaced, the next item to be keyed gets
// one; any other position means the keys are out of step (`nativeError`).
void TZipDirArray::KeepKeyInStep(int index, const std::string& name, const std::string* ownKey,
                                 int nativeError) {
    if (!keepNameIndex_) {
        return;  // no index to keep in step
    }
    if (index > keyed_) {
        throw EZipException(nativeError, nullptr);
    }
    if (ownKey != nullptr) {
        ownKeys_.resize(static_cast<std::size_t>(count_));
        ownKeys_[static_cast<std::size_t>(index)] = *ownKey;
    } else if (!ownKeys_.empty()) {
        ownKeys_[static_cast<std::size_t>(index)].clear();
    }
    if (indexBuilt_) {
        const std::string key = ownKey != nullptr ? *ownKey : KeyOf(name, Codec());
        if (index < keyed_) {
            nameIndex_.ReplaceAt(index, key);
        } else {
            nameIndex_.Add(key);
        }
    }
    if (index == keyed_) {
        ++keyed_;
    }
}

void TZipDirArray::SetItemName(int index, const std::string& ansiName) {
    SetItemName(index, ansiName, Codec());
}

void TZipDirArray::SetItemName(int index, const std::string& ansiName,
                               const EntryNameCodec& codec) {
    TDirItem& item = ItemAt(index);
    std::string name = codec.AnsiToUtf8(ansiName);
    if (codec.Plain(ansiName)) {
        KeepKeyInStep(index, name, nullptr, native::HashSetItemName);
    } else {
        const std::string key = codec.AnsiLower(ansiName);
        KeepKeyInStep(index, name, &key, native::HashSetItemName);
    }
    item.Name = std::move(name);
}

void TZipDirArray::SetItemStoredName(int index, const std::string& stored, std::uint16_t flags,
                                     const EntryNameCodec& codec) {
    if ((flags & FlagUtf8Name) != 0 && IsUtf8(stored)) {
        SetItemUtf8Name(index, stored, codec);
    } else {
        SetItemName(index, codec.StoredToAnsi(stored), codec);
    }
}

void TZipDirArray::SetItemUtf8Name(int index, std::string name, const EntryNameCodec&) {
    TDirItem& item = ItemAt(index);
    KeepKeyInStep(index, name, nullptr, native::HashSetItemName);
    item.Name = std::move(name);
}

void TZipDirArray::Delete(int index) {
    if (index < 0 || index >= count_) {
        throw EZipException(native::DeleteIndex, nullptr);
    }
    MakeAll();
    if (index < nameIndex_.Count()) {
        nameIndex_.Delete(index);
    }
    if (index < keyed_) {
        --keyed_;
    }
    if (!ownKeys_.empty()) {
        ownKeys_.erase(ownKeys_.begin() + index);
    }
    items_.erase(static_cast<std::size_t>(index));
    --count_;
}

void TZipDirArray::Clear() {
    items_.clear();  // the storage is kept
    count_ = 0;
    keyed_ = 0;
    ownKeys_.clear();
    nameIndex_.Clear();
    indexBuilt_ = false;
    unmade_.reset();
}

void TZipDirArray::Assign(const TZipDirArray& other) {
    if (&other == this) {
        return;
    }
    other.MakeAll();
    Clear();
    SetCount(other.Count());
    for (int i = 0; i < other.Count(); ++i) {
        PutItem(i, other.items_[static_cast<std::size_t>(i)], Codec());
    }
}

void TZipDirArray::ClearSelected() {
    // Items not made are not selected.
    for (int i = 0; i < count_; ++i) {
        if (IsMade(i)) {
            items_[static_cast<std::size_t>(i)].Selected = false;
        }
    }
}

std::string TZipDirArray::KeyAt(int index) const {
    const auto at = static_cast<std::size_t>(index);
    if (ownKeys_.empty() || ownKeys_[at].empty()) {
        return KeyOf(items_[at].Name, Codec());
    }
    return ownKeys_[at].str();
}

// The keys of the items named so far, in item order.
void TZipDirArray::EnsureNameIndex() const {
    if (indexBuilt_ || !keepNameIndex_) {
        return;
    }
    MakeAll();
    nameIndex_.Clear();
    for (int i = 0; i < keyed_; ++i) {
        nameIndex_.Add(KeyAt(i));
    }
    indexBuilt_ = true;
}

const TZipHashedStringList& TZipDirArray::NameIndex() const {
    EnsureNameIndex();
    return nameIndex_;
}

int TZipDirArray::IndexOf(const std::string& name) {
    if (!keepNameIndex_) {
        MakeAll();
        const std::string key = platform::AnsiLowerCase(platform::Utf8ToAnsi(name));
        for (int i = count_ - 1; i >= 0; --i) {
            if (KeyOf(items_[static_cast<std::size_t>(i)].Name) == key) {
                return i;
            }
        }
        return -1;
    }
    EnsureNameIndex();
    const int position = nameIndex_.IndexOf(platform::Utf8ToAnsi(name));
    return position < count_ ? position : -1;
}

}  // namespace archive
