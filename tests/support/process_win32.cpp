// Running programs as separate processes, for the tests on Windows.
#include <windows.h>

#include <map>
#include <thread>

#include "tests/support/test_support.h"

namespace testing_support {
namespace {

std::wstring Wide(const std::string& text) {
  return std::filesystem::path(text).wstring();
}

// One word of a command line, quoted so that the started program's run-time library reads it back.
std::wstring Quoted(const std::wstring& word) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"')
      backslashes = backslashes * 2 + 1;
    quoted.append(backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

std::wstring EnvironmentBlock(const RunOptions& options) {
  std::map<std::wstring, std::wstring> env;
  if (wchar_t* strings = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) {
      const wchar_t* equals = wcschr(entry + 1, L'=');
      if (equals != nullptr)
        env[std::wstring(entry, equals)] = equals + 1;
    }
    FreeEnvironmentStringsW(strings);
  }
  for (const auto& name : options.unset)
    env.erase(Wide(name));
  for (const auto& [name, value] : options.env)
    env[Wide(name)] = Wide(value);
  std::wstring block;
  for (const auto& [name, value] : env)
    block += name + L"=" + value + L'\0';
  return block + L'\0';
}

bool Spawn(const std::vector<std::string>& argv, const RunOptions& options, HANDLE output,
           PROCESS_INFORMATION* process) {
  std::wstring command_line;
  for (const std::string& arg : argv)
    command_line += (command_line.empty() ? L"" : L" ") + Quoted(Wide(arg));
  std::wstring environment = EnvironmentBlock(options);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (output != nullptr) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  const std::wstring cwd = options.cwd.wstring();
  return CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, output != nullptr,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(), cwd.empty() ? nullptr : cwd.c_str(),
                        &startup, process) != FALSE;
}

int ExitCode(HANDLE process) {
  DWORD code = 0;
  return GetExitCodeProcess(process, &code) ? static_cast<int>(code) : -1;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  TempDir scratch;
  const std::filesystem::path output_file = scratch / "output";
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileW(output_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const auto start = std::chrono::steady_clock::now();
  PROCESS_INFORMATION process = {};
  if (Spawn(argv, options, output, &process)) {
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(options.timeout.count())) == WAIT_OBJECT_0) {
      result.exit_code = ExitCode(process.hProcess);
    } else {
      result.timed_out = true;
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, INFINITE);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  result.elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  CloseHandle(output);
  result.output = ReadFile(output_file);
  return result;
}

Background::Background(const std::vector<std::string>& argv, const RunOptions& options) {
  PROCESS_INFORMATION process = {};
  if (Spawn(argv, options, nullptr, &process)) {
    CloseHandle(process.hThread);
    handle_ = process.hProcess;
    pid_ = static_cast<int>(process.dwProcessId);
  }
}

Background::~Background() {
  Kill();
  if (handle_ != nullptr)
    CloseHandle(handle_);
}

int Background::Wait(std::chrono::milliseconds timeout) {
  if (handle_ == nullptr)
    return -1;
  if (!reaped_) {
    if (WaitForSingleObject(handle_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
      return -1;
    reaped_ = true;
    status_ = ExitCode(handle_);
  }
  return status_;
}

void Background::Kill() {
  if (handle_ != nullptr && !reaped_) {
    TerminateProcess(handle_, 1);
    WaitForSingleObject(handle_, INFINITE);
    reaped_ = true;
    status_ = -1;
  }
}

}  // namespace testing_support
