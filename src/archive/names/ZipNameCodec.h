// The code-page conversions of entry names, taken for a whole directory at
// once. Asking the platform for the code pages of the user's locale costs
// more than converting a short name, and a directory may hold 100,000
// names; so the conversions are probed once with every ASCII character, and
// a name made only of ASCII characters that the probe showed to pass
// unchanged is not converted again. Any other name goes through the
// platform's conversion as before.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace archive {

// True when `text` is well-formed UTF-8.
bool IsUtf8(const std::string& text);

class EntryNameCodec {
  public:
    // Probes the current code pages; `oemFileNames` says whether stored
    // names are in the OEM code page (else ANSI).
    explicit EntryNameCodec(bool oemFileNames);

    std::string StoredToAnsi(const std::string& stored) const;
    std::string AnsiToStored(const std::string& ansi) const;
    std::string AnsiToUtf8(const std::string& ansi) const;
    std::string Utf8ToAnsi(const std::string& utf8) const;
    // Name bytes as stored -> UTF-8: taken as they are when the entry's
    // flags mark them as UTF-8 (and they are), else through the code pages.
    std::string StoredToUtf8(const std::string& stored, std::uint16_t flags) const;
    // UTF-8 name -> the bytes to store under those flags.
    std::string Utf8ToStored(const std::string& utf8, std::uint16_t flags) const;
    // The locale's ANSI lower-casing (AnsiLowerCase).
    std::string AnsiLower(const std::string& ansi) const;
    // True when `text` is plain ASCII that every conversion leaves as it is.
    bool Plain(std::string_view text) const { return asciiUnchanged_ && IsAscii(text); }

    // Eight bytes at a time: every name of a directory is asked.
    static bool IsAscii(std::string_view text) {
        std::size_t i = 0;
        for (; i + 8 <= text.size(); i += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + i, 8);
            if ((word & 0x8080808080808080ULL) != 0) {
                return false;
            }
        }
        for (; i < text.size(); ++i) {
            if (static_cast<unsigned char>(text[i]) >= 0x80) {
                return false;
            }
        }
        return true;
    }

  private:
    bool oemFileNames_;
    // Every ASCII character passes all four conversions unchanged.
    bool asciiUnchanged_ = false;
    // Every ASCII character lower-cases to one byte, given here.
    bool asciiLowerTable_ = false;
    std::array<char, 128> lower_{};
};

}  // namespace archive
