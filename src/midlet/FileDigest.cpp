#include "midlet/FileDigest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Errors.h"
#include "platform/Stream.h"

namespace midlet {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

void CheckDigest(int result) {
    if (result != 1) {
        throw platform::Exception("The SHA-256 digest could not be computed");
    }
}

std::string Hex(const unsigned char* bytes, unsigned size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace

std::string Sha256OfFile(const std::string& path, std::uint64_t* size) {
    const std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    CheckDigest(context ? EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) : 0);
    platform::TFileStream file(path, platform::fmOpenRead | platform::fmShareDenyNone);
    std::vector<unsigned char> buffer(kReadChunk);
    const std::int64_t length = file.Size();
    if (size != nullptr) {
        *size = static_cast<std::uint64_t>(length);
    }
    for (std::int64_t left = length; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size())));
        file.ReadBuffer(buffer.data(), n);
        CheckDigest(EVP_DigestUpdate(context.get(), buffer.data(), n));
        left -= static_cast<std::int64_t>(n);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned digestSize = 0;
    CheckDigest(EVP_DigestFinal_ex(context.get(), digest, &digestSize));
    return Hex(digest, digestSize);
}

}  // namespace midlet
