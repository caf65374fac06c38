#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "launch/command_line.h"

namespace {

TEST(CommandLine, IsTheQuotedPathOneBlankAndTheArgumentsUnchanged) {
  struct Case {
    const wchar_t* path;
    const wchar_t* arguments;
    const wchar_t* line;
  } cases[] = {
      {L"/opt/v/vrhelper.exe", L"", L"\"/opt/v/vrhelper.exe\" "},
      {L"/opt/v/vrhelper.exe", nullptr, L"\"/opt/v/vrhelper.exe\" "},
      {L"/opt/my apps/vrhelper.exe", L"-a \"b c\"  d", L"\"/opt/my apps/vrhelper.exe\" -a \"b c\"  d"},
      {L"/odd\"path", L"x", L"\"/odd\"path\" x"},
  };
  for (const Case& c : cases) {
    wchar_t line[kCommandLineUnits];
    ASSERT_TRUE(FormatCommandLine(c.path, c.arguments, line));
    EXPECT_STREQ(line, c.line);
  }
  wchar_t line[kCommandLineUnits];
  const std::wstring fits(kCommandLineUnits - 4, L'p');  // quotes, blank and terminator
  EXPECT_TRUE(FormatCommandLine(fits.c_str(), nullptr, line));
  EXPECT_EQ(std::wcslen(line), kCommandLineUnits - 1);
  const std::wstring too_long(kCommandLineUnits - 3, L'p');
  EXPECT_FALSE(FormatCommandLine(too_long.c_str(), nullptr, line));
  EXPECT_FALSE(FormatCommandLine(L"/p", std::wstring(kCommandLineUnits, L'a').c_str(), line));
}

}  // namespace
