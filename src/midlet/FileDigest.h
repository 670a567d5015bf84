// The SHA-256 digest of a file's bytes, as a front end reports it and as the
// workspace records which JAR a project was made from.
#pragma once

#include <cstdint>
#include <string>

namespace midlet {

// The digest of the file's bytes in 64 lower-case hexadecimal digits, and
// how many bytes they were in `size` when asked. Raises the stream's
// exception when the file cannot be read whole.
std::string Sha256OfFile(const std::string& path, std::uint64_t* size = nullptr);

}  // namespace midlet
