// Text from a certificate, made safe to print on a terminal.
#pragma once

#include <string>

namespace tidysign {

// `text` in UTF-8 on one line, with nothing a terminal would act on: a backslash becomes "\\";
// line feed, carriage return and tab become "\n", "\r" and "\t"; every other control character
// (C0, DEL, C1), the line and paragraph separators, the marks and controls that reorder text
// on the screen, and anything that is no character at all become "\xHH" below U+0100, else "\uHHHH"
// (or "\UHHHHHHHH").
std::string ShownOnOneLine(const std::wstring& text);

}  // namespace tidysign
