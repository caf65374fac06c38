// Text conversion between wide text and the system's ANSI code page (UTF-8 where the system has no
// other).
#pragma once

#include <string>

namespace platform {

// Converts `size` bytes of ANSI text into at most `capacity` wide characters at `out`. Returns the
// number of characters written, or 0 when the conversion fails (also when `out` is too small).
// Where the code page is UTF-8, each byte that is not part of valid UTF-8 becomes the lone
// surrogate U+DC80 to U+DCFF (U+DC00 plus the byte), which WideToAnsi turns back into that byte, so
// that any byte string survives the round trip; elsewhere the system's own replacement applies. No
// terminator is written or counted.
int AnsiToWide(const char* text, int size, wchar_t* out, int capacity);

// Converts `size` wide characters into at most `capacity` bytes of ANSI text at `out`. With a
// `capacity` of 0, writes nothing and returns the number of bytes the conversion needs. Otherwise
// returns the number of bytes written, or 0 when the conversion fails (also when `out` is too small).
// Characters that the code page cannot represent are replaced as the system does by default.
int WideToAnsi(const wchar_t* text, int size, char* out, int capacity);

// Whole strings in the ANSI code page and back, as names and messages pass between the program and
// the system: `text` (may be null) as ANSI text, and ANSI `text` as wide text.
std::string ToNarrow(const wchar_t* text);
std::wstring ToWide(const std::string& text);

}  // namespace platform
