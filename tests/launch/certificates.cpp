#include "tests/launch/certificates.h"

#include <openssl/ec.h>
#include <openssl/rsa.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>

namespace testing_support {
namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "making a test certificate: %s failed\n", what);
    std::abort();
  }
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  Check(extension != nullptr && X509_add_ext(certificate, extension, -1) == 1, "an extension");
  X509_EXTENSION_free(extension);
}

}  // namespace

Key MakeKey() {
  Key key(EVP_EC_gen("P-256"));
  Check(key != nullptr, "a key");
  return key;
}

Key MakeRsaKey() {
  Key key(EVP_RSA_gen(2048));
  Check(key != nullptr, "an RSA key");
  return key;
}

CertSpec Named(const std::string& common_name) {
  CertSpec spec;
  spec.subject = {{NID_commonName, common_name}};
  return spec;
}

Cert MakeCert(const CertSpec& spec, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuer_key) {
  static long serial = 1;
  Cert certificate(X509_new());
  X509* c = certificate.get();
  X509_set_version(c, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(c), serial++);
  X509_gmtime_adj(X509_getm_notBefore(c), spec.valid_from_days * 86400L);
  X509_gmtime_adj(X509_getm_notAfter(c), spec.valid_to_days * 86400L);
  X509_NAME* name = X509_get_subject_name(c);
  for (const auto& [nid, text] : spec.subject) {
    Check(X509_NAME_add_entry_by_NID(name, nid, MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>(text.data()),
                                     static_cast<int>(text.size()), -1, 0) == 1,
          "a subject attribute");
  }
  X509_set_issuer_name(c, issuer != nullptr ? X509_get_subject_name(issuer) : name);
  X509_set_pubkey(c, key);
  X509* signer = issuer != nullptr ? issuer : c;
  AddExtension(c, signer, NID_subject_key_identifier, "hash");
  AddExtension(c, signer, NID_authority_key_identifier, "keyid:always");
  if (spec.ca) {
    AddExtension(c, signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(c, signer, NID_key_usage, "critical,keyCertSign,cRLSign,digitalSignature");
  } else if (spec.usage != Usage::kNone) {
    AddExtension(c, signer, NID_ext_key_usage,
                 spec.usage == Usage::kCodeSigning ? "codeSigning" : "serverAuth");
  }
  if (!spec.alt_email.empty())
    AddExtension(c, signer, NID_subject_alt_name, ("email:" + spec.alt_email).c_str());
  Check(X509_sign(c, issuer_key != nullptr ? issuer_key : key, EVP_sha256()) > 0, "the signature");
  return certificate;
}

void WritePem(const std::filesystem::path& file, X509* certificate) {
  std::FILE* out = std::fopen(file.c_str(), "w");
  Check(out != nullptr && PEM_write_X509(out, certificate) == 1, "writing a certificate");
  std::fclose(out);
}

void WritePem(const std::filesystem::path& file, EVP_PKEY* key) {
  std::FILE* out = std::fopen(file.c_str(), "w");
  Check(out != nullptr && PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
        "writing a key");
  std::fclose(out);
}

}  // namespace testing_support
