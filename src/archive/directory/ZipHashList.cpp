#include "archive/directory/ZipHashList.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace archive {

// --- TZipStringHash -----------------------------------------------------------

TZipStringHash::TZipStringHash(std::uint32_t bucketCount)
    : Buckets(std::max<std::uint32_t>(bucketCount, 1), nullptr) {}

TZipStringHash::~TZipStringHash() {
    ClearKeys();
}

std::uint32_t TZipStringHash::HashOf(std::string_view key) const {
    std::uint32_t h = 0;
    for (unsigned char b : key) {
        h = ((h << 2) | (h >> 30)) ^ b;
    }
    return h;
}

std::uint32_t TZipStringHash::BucketOf(std::string_view key) const {
    return HashOf(key) % BucketCount();
}

void TZipStringHash::AddKey(std::string_view key, std::int32_t value) {
    THashItem*& head = Buckets[BucketOf(key)];
    head = new THashItem{head, std::string(key), value};
}

void TZipStringHash::RemoveKey(std::string_view key) {
    for (THashItem** link = &Buckets[BucketOf(key)]; *link != nullptr; link = &(*link)->Next) {
        if ((*link)->Key == key) {
            THashItem* node = *link;
            *link = node->Next;
            delete node;
            return;
        }
    }
}

void TZipStringHash::RemoveKeyValue(std::string_view key, std::int32_t value) {
    for (THashItem** link = &Buckets[BucketOf(key)]; *link != nullptr; link = &(*link)->Next) {
        if ((*link)->Key == key && (*link)->Value == value) {
            THashItem* node = *link;
            *link = node->Next;
            delete node;
            return;
        }
    }
}

std::int32_t TZipStringHash::ValueOf(std::string_view key) const {
    for (const THashItem* node = Buckets[BucketOf(key)]; node != nullptr; node = node->Next) {
        if (node->Key == key) {
            return node->Value;
        }
    }
    return -1;
}

void TZipStringHash::ClearKeys() {
    for (THashItem*& head : Buckets) {
        while (head != nullptr) {
            THashItem* node = head;
            head = node->Next;
            delete node;
        }
    }
}

// --- TZipHashedStringList -----------------------------------------------------

TZipHashedStringList::TZipHashedStringList() = default;
TZipHashedStringList::~TZipHashedStringList() = default;

std::string TZipHashedStringList::KeyOf(std::string_view s) const {
    return CaseSensitive ? std::string(s) : platform::AnsiLowerCase(s);
}

int TZipHashedStringList::Add(const std::string& s) {
    const int position = Count();
    strings_.push_back(s);
    nameHashValid_ = false;
    if (valueHash_ && valueHashValid_) {
        valueHash_->AddKey(KeyOf(s), position);
    }
    if (valueHash_ && strings_.size() > std::size_t{MaxLoad} * valueHash_->BucketCount()) {
        valueHash_.reset();
    }
    return position;
}

void TZipHashedStringList::ReplaceAt(int index, const std::string& s) {
    // The node removed is the one of this position: with equal keys at other
    // positions, the first node of the bucket may belong to another string.
    if (valueHash_ && valueHashValid_) {
        valueHash_->RemoveKeyValue(KeyOf(strings_[index]), index);
        valueHash_->AddKey(KeyOf(s), index);
    }
    strings_[index] = s;
    nameHashValid_ = false;
}

void TZipHashedStringList::Delete(int index) {
    strings_.erase(strings_.begin() + index);
    valueHashValid_ = false;
    nameHashValid_ = false;
}

void TZipHashedStringList::Clear() {
    strings_.clear();
    if (valueHash_) {
        valueHash_->ClearKeys();
    }
    nameHashValid_ = false;
}

void TZipHashedStringList::EnsureValueHash() {
    // No table: make one sized for the list, then fill it.
    if (!valueHash_) {
        valueHash_ = std::make_unique<TZipStringHash>(
            std::max<std::uint32_t>(static_cast<std::uint32_t>(strings_.size()), MinBuckets));
        valueHashValid_ = false;
    }
    // A valid table needs nothing more.
    if (valueHashValid_) {
        return;
    }
    // Rebuild in increasing position order.
    valueHash_->ClearKeys();
    for (int p = 0; p < Count(); ++p) {
        valueHash_->AddKey(KeyOf(strings_[p]), p);
    }
    valueHashValid_ = true;
}

int TZipHashedStringList::IndexOf(const std::string& s) {
    EnsureValueHash();
    return valueHash_->ValueOf(KeyOf(s));
}

void TZipHashedStringList::EnsureNameHash() {
    static constexpr std::uint32_t kNameBuckets = 256;
    if (!nameHash_) {
        nameHash_ = std::make_unique<TZipStringHash>(kNameBuckets);
        nameHashValid_ = false;
    }
    if (nameHashValid_) {
        return;
    }
    nameHash_->ClearKeys();
    for (int p = 0; p < Count(); ++p) {
        const auto eq = strings_[p].find('=');
        if (eq != std::string::npos) {
            nameHash_->AddKey(KeyOf(std::string_view(strings_[p]).substr(0, eq)), p);
        }
    }
    nameHashValid_ = true;
}

int TZipHashedStringList::IndexOfName(const std::string& name) {
    EnsureNameHash();
    return nameHash_->ValueOf(KeyOf(name));
}

}  // namespace archive
