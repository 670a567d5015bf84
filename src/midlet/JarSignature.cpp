#include "midlet/JarSignature.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <vector>

#include "midlet/SuiteFiles.h"
#include "platform/Stream.h"

namespace midlet {

namespace {

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Certificate = std::unique_ptr<X509, X509Free>;

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::string_view kSignatureKey = "MIDlet-Jar-RSA-SHA1";
constexpr const char* kUnsignedFix =
    "or remove MIDlet-Jar-RSA-SHA1 and the MIDlet-Certificate lines to install it unsigned";
// More chains or certificates than this are not read: no suite has them.
constexpr int kMaxChains = 16;
constexpr int kMaxChainLength = 16;

std::string CertificateKey(int chain, int position) {
    return "MIDlet-Certificate-" + std::to_string(chain) + "-" + std::to_string(position);
}

Certificate DecodeDer(const std::string& der) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    return Certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
}

std::string NameText(const X509_NAME* name) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) < 0) {
        return "?";
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string DateText(const ASN1_TIME* time) {
    std::tm tm{};
    if (ASN1_TIME_to_tm(time, &tm) != 1) {
        return "?";
    }
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

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
    } catch (const std::exception&) {
        problem = "the JAR cannot be read";
        return false;
    }
}

// RSA with SHA-1 over the file's bytes against the certificate's key.
SignatureCheck VerifyBytes(const std::string& jarPath, const std::string& signature, X509* signer) {
    SignatureCheck check;
    EVP_PKEY* key = X509_get0_pubkey(signer);
    if (key == nullptr || EVP_PKEY_base_id(key) != EVP_PKEY_RSA) {
        check.problem = "the signer's certificate holds no RSA key";
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
        check.problem = "the signature does not match the JAR's bytes and the signer's key";
    }
    return check;
}

// The checks of one chain, as the installer walks it from the signer up.
class ChainCheck {
  public:
    ChainCheck(const std::vector<Certificate>& chain, const std::vector<Certificate>& roots,
               std::time_t now, int number)
        : chain_(chain), roots_(roots), now_(now), number_(number) {}

    // Empty reason: the chain leads to a trusted root.
    SuiteSignature Run() {
        if (!CheckSigner()) {
            return result_;
        }
        for (std::size_t next = 1;; ++next) {
            X509* current = chain_[next - 1].get();
            const bool rootNamed = RootIssuerOf(current, verifiedBy_);
            if (verifiedBy_ != nullptr) {
                CheckRoot(verifiedBy_);
                return result_;
            }
            if (next == chain_.size()) {
                if (rootNamed) {
                    Fail("INVALID_PROVIDER_CERT", number_, next,
                         "the certificate is not signed by the trusted root it names",
                         "sign with a certificate issued by that root, " +
                             std::string(kUnsignedFix));
                } else {
                    Fail("UNKNOWN_CA", number_, next,
                         "its issuer, " + NameText(X509_get_issuer_name(current)) +
                             ", is not a trusted root of this device",
                         "sign with a certificate the phone trusts, " + std::string(kUnsignedFix));
                }
                return result_;
            }
            if (!CheckIssuer(chain_[next].get(), current, next)) {
                return result_;
            }
        }
    }

  private:
    void Fail(const char* reason, int chain, std::size_t position, std::string problem,
              std::string fix) {
        result_.reason = reason;
        result_.attribute = CertificateKey(chain, static_cast<int>(position));
        result_.problem = std::move(problem);
        result_.fix = std::move(fix);
    }

    // 0 inside its dates, -1 before them, 1 after them, 2 when unreadable.
    int DatePlace(X509* certificate) const {
        std::time_t now = now_;
        const int start = X509_cmp_time(X509_get0_notBefore(certificate), &now);
        const int end = X509_cmp_time(X509_get0_notAfter(certificate), &now);
        if (start == 0 || end == 0) {
            return 2;
        }
        return start > 0 ? -1 : end < 0 ? 1 : 0;
    }

    bool CheckDates(X509* certificate, const char* reason, std::size_t position) {
        const int place = DatePlace(certificate);
        if (place == 0) {
            return true;
        }
        const std::string from = DateText(X509_get0_notBefore(certificate));
        const std::string until = DateText(X509_get0_notAfter(certificate));
        Fail(reason, number_, position,
             place < 0   ? "the certificate is valid only from " + from
             : place > 0 ? "the certificate expired on " + until
                         : "the certificate's dates cannot be read",
             "sign again with a certificate valid now, " + std::string(kUnsignedFix));
        return false;
    }

    bool CheckSigner() {
        X509* signer = chain_[0].get();
        const std::uint32_t flags = X509_get_extension_flags(signer);
        const std::uint32_t usage = X509_get_key_usage(signer);
        const std::uint32_t extended = X509_get_extended_key_usage(signer);
        const std::string fix =
            "sign with a code-signing certificate, " + std::string(kUnsignedFix);
        if ((flags & EXFLAG_CRITICAL) != 0) {
            Fail("INVALID_PROVIDER_CERT", number_, 1,
                 "the signer's certificate has a critical extension the installer does not know",
                 fix);
            return false;
        }
        if ((flags & EXFLAG_KUSAGE) != 0 && (usage & KU_DIGITAL_SIGNATURE) == 0) {
            Fail("INVALID_PROVIDER_CERT", number_, 1,
                 "the signer's key usage does not allow digital signatures", fix);
            return false;
        }
        if ((flags & EXFLAG_XKUSAGE) != 0 && (extended & XKU_CODE_SIGN) == 0) {
            Fail("INVALID_PROVIDER_CERT", number_, 1,
                 "the signer's extended key usage does not allow code signing", fix);
            return false;
        }
        return CheckDates(signer, "EXPIRED_PROVIDER_CERT", 1);
    }

    // True when a root has the certificate's issuer as its subject;
    // `verifier` is the one whose key verifies the certificate, if any.
    bool RootIssuerOf(X509* certificate, X509*& verifier) const {
        bool named = false;
        verifier = nullptr;
        for (const Certificate& root : roots_) {
            if (X509_NAME_cmp(X509_get_subject_name(root.get()),
                              X509_get_issuer_name(certificate)) == 0) {
                named = true;
                EVP_PKEY* key = X509_get0_pubkey(root.get());
                if (key != nullptr && X509_verify(certificate, key) == 1) {
                    verifier = root.get();
                    return true;
                }
            }
        }
        return named;
    }

    void CheckRoot(X509* root) {
        if (DatePlace(root) != 0) {
            Fail("EXPIRED_CA_KEY", number_, chain_.size(),
                 "the trusted root " + NameText(X509_get_subject_name(root)) +
                     " is outside its dates on this device",
                 "sign with a certificate under a current root, " + std::string(kUnsignedFix));
        }
    }

    // The certificate at `position` (0-based) must have issued the one below.
    bool CheckIssuer(X509* issuer, X509* issued, std::size_t position) {
        const std::uint32_t flags = X509_get_extension_flags(issuer);
        const long pathLength = X509_get_pathlen(issuer);
        const std::string fix =
            "give the chain as the certificate authority issued it, " + std::string(kUnsignedFix);
        const auto fail = [&](const std::string& problem) {
            Fail("INVALID_PROVIDER_CERT", number_, position + 1, problem, fix);
            return false;
        };
        if ((flags & EXFLAG_KUSAGE) != 0 && (X509_get_key_usage(issuer) & KU_KEY_CERT_SIGN) == 0) {
            return fail("the certificate may not sign certificates");
        }
        if ((flags & EXFLAG_XKUSAGE) != 0 &&
            (X509_get_extended_key_usage(issuer) & XKU_CODE_SIGN) == 0) {
            return fail("the certificate's extended key usage does not allow code signing");
        }
        if (!CheckDates(issuer, "EXPIRED_PROVIDER_CERT", position + 1)) {
            return false;
        }
        if (X509_NAME_cmp(X509_get_subject_name(issuer), X509_get_issuer_name(issued)) != 0) {
            return fail("the certificate is not the issuer of the one before it");
        }
        if (pathLength >= 0 && static_cast<std::size_t>(pathLength) + 1 < position) {
            return fail("the chain is longer than the certificate's path length allows");
        }
        EVP_PKEY* key = X509_get0_pubkey(issuer);
        if (key == nullptr || X509_verify(issued, key) != 1) {
            return fail("the certificate's key does not verify the one before it");
        }
        return true;
    }

    const std::vector<Certificate>& chain_;
    const std::vector<Certificate>& roots_;
    std::time_t now_;
    int number_;
    X509* verifiedBy_ = nullptr;
    SuiteSignature result_;
};

// Decodes chain `number`; false, with the failure in `result`, when a
// certificate is not base64 DER.
bool DecodeChain(const AttributeList& jad, int number, std::vector<Certificate>& chain,
                 SuiteSignature& result) {
    for (int position = 1; position <= kMaxChainLength; ++position) {
        const std::string* text = jad.Find(CertificateKey(number, position));
        if (text == nullptr) {
            break;
        }
        std::string der;
        Certificate certificate;
        if (DecodeBase64(*text, der)) {
            certificate = DecodeDer(der);
        }
        if (!certificate) {
            result.reason = "CORRUPT_PROVIDER_CERT";
            result.attribute = CertificateKey(number, position);
            result.problem = "not a base64 DER certificate";
            result.fix = "copy the certificate again from the signing tool's output, " +
                         std::string(kUnsignedFix);
            return false;
        }
        chain.push_back(std::move(certificate));
    }
    return true;
}

// Whether the signature matches the JAR for the first chain's signer,
// whatever the chains' verdict.
void CheckBytes(const std::string& jarPath, const AttributeList& jad, SuiteSignature& result) {
    std::string signature;
    std::string der;
    const std::string* text = jad.Find(kSignatureKey);
    const std::string* signer = jad.Find(CertificateKey(1, 1));
    if (text == nullptr || signer == nullptr || !DecodeBase64(*text, signature) ||
        !DecodeBase64(*signer, der)) {
        return;
    }
    const Certificate certificate = DecodeDer(der);
    if (certificate) {
        result.bytesChecked = true;
        result.bytesMatch = VerifyBytes(jarPath, signature, certificate.get()).verified;
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
    const Certificate certificate = DecodeDer(der);
    if (!certificate) {
        check.problem = "the certificate cannot be decoded";
        return check;
    }
    return VerifyBytes(jarPath, signature, certificate.get());
}

SuiteSignature CheckSuiteSignature(const std::string& jarPath, const AttributeList& jad,
                                   const std::vector<std::string>& roots, std::time_t now) {
    SuiteSignature result;
    CheckBytes(jarPath, jad, result);
    std::vector<Certificate> trusted;
    for (const std::string& der : roots) {
        if (Certificate root = DecodeDer(der)) {
            trusted.push_back(std::move(root));
        }
    }
    // The first chain that passes is used; else the first failure other
    // than an unknown root decides, and an unknown root only when every
    // chain had one.
    SuiteSignature failure;
    SuiteSignature unknownRoot;
    bool chainPassed = false;
    for (int number = 1; number <= kMaxChains && jad.Find(CertificateKey(number, 1)) != nullptr;
         ++number) {
        std::vector<Certificate> chain;
        SuiteSignature outcome;
        if (DecodeChain(jad, number, chain, outcome)) {
            outcome = ChainCheck(chain, trusted, now, number).Run();
        }
        if (outcome.reason.empty()) {
            chainPassed = true;
            break;
        }
        SuiteSignature& slot = outcome.reason == "UNKNOWN_CA" ? unknownRoot : failure;
        if (slot.reason.empty()) {
            slot = outcome;
        }
    }
    if (jad.Find(CertificateKey(1, 1)) == nullptr) {
        result.reason = "MISSING_PROVIDER_CERT";
        result.attribute = CertificateKey(1, 1);
        result.problem = "signed, but the JAD has no signer's certificate";
        result.fix =
            "add the signer's certificate as MIDlet-Certificate-1-1, " + std::string(kUnsignedFix);
        return result;
    }
    if (!chainPassed) {
        const SuiteSignature& decided = failure.reason.empty() ? unknownRoot : failure;
        result.reason = decided.reason;
        result.attribute = decided.attribute;
        result.problem = decided.problem;
        result.fix = decided.fix;
        return result;
    }
    std::string signature;
    if (!DecodeBase64(*jad.Find(kSignatureKey), signature)) {
        result.reason = "CORRUPT_SIGNATURE";
        result.attribute = kSignatureKey;
        result.problem = "the signature is not base64";
        result.fix =
            "copy the signature again from the signing tool's output, " + std::string(kUnsignedFix);
        return result;
    }
    if (!result.bytesMatch) {
        result.reason = "INVALID_SIGNATURE";
        result.attribute = kSignatureKey;
        result.problem = "the signature does not match the JAR's bytes";
        result.fix = "sign the JAR again after its last change, " + std::string(kUnsignedFix);
        return result;
    }
    result.passed = true;
    return result;
}

bool ReadPemCertificates(const std::string& path, std::vector<std::string>& der,
                         std::string& problem) {
    std::string text;
    if (!ReadSmallFile(path, text)) {
        problem = path + " cannot be read";
        return false;
    }
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    std::size_t found = 0;
    while (bio) {
        Certificate certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
        if (!certificate) {
            break;
        }
        unsigned char* bytes = nullptr;
        const int length = i2d_X509(certificate.get(), &bytes);
        if (length > 0) {
            der.emplace_back(reinterpret_cast<const char*>(bytes),
                             static_cast<std::size_t>(length));
            ++found;
        }
        OPENSSL_free(bytes);
    }
    if (found == 0) {
        problem = path + " holds no PEM certificate";
        return false;
    }
    return true;
}

}  // namespace midlet
