#include "archive/names/ZipNameCodec.h"

#include "archive/records/ZipRecords.h"
#include "platform/CodePage.h"

namespace archive {

bool IsUtf8(const std::string& text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t from = pos;
        const char32_t cp = platform::DecodeUtf8(text, pos);
        if (platform::EncodeUtf8(cp) != std::string_view(text).substr(from, pos - from)) {
            return false;
        }
    }
    return true;
}

EntryNameCodec::EntryNameCodec(bool oemFileNames) : oemFileNames_(oemFileNames) {
    std::string probe(128, '\0');
    for (std::size_t c = 0; c < probe.size(); ++c) {
        probe[c] = static_cast<char>(c);
    }
    asciiUnchanged_ = platform::OemToChar(probe) == probe && platform::CharToOem(probe) == probe &&
                      platform::AnsiToUtf8(probe) == probe && platform::Utf8ToAnsi(probe) == probe;
    // Lower-casing takes one character at a time, so the probe's result
    // gives each ASCII character's lower case when it is one byte each.
    const std::string lower = platform::AnsiLowerCase(probe);
    asciiLowerTable_ = lower.size() == probe.size();
    if (asciiLowerTable_) {
        for (std::size_t c = 0; c < probe.size(); ++c) {
            lower_[c] = lower[c];
        }
    }
}

std::string EntryNameCodec::StoredToAnsi(const std::string& stored) const {
    if (!oemFileNames_ || Plain(stored)) {
        return stored;
    }
    return platform::OemToChar(stored);
}

std::string EntryNameCodec::AnsiToStored(const std::string& ansi) const {
    if (!oemFileNames_ || Plain(ansi)) {
        return ansi;
    }
    return platform::CharToOem(ansi);
}

std::string EntryNameCodec::AnsiToUtf8(const std::string& ansi) const {
    return Plain(ansi) ? ansi : platform::AnsiToUtf8(ansi);
}

std::string EntryNameCodec::Utf8ToAnsi(const std::string& utf8) const {
    return Plain(utf8) ? utf8 : platform::Utf8ToAnsi(utf8);
}

std::string EntryNameCodec::StoredToUtf8(const std::string& stored, std::uint16_t flags) const {
    if ((flags & FlagUtf8Name) != 0 && IsUtf8(stored)) {
        return stored;
    }
    return AnsiToUtf8(StoredToAnsi(stored));
}

std::string EntryNameCodec::Utf8ToStored(const std::string& utf8, std::uint16_t flags) const {
    if ((flags & FlagUtf8Name) != 0) {
        return utf8;
    }
    return AnsiToStored(Utf8ToAnsi(utf8));
}

std::string EntryNameCodec::AnsiLower(const std::string& ansi) const {
    if (!asciiLowerTable_ || !IsAscii(ansi)) {
        return platform::AnsiLowerCase(ansi);
    }
    std::string lower(ansi.size(), '\0');
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        lower[i] = lower_[static_cast<unsigned char>(ansi[i])];
    }
    return lower;
}

}  // namespace archive
