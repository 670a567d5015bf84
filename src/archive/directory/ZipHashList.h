// The entry name index: a list of strings in item order with a hash table
// from key to position, so that an entry's key is found without a linear
// search. Keys are the strings lower-cased in the ANSI code page. The table
// is rebuilt lazily: a Delete only marks it stale, the next look-up rebuilds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

struct THashItem {
    THashItem* Next = nullptr;
    std::string Key;
    std::int32_t Value = 0;
};

class TZipStringHash {
  public:
    explicit TZipStringHash(std::uint32_t bucketCount);
    virtual ~TZipStringHash();
    TZipStringHash(const TZipStringHash&) = delete;
    TZipStringHash& operator=(const TZipStringHash&) = delete;

    // h = 0; for each byte b: h = rotl(h, 2) xor b.
    virtual std::uint32_t HashOf(std::string_view key) const;
    // New node at the head of the key's bucket.
    void AddKey(std::string_view key, std::int32_t value);
    // Unlinks the first node of the key's bucket with an equal key.
    void RemoveKey(std::string_view key);
    // Unlinks the node holding exactly this key and value.
    void RemoveKeyValue(std::string_view key, std::int32_t value);
    // Value of the first node with an equal key, or -1.
    std::int32_t ValueOf(std::string_view key) const;
    void ClearKeys();

    std::uint32_t BucketCount() const { return static_cast<std::uint32_t>(Buckets.size()); }

  protected:
    std::uint32_t BucketOf(std::string_view key) const;
    std::vector<THashItem*> Buckets;
};

class TZipHashedStringList {
  public:
    TZipHashedStringList();
    ~TZipHashedStringList();
    TZipHashedStringList(const TZipHashedStringList&) = delete;
    TZipHashedStringList& operator=(const TZipHashedStringList&) = delete;

    // Buckets of a table made from an empty or small list.
    static constexpr std::uint32_t MinBuckets = 1000;
    // The table is dropped once the list holds more than this many strings
    // per bucket; the next look-up makes a larger one.
    static constexpr std::uint32_t MaxLoad = 5;

    int Count() const { return static_cast<int>(strings_.size()); }
    const std::string& operator[](int index) const { return strings_[index]; }

    int Add(const std::string& s);
    void ReplaceAt(int index, const std::string& s);
    void Delete(int index);
    void Clear();
    int IndexOf(const std::string& s);
    // Position of the first string whose part before "=" equals `name` in key
    // form, or -1 (the engine never uses it).
    int IndexOfName(const std::string& name);

    bool CaseSensitive = false;

    // For tests and diagnostics: the current table, or null when none.
    const TZipStringHash* ValueHash() const { return valueHash_.get(); }
    bool ValueHashValid() const { return valueHashValid_; }

  private:
    std::string KeyOf(std::string_view s) const;
    void EnsureValueHash();
    void EnsureNameHash();

    std::vector<std::string> strings_;
    std::unique_ptr<TZipStringHash> valueHash_;
    bool valueHashValid_ = true;
    std::unique_ptr<TZipStringHash> nameHash_;
    bool nameHashValid_ = false;
};

}  // namespace archive
