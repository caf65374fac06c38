// Conversions between the program's wide text and the narrow UTF-8 text of the system calls.
#pragma once

#include <string>

namespace platform::posix {

// `text` (may be null) as UTF-8.
std::string ToNarrow(const wchar_t* text);
// UTF-8 `text` as wide text.
std::wstring ToWide(const std::string& text);

}  // namespace platform::posix
