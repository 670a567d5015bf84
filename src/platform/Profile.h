// Profile strings: the INI settings file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// Reads one key: section and key compare without regard to case (ASCII
// letters by ASCII rules in every locale: they are not the user's text); spaces
// around names and values are ignored; a value in matching single or double
// quotes loses them; at most size - 1 characters are returned; a missing
// file, section or key gives `defaultValue`; a present key with an empty
// value gives "".
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::size_t size,
                                    const std::string& fileName);

// One key to write: a section, a key and its value.
struct ProfileString {
    std::string section;
    std::string key;
    std::string value;
};

// Writes one key: creates the file when missing, replaces a key's value where
// it stands, adds a missing key after the last non-empty line of its section,
// adds a missing section at the end (no empty line before it); CR LF line
// ends; other lines stay byte for byte. Written to a temporary file in the
// same folder and renamed over the old one; a symbolic link is followed, so
// the rename replaces its target and the link stays. False (last error set)
// when the file cannot be written, and ERROR_INVALID_PARAMETER with nothing
// written when the section, key or value holds a CR or LF.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName);

// Writes several keys in one replace of the file: it ends byte for byte as
// the writes one after the other would leave it, and a reader finds either
// the old file or that one. Nothing is written when any write is refused.
bool WritePrivateProfileStrings(const std::vector<ProfileString>& writes,
                                const std::string& fileName);

}  // namespace platform
