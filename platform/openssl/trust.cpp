// Trust verification of program files that carry their signature appended (signed_file.h), with
// OpenSSL: the signature and the content digest, then the signer's chain against the system's
// trust store (OpenSSL's default paths), answered in the trust service's codes.
#include "platform/trust.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cwchar>
#include <set>
#include <vector>

#include "platform/openssl/certificate_name.h"
#include "platform/posix/program_file.h"
#include "platform/openssl/signed_file.h"

namespace platform {

struct TrustVerification::State {
  std::int32_t result = kTrustNoSignature;
  X509* signer = nullptr;

  ~State() { X509_free(signer); }
};

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const { Free(p); }
};
using CmsPtr = std::unique_ptr<CMS_ContentInfo, Freer<CMS_ContentInfo, CMS_ContentInfo_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using StorePtr = std::unique_ptr<X509_STORE, Freer<X509_STORE, X509_STORE_free>>;
using StoreContextPtr = std::unique_ptr<X509_STORE_CTX, Freer<X509_STORE_CTX, X509_STORE_CTX_free>>;

struct CertificateStack {
  STACK_OF(X509) * certificates = nullptr;
  ~CertificateStack() { sk_X509_pop_free(certificates, X509_free); }
};

bool StrongDigest(const X509_ALGOR* algorithm) {
  if (algorithm == nullptr)
    return false;
  switch (OBJ_obj2nid(algorithm->algorithm)) {
    case NID_sha256:
    case NID_sha384:
    case NID_sha512:
    case NID_sha3_256:
    case NID_sha3_384:
    case NID_sha3_512:
      return true;
    default:
      return false;
  }
}

// Records every error of the chain and lets the verification go on, so that the most telling one
// can be reported.
int RecordChainError(int ok, X509_STORE_CTX* context) {
  if (ok == 0) {
    auto* errors = static_cast<std::set<int>*>(X509_STORE_CTX_get_app_data(context));
    errors->insert(X509_STORE_CTX_get_error(context));
  }
  return 1;
}

// An extended key usage that is present and allows neither code signing nor any usage.
bool WrongUsage(X509* certificate) {
  if ((X509_get_extension_flags(certificate) & EXFLAG_XKUSAGE) == 0)
    return false;
  return (X509_get_extended_key_usage(certificate) & (XKU_CODE_SIGN | XKU_ANYEKU)) == 0;
}

std::int32_t ChainResult(X509* signer, STACK_OF(X509) * carried) {
  if (WrongUsage(signer))
    return kTrustWrongUsage;
  StorePtr store(X509_STORE_new());
  StoreContextPtr context(X509_STORE_CTX_new());
  if (store == nullptr || context == nullptr || X509_STORE_set_default_paths(store.get()) != 1 ||
      X509_STORE_CTX_init(context.get(), store.get(), signer, carried) != 1) {
    return kTrustFailed;
  }
  std::set<int> errors;
  X509_STORE_CTX_set_app_data(context.get(), &errors);
  X509_STORE_CTX_set_verify_cb(context.get(), RecordChainError);
  X509_verify_cert(context.get());
  ERR_clear_error();

  auto any = [&errors](std::initializer_list<int> codes) {
    for (int code : codes) {
      if (errors.count(code) != 0)
        return true;
    }
    return false;
  };
  if (errors.empty())
    return kTrustOk;
  if (any({X509_V_ERR_INVALID_PURPOSE}))
    return kTrustWrongUsage;
  if (any({X509_V_ERR_CERT_SIGNATURE_FAILURE, X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE,
           X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY})) {
    return kTrustBadCertificateSignature;
  }
  if (any({X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY,
           X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE})) {
    return kTrustChaining;
  }
  if (any({X509_V_ERR_CERT_HAS_EXPIRED, X509_V_ERR_CERT_NOT_YET_VALID})) {
    errors.erase(X509_V_ERR_CERT_HAS_EXPIRED);
    errors.erase(X509_V_ERR_CERT_NOT_YET_VALID);
    errors.erase(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
    errors.erase(X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN);
    return errors.empty() ? kTrustExpired : kTrustFailed;
  }
  if (any({X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN})) {
    errors.erase(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
    errors.erase(X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN);
    return errors.empty() ? kTrustUntrustedRoot : kTrustFailed;
  }
  return kTrustFailed;
}

std::int32_t Verify(int fd, X509** signer_out) {
  openssl::SignedLayout layout;
  if (!openssl::ReadSignedLayout(fd, &layout))
    return kTrustNoSignature;

  std::vector<unsigned char> signature(layout.signature_size);
  if (::pread(fd, signature.data(), signature.size(), static_cast<off_t>(layout.content_size)) !=
      static_cast<ssize_t>(signature.size())) {
    return kTrustNoSignature;
  }
  const unsigned char* cursor = signature.data();
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(signature.size())));
  if (cms == nullptr || cursor != signature.data() + signature.size() ||
      OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed || CMS_is_detached(cms.get()) != 1) {
    ERR_clear_error();
    return kTrustNoSignature;
  }
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms.get());
  if (signers == nullptr || sk_CMS_SignerInfo_num(signers) < 1)
    return kTrustNoSignature;
  X509_ALGOR* digest = nullptr;
  CMS_SignerInfo_get0_algs(sk_CMS_SignerInfo_value(signers, 0), nullptr, nullptr, &digest, nullptr);
  if (!StrongDigest(digest))
    return kTrustNoSignature;

  // The signatures and the digest of the content, read from the file as it streams by.
  BioPtr content(openssl::NewContentBio(fd, layout.content_size));
  if (content == nullptr)
    return kTrustFailed;
  if (CMS_verify(cms.get(), nullptr, nullptr, content.get(), nullptr,
                 CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1) {
    const unsigned long error = ERR_peek_last_error();
    ERR_clear_error();
    // The signature is there; what it lacks is the certificate of the one who made it.
    if (ERR_GET_LIB(error) == ERR_LIB_CMS && ERR_GET_REASON(error) == CMS_R_SIGNER_CERTIFICATE_NOT_FOUND) {
      return kTrustNoSignerCertificate;
    }
    return kTrustBadDigest;
  }

  STACK_OF(X509)* signer_certificates = CMS_get0_signers(cms.get());
  X509* signer = sk_X509_num(signer_certificates) > 0 ? sk_X509_value(signer_certificates, 0) : nullptr;
  if (signer != nullptr)
    X509_up_ref(signer);
  sk_X509_free(signer_certificates);
  if (signer == nullptr)
    return kTrustNoSignature;
  *signer_out = signer;

  CertificateStack carried;
  carried.certificates = CMS_get1_certs(cms.get());
  return ChainResult(signer, carried.certificates);
}

}  // namespace

TrustVerification::TrustVerification(const wchar_t* path) : state_(std::make_unique<State>()) {
  // A path that names no regular file that can be read has no signature to find.
  if (const std::unique_ptr<ProgramFile> file = ProgramFile::Open(path))
    state_->result = Verify(file->impl().fd.get(), &state_->signer);
  ERR_clear_error();
}

TrustVerification::TrustVerification(const ProgramFile& file) : state_(std::make_unique<State>()) {
  state_->result = Verify(file.impl().fd.get(), &state_->signer);
  ERR_clear_error();
}

TrustVerification::~TrustVerification() = default;

std::int32_t TrustVerification::result() const {
  return state_->result;
}

const Certificate* TrustVerification::SignerCertificate() const {
  // The state holds the first signer's end certificate directly: the chain is built from it.
  return reinterpret_cast<const Certificate*>(state_->signer);
}

std::uint32_t GetCertificateDisplayName(const Certificate* certificate, wchar_t* name, std::uint32_t size) {
  if (certificate == nullptr)
    return 0;
  const std::wstring display =
      openssl::SimpleDisplayName(const_cast<X509*>(reinterpret_cast<const X509*>(certificate)));
  const std::size_t needed = display.size() + 1;
  if (name == nullptr || size == 0)
    return static_cast<std::uint32_t>(needed);
  const std::size_t copied = display.size() < size - 1 ? display.size() : size - 1;
  std::wmemcpy(name, display.data(), copied);
  name[copied] = L'\0';
  return needed <= size ? static_cast<std::uint32_t>(needed) : size;
}

}  // namespace platform
