#include <cwchar>

#include "platform/text.h"

// Whole strings, on every platform, built on the conversions of each.
namespace platform {

std::string ToNarrow(const wchar_t* text) {
  if (text == nullptr)
    return {};
  const int size = static_cast<int>(std::wcslen(text));
  const int needed = WideToAnsi(text, size, nullptr, 0);
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  if (needed > 0)
    WideToAnsi(text, size, narrow.data(), needed);
  return narrow;
}

std::wstring ToWide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  if (text.empty())
    return wide;
  const int count =
      AnsiToWide(text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(count));
  return wide;
}

}  // namespace platform
