// Trust verification through the system's trust service: WinVerifyTrust with the generic verify
// action, the provider data of its state, and the certificate's simple display name.
#include "platform/trust.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstddef>

#include "platform/program_file.h"
#include "platform/win32/structured_guard.h"

namespace platform {
namespace {

// Every call into the trust service runs under the structured-exception guard: a fault inside it
// that the service does not handle itself refuses the file instead of ending the process.
using win32::Guarded;

// The trust request up to and including dwUIContext, without later members: 48 bytes in a 32-bit
// build.
constexpr DWORD kTrustDataSize = offsetof(WINTRUST_DATA, dwUIContext) + sizeof(DWORD);
static_assert(sizeof(void*) != 4 || kTrustDataSize == 48);

}  // namespace

struct TrustVerification::State {
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_FILE_INFO file = {};
  WINTRUST_DATA data = {};
  LONG result = static_cast<LONG>(kTrustFailed);
};

TrustVerification::TrustVerification(const wchar_t* path) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.file.cbStruct = sizeof(WINTRUST_FILE_INFO);
  s.file.pcwszFilePath = path;
  s.file.hFile = nullptr;
  s.file.pgKnownSubject = nullptr;
  s.data.cbStruct = kTrustDataSize;
  s.data.pPolicyCallbackData = nullptr;
  s.data.pSIPClientData = nullptr;
  s.data.dwUIChoice = WTD_UI_NONE;
  s.data.fdwRevocationChecks = WTD_REVOKE_NONE;
  s.data.dwUnionChoice = WTD_CHOICE_FILE;
  s.data.pFile = &s.file;
  s.data.dwStateAction = WTD_STATEACTION_VERIFY;
  s.data.hWVTStateData = nullptr;
  s.data.pwszURLReference = nullptr;
  s.data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | WTD_CACHE_ONLY_URL_RETRIEVAL;
  s.data.dwUIContext = WTD_UICONTEXT_EXECUTE;
  if (!Guarded([&] { s.result = WinVerifyTrust(nullptr, &s.action, &s.data); })) {
    s.result = static_cast<LONG>(kTrustFailed);
  }
}

// The trust service opens the file by its path, as it always has.
TrustVerification::TrustVerification(const ProgramFile& file) : TrustVerification(file.path()) {}

TrustVerification::~TrustVerification() {
  State& s = *state_;
  WINTRUST_DATA close = {};
  close.cbStruct = kTrustDataSize;
  close.hWVTStateData = s.data.hWVTStateData;
  close.dwStateAction = WTD_STATEACTION_CLOSE;
  Guarded([&] { WinVerifyTrust(nullptr, &s.action, &close); });
}

std::int32_t TrustVerification::result() const {
  return static_cast<std::int32_t>(state_->result);
}

const Certificate* TrustVerification::SignerCertificate() const {
  const CERT_CONTEXT* certificate = nullptr;
  Guarded([&] {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state_->data.hWVTStateData);
    if (provider == nullptr || provider->csSigners < 1 || provider->pasSigners == nullptr)
      return;
    const CRYPT_PROVIDER_SGNR& signer = provider->pasSigners[0];
    const CERT_CHAIN_CONTEXT* chain = signer.pChainContext;
    if (chain == nullptr || chain->rgpChain == nullptr || chain->cChain < 1 || chain->rgpChain[0] == nullptr)
      return;
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
    if (simple->cElement < 1 || simple->rgpElement == nullptr || simple->rgpElement[0] == nullptr)
      return;
    certificate = simple->rgpElement[0]->pCertContext;
  });
  return reinterpret_cast<const Certificate*>(certificate);
}

std::uint32_t GetCertificateDisplayName(const Certificate* certificate, wchar_t* name, std::uint32_t size) {
  DWORD count = 0;
  if (!Guarded([&] {
        count = CertGetNameStringW(reinterpret_cast<const CERT_CONTEXT*>(certificate),
                                   CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, size);
      })) {
    return 0;
  }
  return count;
}

}  // namespace platform
