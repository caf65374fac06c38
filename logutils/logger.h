// The logging library: one logger per process, and the statement form every call site uses.
//
//   LOGUTILS_INFO("run");
//
// writes "[I][  78][tidyhand] run" (tag, line, the source file's stem, text) when level 1 is enabled,
// and evaluates nothing else when it is not.
#pragma once

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>

namespace LogUtils {

class LogStream;

// The logger's interface. The order of the operations is part of it.
class Logger {
 public:
  virtual ~Logger() = default;
  virtual void SetLevel(std::int32_t level) = 0;
  virtual bool IsEnabled(std::int32_t level) = 0;
  virtual void Start(const wchar_t* path, const wchar_t* label, std::int32_t enable, std::int32_t fresh_log,
                     std::int32_t max_size) = 0;
  virtual void Reset() = 0;
  virtual void End() = 0;
  virtual void Command(const wchar_t* command) = 0;
  virtual void Log(LogStream& statement) = 0;
};

// The process-wide logger, created on first use and never destroyed.
Logger* GetLogger();

// Starts the process-wide logger on the log file `path`. Statements are written only when the
// switch file, `path` followed by ".on", exists at this moment.
void InitLogger(const wchar_t* path);

// The text of one statement: the tag and the "[line][stem] " prefix, then what the caller inserts.
// It is written into a wide string stream with the default locale and formatting. Each thread
// makes such a stream once and lends it to one statement at a time; a statement formed while
// another is being formed on the same thread gets a stream of its own.
class LogStream {
 public:
  LogStream(const char* tag, const char* source_path, std::int32_t line);
  ~LogStream();
  LogStream(const LogStream&) = delete;
  LogStream& operator=(const LogStream&) = delete;

  // Narrow text is in the system's ANSI code page; null reads "(null)".
  LogStream& operator<<(const char* text);
  LogStream& operator<<(const wchar_t* text);
  // Anything else a wide stream takes, as it takes it. Text of either width always goes through the
  // two insertions above, whatever its exact type.
  template <typename Value>
  requires(!std::is_convertible_v<const Value&, const char*> &&
           !std::is_convertible_v<const Value&, const wchar_t*>) LogStream&
  operator<<(const Value& value) {
    *stream_ << value;
    return *this;
  }

  // The text so far.
  std::wstring str() const { return stream_->str(); }
  // The whole text, leaving the stream empty.
  std::wstring TakeText();

 private:
  std::wostringstream* stream_;
  std::unique_ptr<std::wostringstream> own_;
};

}  // namespace LogUtils

// A level-1 statement. The logger is asked first; when level 1 is off, nothing else is evaluated:
// no string, no stream.
#define LOGUTILS_INFO(text)                                                                   \
  do {                                                                                        \
    if (::LogUtils::GetLogger()->IsEnabled(1)) {                                              \
      const char* logutils_source_path_ = __FILE__;                                           \
      const char* logutils_tag_ = "[I]";                                                      \
      ::LogUtils::Logger* logutils_logger_ = ::LogUtils::GetLogger();                         \
      ::LogUtils::LogStream logutils_stream_(logutils_tag_, logutils_source_path_, __LINE__); \
      logutils_stream_ << text;                                                               \
      logutils_logger_->Log(logutils_stream_);                                                \
    }                                                                                         \
  } while (false)
