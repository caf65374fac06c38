#include <windows.h>

#include "platform/trust.h"

namespace platform {

unsigned long SystemMajorVersion() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));  // the result is not looked at
#pragma GCC diagnostic pop
  return version.dwMajorVersion;
}

}  // namespace platform
