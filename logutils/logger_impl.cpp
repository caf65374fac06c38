#include "logutils/logger_impl.h"

#include "platform/diagnostics.h"
#include "platform/paths.h"

namespace LogUtils {
namespace {

constexpr const wchar_t* kLevelCommands[] = {L"--set_log_lev=0", L"--set_log_lev=1", L"--set_log_lev=2",
                                             L"--set_log_lev=3"};

// The marker for a log that could not be emptied: the error number and the system's message for
// it, on one line.
std::wstring FullResetFailedText(int error) {
  std::wstring text = L"-------log full reset failed. " + std::to_wstring(error);
  std::wstring message;
  if (platform::SystemErrorMessage(error, &message))
    text += L":" + message;
  for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at)) {
    text.erase(at, 2);
  }
  return text;
}

}  // namespace

bool LoggerImpl::SwitchFileExists() {
  // Without a path there is no log, and ".on" alone would be looked for wherever the program was
  // started.
  if (path.empty())
    return false;
  return platform::PathExists((path + L".on").c_str());
}

void LoggerImpl::SetLevel(std::int32_t level) {
  platform::ScopedLock hold(lock);
  if (level_locked != 0)
    return;
  if (appender != nullptr) {
    // The marker goes out while the old threshold still holds.
    if (threshold <= 1) {
      if (level == 3) {
        appender->Write(L"-------log off", 1);
      } else {
        appender->Write(L"-------log lev change", 0);
      }
    } else if (level <= 1) {
      appender->Write(L"-------log lev change", 0);
    }
  }
  threshold = level;
}

bool LoggerImpl::IsEnabled(std::int32_t level) {
  platform::ScopedLock hold(lock);
  return level >= threshold;
}

void LoggerImpl::Start(const wchar_t* new_path, const wchar_t* label, std::int32_t enable,
                       std::int32_t new_fresh_log, std::int32_t new_max_size) {
  platform::ScopedLock hold(lock);
  path = new_path != nullptr ? new_path : L"";
  max_size = new_max_size;
  fresh_log = new_fresh_log;
  // A later Start keeps the first appender: lines go on to the first file, with its label.
  if (appender == nullptr)
    appender = new LogAppender(path.c_str(), label, fresh_log);
  threshold = enable != 0 ? 1 : 3;
  if (SwitchFileExists()) {
    threshold = 0;
    level_locked = enable;
  }
  if (appender != nullptr && IsEnabled(1))
    appender->Append(L"-------log start");
}

void LoggerImpl::Reset() {
  platform::ScopedLock hold(lock);
  if (appender == nullptr)
    return;
  appender->Clear();
  if (IsEnabled(1))
    appender->Append(L"-------log reset");
}

void LoggerImpl::End() {
  platform::ScopedLock hold(lock);
  if (appender == nullptr)
    return;
  if (IsEnabled(1))
    appender->Write(L"-------log end", 1);
  threshold = 3;
}

void LoggerImpl::Command(const wchar_t* command) {
  if (command == nullptr)
    return;
  for (std::int32_t level = 0; level <= 3; ++level) {
    if (platform::FindTextNoCase(command, kLevelCommands[level]) != nullptr) {
      SetLevel(level);
      return;
    }
  }
  if (platform::FindTextNoCase(command, L"--reload_log_switch") == nullptr)
    return;
  platform::ScopedLock hold(lock);
  threshold = 3;
  if (SwitchFileExists())
    threshold = 0;
  if (appender != nullptr && IsEnabled(1))
    appender->Append(L"-------log reload switch");
}

void LoggerImpl::Log(LogStream& statement) {
  const std::wstring text = statement.TakeText();
  platform::ScopedLock hold(lock);
  if (appender == nullptr)
    return;
  const std::int32_t size = appender->Write(text, 0);
  if (size <= max_size)
    return;
  if (fresh_log != 0) {
    appender->Write(L"-------log full", 1);
    threshold = 3;
  } else if (appender->Clear() != 0) {
    appender->Append(L"-------log full reset");
  } else {
    const int error = platform::LastErrorCode();
    appender->Append(FullResetFailedText(error));
    threshold = 3;
  }
}

}  // namespace LogUtils
