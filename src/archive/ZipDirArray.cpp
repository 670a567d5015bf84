#include "archive/ZipDirArray.h"

#include <algorithm>
#include <utility>

#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "platform/CodePage.h"

namespace archive {

// --- TDirItem -------------------------------------------------------------------

std::uint64_t TDirItem::UncompressedSize() const {
    if (HasZip64 && Header.UncompressedSize == Zip64Marker32) {
        return Zip64Size;
    }
    return Header.UncompressedSize;
}

std::uint64_t TDirItem::CompressedSize() const {
    if (HasZip64 && Header.CompressedSize == Zip64Marker32) {
        return Zip64PackedSize;
    }
    return Header.CompressedSize;
}

std::uint64_t TDirItem::LocalHeaderOffset() const {
    if (HasZip64 && Header.LocalHeaderOffset == Zip64Marker32) {
        return Zip64Offset;
    }
    return Header.LocalHeaderOffset;
}

void TDirItem::SetLocalHeaderOffset(std::uint64_t offset) {
    if (offset >= Zip64Marker32) {
        Header.LocalHeaderOffset = Zip64Marker32;
        Zip64Offset = offset;
        HasZip64 = true;
    } else {
        Header.LocalHeaderOffset = static_cast<std::uint32_t>(offset);
    }
}

// --- TZipDirArray ---------------------------------------------------------------

std::string TZipDirArray::KeyOf(const std::string& name) {
    return platform::AnsiLowerCase(platform::Utf8ToAnsi(name));
}

std::string TZipDirArray::KeyOf(const std::string& name, const EntryNameCodec& codec) {
    return codec.AnsiLower(codec.Utf8ToAnsi(name));
}

void TZipDirArray::SetCount(int n) {
    n = std::max(n, 0);
    if (Capacity() < n) {
        // Grow by a doubling step, at most MaxGrowBy at a time.
        growBy_ = std::min(growBy_ * 2, MaxGrowBy);
        items_.resize(static_cast<std::size_t>(std::max(n, Capacity() + growBy_)));
    } else if (n == 0) {
        // Release the storage.
        std::vector<TDirItem>().swap(items_);
    }
    // Slots that leave or enter use start empty, and keys of items that are
    // gone leave the index, so it never holds more keys than items.
    for (int i = n; i < count_ && i < Capacity(); ++i) {
        items_[static_cast<std::size_t>(i)] = TDirItem{};
    }
    while (nameIndex_.Count() > n) {
        nameIndex_.Delete(nameIndex_.Count() - 1);
    }
    count_ = n;
}

void TZipDirArray::GetItem(int index, TDirItem& out) const {
    if (index < 0 || index >= count_) {
        throw EZipException(native::GetItemIndex, nullptr);
    }
    out = items_[static_cast<std::size_t>(index)];
}

TDirItem& TZipDirArray::ItemAt(int index) {
    if (index < 0 || index >= count_) {
        throw EZipException(native::ItemAtIndex, nullptr);
    }
    return items_[static_cast<std::size_t>(index)];
}

const TDirItem& TZipDirArray::ItemAt(int index) const {
    if (index < 0 || index >= count_) {
        throw EZipException(native::ItemAtIndex, nullptr);
    }
    return items_[static_cast<std::size_t>(index)];
}

void TZipDirArray::PutItem(int index, const TDirItem& item) {
    if (index < 0 || index >= count_) {
        throw EZipException(native::PutItemIndex, nullptr);
    }
    PutItemKeyed(index, item, keepNameIndex_ ? KeyOf(item.Name) : std::string());
}

void TZipDirArray::PutItem(int index, const TDirItem& item, const EntryNameCodec& codec) {
    if (index < 0 || index >= count_) {
        throw EZipException(native::PutItemIndex, nullptr);
    }
    PutItemKeyed(index, item, keepNameIndex_ ? KeyOf(item.Name, codec) : std::string());
}

// The key of an item sits at the item's own position: an item that has one
// gets it replaced, the next item to be keyed gets it appended; any other
// position means the index is out of step (`nativeError`).
void TZipDirArray::KeepKeyInStep(int index, const std::string& key, int nativeError) {
    if (!keepNameIndex_) {
        return;  // no index to keep in step
    }
    if (index < nameIndex_.Count()) {
        nameIndex_.ReplaceAt(index, key);
    } else if (index == nameIndex_.Count()) {
        nameIndex_.Add(key);
    } else {
        throw EZipException(nativeError, nullptr);
    }
}

void TZipDirArray::PutItemKeyed(int index, const TDirItem& item, const std::string& key) {
    KeepKeyInStep(index, key, native::HashPutItem);
    // The copy duplicates every extra-block buffer.
    items_[static_cast<std::size_t>(index)] = item;
}

void TZipDirArray::SetItemName(int index, const std::string& ansiName) {
    ItemAt(index);
    SetItemNameKeyed(index, platform::AnsiLowerCase(ansiName), platform::AnsiToUtf8(ansiName));
}

void TZipDirArray::SetItemName(int index, const std::string& ansiName,
                               const EntryNameCodec& codec) {
    ItemAt(index);
    SetItemNameKeyed(index, codec.AnsiLower(ansiName), codec.AnsiToUtf8(ansiName));
}

void TZipDirArray::SetItemUtf8Name(int index, const std::string& name,
                                   const EntryNameCodec& codec) {
    ItemAt(index);
    SetItemNameKeyed(index, KeyOf(name, codec), name);
}

void TZipDirArray::SetItemNameKeyed(int index, const std::string& key, const std::string& name) {
    TDirItem& item = ItemAt(index);
    KeepKeyInStep(index, key, native::HashSetItemName);
    item.Name = name;
}

void TZipDirArray::Delete(int index) {
    if (index < 0 || index >= count_) {
        throw EZipException(native::DeleteIndex, nullptr);
    }
    if (index < nameIndex_.Count()) {
        nameIndex_.Delete(index);
    }
    auto first = items_.begin() + index;
    std::move(first + 1, items_.begin() + count_, first);
    items_[static_cast<std::size_t>(count_ - 1)] = TDirItem{};
    --count_;
}

void TZipDirArray::Clear() {
    for (int i = 0; i < count_; ++i) {
        items_[static_cast<std::size_t>(i)] = TDirItem{};
    }
    count_ = 0;
    nameIndex_.Clear();
}

void TZipDirArray::Assign(const TZipDirArray& other) {
    if (&other == this) {
        return;
    }
    Clear();
    SetCount(other.Count());
    const EntryNameCodec codec(false);
    for (int i = 0; i < other.Count(); ++i) {
        PutItem(i, other.items_[static_cast<std::size_t>(i)], codec);
    }
}

void TZipDirArray::ClearSelected() {
    for (int i = 0; i < count_; ++i) {
        items_[static_cast<std::size_t>(i)].Selected = false;
    }
}

int TZipDirArray::IndexOf(const std::string& name) {
    if (!keepNameIndex_) {
        const std::string key = platform::AnsiLowerCase(platform::Utf8ToAnsi(name));
        for (int i = count_ - 1; i >= 0; --i) {
            if (KeyOf(items_[static_cast<std::size_t>(i)].Name) == key) {
                return i;
            }
        }
        return -1;
    }
    const int position = nameIndex_.IndexOf(platform::Utf8ToAnsi(name));
    return position < count_ ? position : -1;
}

}  // namespace archive
