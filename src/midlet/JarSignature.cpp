#include "midlet/JarSignature.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <vector>

#include "platform/Stream.h"

namespace midlet {

namespace {

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

constexpr std::size_t kReadChunk = 64 * 1024;

// Feeds the whole file to the verification; false when it cannot be read.
bool DigestFile(const std::string& path, EVP_MD_CTX* context, std::string& problem) {
    try {
        platform::TFileStream file(path, platform::fmOpenRead | platform::fmShareDenyNone);
        std::vector<unsigned char> buffer(kReadChunk);
        for (std::size_t n; (n = file.Read(buffer.data(), buffer.size())) > 0;) {
            if (EVP_DigestVerifyUpdate(context, buffer.data(), n) != 1) {
                problem = "the JAR cannot be digested";
                return false;
            }
        }
        return true;
    } catch (const std::exception& e) {
        problem = std::string("the JAR cannot be read: ") + e.what();
        return false;
    }
}

}  // namespace

bool DecodeBase64(std::string_view text, std::string& bytes) {
    std::string clean;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            clean += c;
        }
    }
    if (clean.empty() || clean.size() % 4 != 0) {
        return false;
    }
    std::vector<unsigned char> out(clean.size() / 4 * 3);
    const int length =
        EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(clean.data()),
                        static_cast<int>(clean.size()));
    if (length < 0) {
        return false;
    }
    // The block decoder counts the padding as zero bytes.
    std::size_t padding = 0;
    for (std::size_t i = clean.size(); i-- > clean.size() - 2 && clean[i] == '=';) {
        ++padding;
    }
    bytes.assign(reinterpret_cast<const char*>(out.data()),
                 static_cast<std::size_t>(length) - padding);
    return true;
}

SignatureCheck VerifyJarSignature(const std::string& jarPath, std::string_view signatureBase64,
                                  std::string_view certificateBase64) {
    SignatureCheck check;
    std::string signature;
    std::string der;
    if (!DecodeBase64(signatureBase64, signature)) {
        check.problem = "the signature is not base64";
        return check;
    }
    if (!DecodeBase64(certificateBase64, der)) {
        check.problem = "the certificate is not base64";
        return check;
    }
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    std::unique_ptr<X509, X509Free> certificate(
        d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    if (!certificate) {
        check.problem = "the certificate cannot be decoded";
        return check;
    }
    EVP_PKEY* key = X509_get0_pubkey(certificate.get());
    if (key == nullptr || EVP_PKEY_base_id(key) != EVP_PKEY_RSA) {
        check.problem = "the certificate holds no RSA key";
        return check;
    }
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha1(), nullptr, key) != 1) {
        check.problem = "RSA with SHA-1 is not available";
        return check;
    }
    if (!DigestFile(jarPath, context.get(), check.problem)) {
        return check;
    }
    check.verified = EVP_DigestVerifyFinal(context.get(),
                                           reinterpret_cast<const unsigned char*>(signature.data()),
                                           signature.size()) == 1;
    if (!check.verified) {
        check.problem = "the signature does not match the JAR's bytes and the certificate's key";
    }
    return check;
}

}  // namespace midlet
