#include "launch/verify_publisher.h"

#include <cwchar>
#include <memory>

#include "platform/paths.h"
#include "platform/program_file.h"
#include "platform/trust.h"

namespace {

constexpr std::uint32_t kNameUnits = 512;

}  // namespace

// An expired certificate and an untrusted root still count: the name decides.
std::int32_t AcceptsVerification(const platform::TrustVerification& verification) {
  const std::int32_t result = verification.result();
  if (result != platform::kTrustOk && result != platform::kTrustExpired &&
      result != platform::kTrustUntrustedRoot) {
    return 0;
  }
  const platform::Certificate* signer = verification.SignerCertificate();
  if (signer == nullptr)
    return 0;

  wchar_t name[kNameUnits] = {};
  const std::uint32_t count = platform::GetCertificateDisplayName(signer, name, kNameUnits);
  // The count includes the terminator; a full buffer may hold a name that was cut.
  if (count < 1 || count > kNameUnits - 1)
    return 0;
  // A NUL inside the name would end the comparison early, and "Vistrel Software Co., Ltd." followed
  // by a NUL and anything at all would pass as the accepted name.
  if (std::wmemchr(name, L'\0', count - 1) != nullptr)
    return 0;
  return IsAllowedPublisher(name) != 0 ? 1 : 0;
}

std::int32_t VerifyPublisher(const wchar_t* path) {
  if (path == nullptr || !platform::PathExists(path))
    return 0;
  const std::unique_ptr<platform::ProgramFile> file = platform::ProgramFile::Open(path);
  return file != nullptr ? VerifyPublisher(*file) : 0;
}

std::int32_t VerifyPublisher(const platform::ProgramFile& file) {
  if (!platform::PathExists(file.path()))
    return 0;
  // Systems before version 6 have no verification to ask: every existing file passes.
  if (platform::SystemMajorVersion() < 6)
    return 1;
  try {
    // The verification state is closed when `verification` goes, on every way out.
    const platform::TrustVerification verification(file);
    return AcceptsVerification(verification);
  } catch (...) {
    return 0;
  }
}
