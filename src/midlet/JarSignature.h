// The signature of a signed MIDlet suite: an RSA signature with SHA-1 over
// the JAR's bytes (MIDlet-Jar-RSA-SHA1, base64) and the signer's certificate
// (MIDlet-Certificate-1-1, base64 DER). Only the signature against the
// certificate's key is checked; whether a phone trusts the certificate's
// root cannot be known here.
#pragma once

#include <string>
#include <string_view>

namespace midlet {

struct SignatureCheck {
    bool verified = false;
    std::string problem;  // why it did not verify
};

SignatureCheck VerifyJarSignature(const std::string& jarPath, std::string_view signatureBase64,
                                  std::string_view certificateBase64);

// Base64 without line breaks or blanks (both are skipped); false when the
// text is not base64.
bool DecodeBase64(std::string_view text, std::string& bytes);

}  // namespace midlet
