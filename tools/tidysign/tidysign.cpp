// tidysign: signs program files so that the launcher accepts them, and tells what it thinks of a
// signed file.
//   tidysign sign --cert CERT.pem --key KEY.pem [--chain CHAIN.pem] FILE
//   tidysign verify FILE
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "launch/verify_publisher.h"
#include "platform/text.h"
#include "platform/program_file.h"
#include "platform/trust.h"
#include "tools/tidysign/shown_text.h"
#include "tools/tidysign/signing.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: tidysign sign --cert CERT.pem --key KEY.pem [--chain CHAIN.pem] FILE\n"
               "       tidysign verify FILE\n");
  return 2;
}

const char* Meaning(std::int32_t result) {
  switch (result) {
    case platform::kTrustOk:
      return "the signature verifies and the chain reaches a trusted root";
    case platform::kTrustNoSignature:
      return "no signature";
    case platform::kTrustExpired:
      return "a certificate of the chain is outside its validity period";
    case platform::kTrustUntrustedRoot:
      return "the chain ends in a root that is not trusted";
    case platform::kTrustChaining:
      return "the chain cannot be built";
    case platform::kTrustNoSignerCertificate:
      return "the signature carries no certificate of its signer";
    case platform::kTrustWrongUsage:
      return "the signer's certificate is not for code signing";
    case platform::kTrustBadCertificateSignature:
      return "a certificate of the chain has a bad signature";
    case platform::kTrustBadDigest:
      return "the file was changed after it was signed";
    default:
      return "the chain is not acceptable";
  }
}

int Sign(int argc, char** argv) {
  std::string cert, key, chain, file;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--cert" || arg == "--key" || arg == "--chain") && i + 1 < argc) {
      (arg == "--cert" ? cert : arg == "--key" ? key : chain) = argv[++i];
    } else if (arg.rfind("--", 0) != 0 && file.empty()) {
      file = arg;
    } else {
      return Usage();
    }
  }
  if (cert.empty() || key.empty() || file.empty())
    return Usage();

  std::vector<X509*> certificates;
  std::vector<X509*> chain_certificates;
  EVP_PKEY* private_key = nullptr;
  std::string error = tidysign::ReadCertificates(cert, &certificates);
  if (error.empty())
    error = tidysign::ReadPrivateKey(key, &private_key);
  if (error.empty() && !chain.empty())
    error = tidysign::ReadCertificates(chain, &chain_certificates);
  if (error.empty()) {
    tidysign::SignOptions options;
    options.signers.push_back({certificates[0], private_key});
    options.extra_certificates.assign(certificates.begin() + 1, certificates.end());
    options.extra_certificates.insert(options.extra_certificates.end(), chain_certificates.begin(),
                                      chain_certificates.end());
    error = tidysign::SignFile(file, options);
  }
  for (X509* c : certificates)
    X509_free(c);
  for (X509* c : chain_certificates)
    X509_free(c);
  EVP_PKEY_free(private_key);
  if (!error.empty()) {
    // The message names files, which may hold anything: it is shown as every name is.
    std::fprintf(stderr, "tidysign: %s\n", tidysign::ShownOnOneLine(platform::ToWide(error)).c_str());
    return 1;
  }
  return 0;
}

// Verifies `file` once, and shows what the verification found beside the decision the launcher
// makes on it. Every name is shown on one line, escaped, whatever it holds.
int Verify(const char* file) {
  const std::wstring path = platform::ToWide(file);
  // A FIFO or a device is refused without being opened, and never blocks the tool.
  const std::unique_ptr<platform::ProgramFile> program = platform::ProgramFile::Open(path.c_str());
  if (program == nullptr) {
    std::fprintf(stderr, "tidysign: cannot read %s\n", tidysign::ShownOnOneLine(path).c_str());
    return 2;
  }
  const platform::TrustVerification verification(*program);
  const std::int32_t result = verification.result();
  std::string signer = "(none)";
  if (const platform::Certificate* certificate = verification.SignerCertificate()) {
    wchar_t name[512] = {};
    const std::uint32_t count = platform::GetCertificateDisplayName(certificate, name, 512);
    signer = tidysign::ShownOnOneLine(std::wstring(name, count > 0 ? count - 1 : 0));
  }
  const bool accepted = AcceptsVerification(verification) != 0;
  std::printf("trust result: 0x%08X (%s)\nsigner: %s\ndecision: %s\n", static_cast<unsigned>(result),
              Meaning(result), signer.c_str(), accepted ? "accepted" : "refused");
  return accepted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "sign") == 0)
    return Sign(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "verify") == 0)
    return Verify(argv[2]);
  return Usage();
}
