#include "platform/diagnostics.h"

#include <windows.h>

namespace platform {

int LastErrorCode() {
  return static_cast<int>(GetLastError());
}

void SetLastErrorCode(int code) {
  SetLastError(static_cast<DWORD>(code));
}

bool SystemErrorMessage(int code, std::wstring* message) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr)
    return false;
  message->assign(buffer, length);
  LocalFree(buffer);
  return true;
}

void SendDebugText(const wchar_t* text) {
  OutputDebugStringW(text);
}

}  // namespace platform
