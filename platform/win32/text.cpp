#include "platform/text.h"

#include <windows.h>

namespace platform {

int AnsiToWide(const char* text, int size, wchar_t* out, int capacity) {
  if (text == nullptr || size <= 0 || out == nullptr || capacity <= 0)
    return 0;
  return MultiByteToWideChar(CP_ACP, 0, text, size, out, capacity);
}

int WideToAnsi(const wchar_t* text, int size, char* out, int capacity) {
  if (text == nullptr || size <= 0 || capacity < 0)
    return 0;
  return WideCharToMultiByte(CP_ACP, 0, text, size, capacity == 0 ? nullptr : out, capacity, nullptr,
                             nullptr);
}

}  // namespace platform
