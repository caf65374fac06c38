// Certificates and keys made at test time, for signed fixtures.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertificateFree>;

enum class Usage { kCodeSigning, kServerAuth, kNone };

struct CertSpec {
  // Subject attributes in order, as (NID, UTF-8 text); the text may hold a NUL.
  std::vector<std::pair<int, std::string>> subject;
  std::string alt_email;  // an e-mail address among the alternative names, when not empty
  long valid_from_days = -1;
  long valid_to_days = 365;
  Usage usage = Usage::kCodeSigning;
  bool ca = false;
};

Key MakeKey();
// An RSA key, for verifiers that know no elliptic curves.
Key MakeRsaKey();
// Self-signed when `issuer` is null.
Cert MakeCert(const CertSpec& spec, EVP_PKEY* key, X509* issuer = nullptr, EVP_PKEY* issuer_key = nullptr);
CertSpec Named(const std::string& common_name);

void WritePem(const std::filesystem::path& file, X509* certificate);
void WritePem(const std::filesystem::path& file, EVP_PKEY* key);

}  // namespace testing_support
