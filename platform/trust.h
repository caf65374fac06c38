// Trust verification of a program file's signature, and the names of the certificates involved.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

class ProgramFile;

// Results of a verification, in the system's trust service's own codes.
inline constexpr std::int32_t kTrustOk = 0;
inline constexpr std::int32_t kTrustNoSignature = static_cast<std::int32_t>(0x800B0100);
inline constexpr std::int32_t kTrustExpired = static_cast<std::int32_t>(0x800B0101);
inline constexpr std::int32_t kTrustUntrustedRoot = static_cast<std::int32_t>(0x800B0109);
inline constexpr std::int32_t kTrustChaining = static_cast<std::int32_t>(0x800B010A);
inline constexpr std::int32_t kTrustFailed = static_cast<std::int32_t>(0x800B010B);
inline constexpr std::int32_t kTrustWrongUsage = static_cast<std::int32_t>(0x800B0110);
inline constexpr std::int32_t kTrustNoSignerCertificate = static_cast<std::int32_t>(0x80096002);
inline constexpr std::int32_t kTrustBadCertificateSignature = static_cast<std::int32_t>(0x80096004);
inline constexpr std::int32_t kTrustBadDigest = static_cast<std::int32_t>(0x80096010);

// The major version of the running system.
//
// This operation is alone in its source file, so that a test can supply its own definition at link
// time and play an older system.
unsigned long SystemMajorVersion();

// A certificate that a verification found. It belongs to the verification.
class Certificate;

// One verification of the signature of a file: the verify request when it is made, the close
// request when it is destroyed. No user interface is shown and revocation is not checked.
class TrustVerification {
 public:
  explicit TrustVerification(const wchar_t* path);
  // The verification of a program file opened before: where the system reads the file through its
  // descriptor, the bytes verified are those of the file that was opened, whatever its path names
  // now.
  explicit TrustVerification(const ProgramFile& file);
  ~TrustVerification();
  TrustVerification(const TrustVerification&) = delete;
  TrustVerification& operator=(const TrustVerification&) = delete;

  // What the verification found: kTrustOk, or the reason it failed.
  std::int32_t result() const;

  // The certificate that signed the file: the end certificate of the first signer's chain, reached
  // from the verification state link by link. Null when any link is missing.
  const Certificate* SignerCertificate() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// Writes the simple display name of `certificate`'s subject into `name` (`size` characters,
// terminated) and returns the count written, terminator included: `size` when the name had to be
// cut, 1 when the certificate has no name. The first of these found gives the name: the common
// name, the organizational unit, the organization, the e-mail address of the subject; the first
// e-mail address among its alternative names; the subject's first attribute.
std::uint32_t GetCertificateDisplayName(const Certificate* certificate, wchar_t* name, std::uint32_t size);

}  // namespace platform
