// The signature of a signed MIDlet suite as a phone checks it: an RSA
// signature with SHA-1 over all bytes of the JAR (MIDlet-Jar-RSA-SHA1,
// base64) and certificate chains (MIDlet-Certificate-n-m, base64 DER, m = 1
// the signer) of which one must lead to a root the phone holds.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "midlet/DescriptorAttributes.h"

namespace midlet {

struct SignatureCheck {
    bool verified = false;
    std::string problem;  // why it did not verify
};

// The signature against the one certificate's key, nothing else.
SignatureCheck VerifyJarSignature(const std::string& jarPath, std::string_view signatureBase64,
                                  std::string_view certificateBase64);

// What the installer decides about a signed JAD's suite.
struct SuiteSignature {
    bool passed = false;      // a chain leads to a trusted root and the signature verifies
    std::string reason;       // the installer's reason when it fails (EXPIRED_PROVIDER_CERT, ...)
    std::string attribute;    // the attribute at fault
    std::string problem;      // what is wrong
    std::string fix;          // what to do
    bool bytesMatch = false;  // the signature verifies against the signer's key
    bool bytesChecked = false;
};

// `roots` are DER certificates the device trusts; `now` is the device's
// clock.
SuiteSignature CheckSuiteSignature(const std::string& jarPath, const AttributeList& jad,
                                   const std::vector<std::string>& roots, std::time_t now);

// Base64 without line breaks or blanks (both are skipped); false when the
// text is not base64.
bool DecodeBase64(std::string_view text, std::string& bytes);

// Appends the DER form of every certificate of a PEM file; false, with the
// problem, when the file cannot be read or holds none.
bool ReadPemCertificates(const std::string& path, std::vector<std::string>& der,
                         std::string& problem);

}  // namespace midlet
