#include "platform/process.h"

#include <windows.h>

namespace platform {

unsigned long CurrentProcessId() {
  return GetCurrentProcessId();
}

unsigned long CurrentThreadId() {
  return GetCurrentThreadId();
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  Sleep(milliseconds);
}

void ExitProcessNow(int code) {
  ExitProcess(static_cast<UINT>(code));
}

std::size_t GetExecutablePath(wchar_t* path, std::size_t capacity) {
  if (path == nullptr || capacity == 0)
    return 0;
  const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(capacity));
  // A path that filled the buffer may have been cut: refused.
  if (length == 0 || length >= capacity) {
    path[0] = L'\0';
    return 0;
  }
  return length;
}

// What the caller holds of a started child. Only handles the system handed out are closed: a start
// that failed opened nothing.
struct ChildProcess::Impl {
  PROCESS_INFORMATION info = {};
  ~Impl() {
    if (info.hThread != nullptr)
      CloseHandle(info.hThread);
    if (info.hProcess != nullptr)
      CloseHandle(info.hProcess);
  }
};

std::unique_ptr<ChildProcess> ChildProcess::Create(wchar_t* command_line, std::uint16_t show_window) {
  // This program's own start-up information, with only the show-window setting applied: no
  // inherited position, size, console or standard handles.
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show_window;
  auto impl = std::make_unique<Impl>();
  if (!CreateProcessW(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &impl->info)) {
    impl->info = {};  // whatever the failed call left there is no handle of ours
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() = default;

bool ChildProcess::WaitForExit(std::uint32_t milliseconds) {
  return WaitForSingleObject(impl_->info.hProcess, milliseconds) == WAIT_OBJECT_0;
}

bool ChildProcess::WaitForInputIdle(std::uint32_t milliseconds) {
  return ::WaitForInputIdle(impl_->info.hProcess, milliseconds) == 0;
}

}  // namespace platform
