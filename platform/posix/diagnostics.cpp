#include "platform/diagnostics.h"

#include <syslog.h>

#include <cerrno>
#include <cstring>

#include "platform/text.h"

namespace platform {

int LastErrorCode() {
  return errno;
}

void SetLastErrorCode(int code) {
  errno = code;
}

bool SystemErrorMessage(int code, std::wstring* message) {
  char buffer[256];
  // The GNU strerror_r returns the message, which may or may not be in `buffer`.
  const char* text = ::strerror_r(code, buffer, sizeof buffer);
  if (text == nullptr || text[0] == '\0')
    return false;
  *message = ToWide(text);
  return true;
}

void SendDebugText(const wchar_t* text) {
  // The system log is where a developer reads a program's debugging output here.
  ::openlog("tidyhand", LOG_PID | LOG_NDELAY, LOG_USER);
  ::syslog(LOG_DEBUG, "%s", ToNarrow(text).c_str());
  ::closelog();
}

}  // namespace platform
