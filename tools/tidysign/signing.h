// Signing program files: the signature is appended to the content, replacing one already there.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tidysign {

struct Signer {
  X509* certificate;
  EVP_PKEY* key;
};

struct SignOptions {
  std::vector<Signer> signers;            // the first one is the file's signer
  std::vector<X509*> extra_certificates;  // intermediates (and roots) carried with the signature
  bool signed_attributes = true;          // sign the attributes (content type, time, digest)
  bool signer_certificates = true;        // carry the signers' certificates in the signature
};

// Signs `file` in place. The signed file is written beside it and renamed into place, so that a
// failure leaves `file` exactly as it was. Returns an empty string on success, else what went
// wrong, in words.
std::string SignFile(const std::filesystem::path& file, const SignOptions& options);

// Reads every certificate of a PEM file (appending them to `certificates`), or one private key.
std::string ReadCertificates(const std::filesystem::path& file, std::vector<X509*>* certificates);
std::string ReadPrivateKey(const std::filesystem::path& file, EVP_PKEY** key);

}  // namespace tidysign
