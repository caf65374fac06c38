// Writes the fuzzer's seed corpus into the folder given: signed program files (self-signed, with a
// chain, without signed attributes), an unsigned one, and certificates.
//   make_fuzz_seeds FOLDER
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/launch/certificates.h"
#include "tools/tidysign/signing.h"

namespace {

using namespace testing_support;

void Write(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

bool SignAs(const std::filesystem::path& file, X509* certificate, EVP_PKEY* key, std::vector<X509*> extra,
            bool attributes) {
  Write(file,
        "\x7F"
        "ELF a small program");
  tidysign::SignOptions options;
  options.signers.push_back({certificate, key});
  options.extra_certificates = std::move(extra);
  options.signed_attributes = attributes;
  const std::string error = tidysign::SignFile(file, options);
  if (!error.empty())
    std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.c_str());
  return error.empty();
}

void WriteDer(const std::filesystem::path& file, X509* certificate) {
  unsigned char* der = nullptr;
  const int size = i2d_X509(certificate, &der);
  Write(file, std::string(reinterpret_cast<char*>(der), static_cast<std::size_t>(size)));
  OPENSSL_free(der);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  Key root_key = MakeKey(), key = MakeKey();
  CertSpec root_spec = Named("Seed Root");
  root_spec.ca = true;
  Cert root = MakeCert(root_spec, root_key.get());
  Cert leaf = MakeCert(Named("Vistrel Software Co., Ltd."), key.get(), root.get(), root_key.get());
  CertSpec alt;
  alt.subject = {{NID_countryName, "CN"}};
  alt.alt_email = "seed@example.org";
  Cert alt_leaf = MakeCert(alt, key.get());
  Cert chinese = MakeCert(Named("北京维斯特瑞软件有限公司"), key.get());

  bool ok = SignAs(folder / "self-signed", chinese.get(), key.get(), {}, true) &&
            SignAs(folder / "chain", leaf.get(), key.get(), {root.get()}, true) &&
            SignAs(folder / "no-attributes", alt_leaf.get(), key.get(), {}, false);
  Write(folder / "unsigned",
        "\x7F"
        "ELF a small program");
  WriteDer(folder / "certificate-cn.der", leaf.get());
  WriteDer(folder / "certificate-alt.der", alt_leaf.get());
  return ok ? 0 : 1;
}
