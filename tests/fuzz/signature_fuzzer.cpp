// Fuzzes the reading of signed program files and of certificate names: each input is taken as a
// whole program file (its appended signature, the CMS inside, the signer's certificate and name)
// and as a DER certificate whose display name is extracted.
#include <openssl/x509.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/openssl/certificate_name.h"
#include "platform/openssl/signed_file.h"
#include "platform/trust.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // An empty trust store: the chain is still built and checked, without loading the system's.
  setenv("SSL_CERT_FILE", "/dev/null", 1);
  setenv("SSL_CERT_DIR", "/nonexistent", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int file = memfd_create("program", MFD_CLOEXEC);
  static const std::wstring path = L"/proc/self/fd/" + std::to_wstring(file);
  if (ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size))
    return 0;

  {
    const platform::TrustVerification verification(path.c_str());
    if (const platform::Certificate* signer = verification.SignerCertificate()) {
      wchar_t name[512];
      platform::GetCertificateDisplayName(signer, name, 512);
      platform::GetCertificateDisplayName(signer, name, 8);
    }
  }

  if (size >= platform::openssl::kTrailerSize) {
    platform::openssl::SignedLayout layout;
    if (platform::openssl::ParseTrailer(data + size - platform::openssl::kTrailerSize, size, &layout) &&
        layout.content_size + layout.signature_size + platform::openssl::kTrailerSize != size) {
      std::abort();  // the layout must account for every byte
    }
  }

  const unsigned char* cursor = data;
  if (X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(size))) {
    platform::openssl::SimpleDisplayName(certificate);
    X509_free(certificate);
  }
  return 0;
}
