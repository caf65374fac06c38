#include "tools/tidysign/signing.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/openssl/signed_file.h"
#include "platform/program_file.h"
#include "platform/text.h"

namespace tidysign {
namespace {

std::string OpenSslError(const std::string& what) {
  const unsigned long error = ERR_get_error();
  ERR_clear_error();
  if (error == 0)
    return what;
  char text[256];
  ERR_error_string_n(error, text, sizeof text);
  return what + " (" + text + ")";
}

// The signature over the first `content_size` bytes of `fd`, DER-encoded.
std::string MakeSignature(int fd, std::uint64_t content_size, const SignOptions& options,
                          std::vector<unsigned char>* der) {
  const unsigned int flags = CMS_DETACHED | CMS_BINARY | CMS_PARTIAL | CMS_NOSMIMECAP |
                             (options.signed_attributes ? 0 : CMS_NOATTR) |
                             (options.signer_certificates ? 0 : CMS_NOCERTS);
  STACK_OF(X509)* extra = sk_X509_new_null();
  for (X509* certificate : options.extra_certificates)
    sk_X509_push(extra, certificate);
  std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)> cms(
      CMS_sign(nullptr, nullptr, extra, nullptr, flags), CMS_ContentInfo_free);
  sk_X509_free(extra);
  if (cms == nullptr)
    return OpenSslError("cannot start a signature");
  for (const Signer& signer : options.signers) {
    if (X509_check_private_key(signer.certificate, signer.key) != 1) {
      ERR_clear_error();
      return "the key does not match the certificate";
    }
    if (CMS_add1_signer(cms.get(), signer.certificate, signer.key, EVP_sha256(), flags) == nullptr) {
      return OpenSslError("cannot add the signer");
    }
  }
  std::unique_ptr<BIO, decltype(&BIO_free_all)> content(platform::openssl::NewContentBio(fd, content_size),
                                                        BIO_free_all);
  if (content == nullptr || CMS_final(cms.get(), content.get(), nullptr, flags) != 1) {
    return OpenSslError("cannot sign the content");
  }
  const int size = i2d_CMS_ContentInfo(cms.get(), nullptr);
  if (size <= 0 || static_cast<std::uint32_t>(size) > platform::openssl::kMaxSignatureSize) {
    return OpenSslError("cannot encode the signature");
  }
  der->resize(static_cast<std::size_t>(size));
  unsigned char* out = der->data();
  i2d_CMS_ContentInfo(cms.get(), &out);
  return {};
}

}  // namespace

std::string SignFile(const std::filesystem::path& named, const SignOptions& options) {
  if (options.signers.empty())
    return "no signer";
  // A link is followed: the file it names is signed in place, and the link stays a link.
  std::error_code unresolved;
  const std::filesystem::path resolved = std::filesystem::canonical(named, unresolved);
  const std::filesystem::path& file = unresolved ? named : resolved;
  // Only a plain file is opened: a FIFO would block, and a device may act on being opened.
  const auto input = platform::ProgramFile::Open(platform::ToWide(file.string()).c_str());
  if (input == nullptr)
    return "cannot read " + named.string() + ": no plain file that can be read";
  const int fd = platform::openssl::DescriptorOf(*input);
  // A signature already there is replaced: only the content is signed again.
  platform::openssl::SignedLayout layout;
  std::uint64_t content_size = 0;
  if (platform::openssl::ReadSignedLayout(fd, &layout)) {
    content_size = layout.content_size;
  } else {
    std::error_code unsized;
    content_size = std::filesystem::file_size(file, unsized);
    if (unsized)
      return "cannot read " + named.string();
  }
  std::vector<unsigned char> signature;
  if (std::string error = MakeSignature(fd, content_size, options, &signature); !error.empty())
    return error;
  return platform::openssl::ReplaceWithSigned(*input, file.string(), content_size, signature);
}

std::string ReadCertificates(const std::filesystem::path& file, std::vector<X509*>* certificates) {
  std::unique_ptr<BIO, decltype(&BIO_free_all)> in(BIO_new_file(file.c_str(), "r"), BIO_free_all);
  if (in == nullptr)
    return "cannot read " + file.string();
  std::size_t found = 0;
  while (X509* certificate = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr)) {
    certificates->push_back(certificate);
    ++found;
  }
  ERR_clear_error();
  return found > 0 ? std::string() : "no certificate in " + file.string();
}

std::string ReadPrivateKey(const std::filesystem::path& file, EVP_PKEY** key) {
  std::unique_ptr<BIO, decltype(&BIO_free_all)> in(BIO_new_file(file.c_str(), "r"), BIO_free_all);
  if (in == nullptr)
    return "cannot read " + file.string();
  *key = PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr);
  ERR_clear_error();
  return *key != nullptr ? std::string() : "no private key in " + file.string();
}

}  // namespace tidysign
