// The Windows command-line rules, for starting programs from a command line on a system whose
// programs take a vector of arguments.
#pragma once

#include <string>
#include <vector>

namespace platform::posix {

// Splits `command_line` into words as a Windows program sees them. The first word, the program,
// is taken as the system takes it: up to the next quote when it begins with one, else up to the
// first blank or tab. The words after it follow the run-time library's rules: blanks and tabs
// separate words outside quotes; 2n backslashes before a quote give n backslashes and the quote
// opens or closes a quoted part; 2n+1 backslashes before a quote give n backslashes and a literal
// quote; two quotes inside a quoted part give a literal quote; other backslashes are literal.
std::vector<std::wstring> SplitCommandLine(const std::wstring& command_line);

}  // namespace platform::posix
