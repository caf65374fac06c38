#include "launch/launch_process.h"

#include <cwchar>
#include <memory>

#include "launch/command_line.h"
#include "launch/verify_publisher.h"
#include "platform/process.h"
#include "platform/program_file.h"

bool FormatCommandLine(const wchar_t* path, const wchar_t* arguments, wchar_t (&line)[kCommandLineUnits]) {
  // A line that does not fit is refused rather than cut. The length is worked out first: the
  // run-time libraries' bounded formatters do not agree on what they report when they cut.
  const std::size_t length = 1 + std::wcslen(path) + 2 + (arguments != nullptr ? std::wcslen(arguments) : 0);
  if (length + 1 > kCommandLineUnits)
    return false;
  if (arguments != nullptr) {
    std::swprintf(line, kCommandLineUnits, L"\"%ls\" %ls", path, arguments);
  } else {
    std::swprintf(line, kCommandLineUnits, L"\"%ls\" ", path);
  }
  return true;
}

bool CommandLineCarries(const wchar_t* path) {
  return std::wcschr(path, L'"') == nullptr;
}

std::int32_t LaunchProcess(const wchar_t* path, const wchar_t* arguments, std::int32_t show_command,
                           std::int32_t verify, std::int32_t wait, std::uint32_t wait_ms,
                           const std::uint32_t* input_idle_ms) {
  if (path == nullptr || path[0] == L'\0')
    return 0;
  const std::unique_ptr<platform::ProgramFile> program = platform::ProgramFile::Open(path);
  if (program == nullptr)
    return 0;
  if (verify != 0 && VerifyPublisher(*program) == 0)
    return 0;

  wchar_t command_line[kCommandLineUnits] = {};
  if (!CommandLineCarries(path) || !FormatCommandLine(path, arguments, command_line))
    return 0;

  const auto show_window = static_cast<std::uint16_t>(static_cast<std::uint32_t>(show_command) & 0xFFFF);
  auto child = platform::ChildProcess::Create(*program, command_line, show_window);
  if (child == nullptr)
    return 0;
  if (wait != 0)
    child->WaitForExit(wait_ms);
  if (input_idle_ms != nullptr)
    child->WaitForInputIdle(*input_idle_ms);
  return 1;
}
