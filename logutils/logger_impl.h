// The logger behind LogUtils::GetLogger.
#pragma once

#include <cstdint>
#include <string>

#include "logutils/log_appender.h"
#include "logutils/logger.h"
#include "platform/sync.h"

namespace LogUtils {

class LoggerImpl : public Logger {
 public:
  static constexpr std::int32_t kDefaultMaxSize = 104857600;  // 100 MiB

  LoggerImpl() = default;
  // The process-wide instance is never destroyed; a destructor that ran would leave the appender,
  // which other code may still be writing through, alone.
  ~LoggerImpl() override = default;

  // Sets the threshold unless it is locked; writes a marker when level-1 statements pass before
  // or after the change.
  void SetLevel(std::int32_t level) override;
  // True when a statement of `level` passes the threshold.
  bool IsEnabled(std::int32_t level) override;
  // Configures the logger on `path`; the first call creates the appender. The threshold follows
  // `enable` and, above all, the switch file `path` + ".on".
  void Start(const wchar_t* path, const wchar_t* label, std::int32_t enable, std::int32_t fresh_log,
             std::int32_t max_size) override;
  // Empties the log file.
  void Reset() override;
  // Writes "-------log end" and switches statements off.
  void End() override;
  // Obeys the first control command found in `command`.
  void Command(const wchar_t* command) override;
  // Writes the statement as one line and keeps the file below the size limit.
  void Log(LogStream& statement) override;

 private:
  bool SwitchFileExists();

  platform::CriticalSection lock;
  std::int32_t threshold = 3;
  std::int32_t level_locked = 0;
  std::int32_t fresh_log = 0;
  LogAppender* appender = nullptr;
  std::wstring path;
  std::int32_t max_size = kDefaultMaxSize;
};

}  // namespace LogUtils
