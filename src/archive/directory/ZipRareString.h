// Members that are empty in nearly every entry of a large directory, so
// that they cost one pointer each while empty.
//
// A string member that is empty in nearly every entry (a comment, a source
// path, a password). It costs one pointer while empty instead of a whole
// std::string, which matters with a hundred thousand entries held twice.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace archive {

class RareString {
  public:
    RareString() = default;
    explicit RareString(const std::string& s) { assign(s); }
    RareString(const RareString& other) { assign(other.str()); }
    RareString(RareString&&) noexcept = default;
    RareString& operator=(const RareString& other) {
        if (&other != this) {
            assign(other.str());
        }
        return *this;
    }
    RareString& operator=(RareString&&) noexcept = default;
    RareString& operator=(const std::string& s) {
        assign(s);
        return *this;
    }

    const std::string& str() const { return text_ ? *text_ : Empty(); }
    operator const std::string&() const { return str(); }  // NOLINT: used like a std::string

    bool empty() const { return !text_; }
    std::size_t size() const { return text_ ? text_->size() : 0; }
    std::string substr(std::size_t pos, std::size_t count = std::string::npos) const {
        return str().substr(pos, count);
    }
    void clear() { text_.reset(); }
    void assign(const std::string& s) {
        if (s.empty()) {
            text_.reset();
        } else {
            text_ = std::make_unique<std::string>(s);
        }
    }
    template <class It>
    void assign(It first, It last) {
        assign(std::string(first, last));
    }

    friend bool operator==(const RareString& a, const std::string& b) { return a.str() == b; }

  private:
    static const std::string& Empty() {
        static const std::string empty;
        return empty;
    }
    std::unique_ptr<std::string> text_;  // null while empty
};

// A value that nearly every entry lacks (its extra blocks, its Zip64
// values): one pointer while absent, and a copy of its own when copied.
// Reading an absent value gives the value as made; editing makes it.
template <class T>
class RarePart {
  public:
    RarePart() = default;
    RarePart(const RarePart& other) { CopyFrom(other); }
    RarePart(RarePart&&) noexcept = default;
    RarePart& operator=(const RarePart& other) {
        if (&other != this) {
            CopyFrom(other);
        }
        return *this;
    }
    RarePart& operator=(RarePart&&) noexcept = default;

    bool Present() const { return value_ != nullptr; }
    const T& Get() const { return value_ ? *value_ : Absent(); }
    T& Edit() {
        if (!value_) {
            value_ = std::make_unique<T>();
        }
        return *value_;
    }
    void Reset() { value_.reset(); }

  private:
    void CopyFrom(const RarePart& other) {
        value_ = other.value_ ? std::make_unique<T>(*other.value_) : nullptr;
    }
    static const T& Absent() {
        static const T absent{};
        return absent;
    }
    std::unique_ptr<T> value_;  // null while absent
};

}  // namespace archive
