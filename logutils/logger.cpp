#include "logutils/logger.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "logutils/logger_impl.h"
#include "platform/sync.h"
#include "platform/text.h"

namespace LogUtils {
namespace {

std::atomic<Logger*> g_instance{nullptr};

// Guards the creation of the instance and nothing else. It is set up during static initialisation,
// ahead of the program's other static objects, so that its deletion, registered at the same moment,
// comes after all of theirs at exit.
#if defined(__GNUC__)
__attribute__((init_priority(200)))
#endif
platform::CriticalSection g_creation_lock;

}  // namespace

Logger* GetLogger() {
  Logger* instance = g_instance.load(std::memory_order_acquire);
  if (instance != nullptr) return instance;
  platform::ScopedLock hold(g_creation_lock);
  instance = g_instance.load(std::memory_order_relaxed);
  if (instance == nullptr) {
    instance = new LoggerImpl();
    g_instance.store(instance, std::memory_order_release);
  }
  return instance;
}

void InitLogger(const wchar_t* path) {
  Logger* logger = GetLogger();
  if (logger == nullptr) return;
  logger->Start(path, L"", 0, 0, LoggerImpl::kDefaultMaxSize);
}

LogStream::LogStream(const char* tag, const char* source_path, std::int32_t line) {
  const char* source = source_path != nullptr ? source_path : "";
  // The stem lies between the last separator and the last dot, with at least one character.
  const char* backslash = std::strrchr(source, '\\');
  const char* slash = std::strrchr(source, '/');
  const char* separator = backslash > slash ? backslash : slash;
  const char* dot = std::strrchr(source, '.');
  char prefix[100] = {};
  if (separator == nullptr || dot == nullptr || dot - separator < 2) {
    std::snprintf(prefix, sizeof prefix, "[%4d] ", static_cast<int>(line));
  } else {
    std::snprintf(prefix, sizeof prefix, "[%4d][%.*s] ", static_cast<int>(line),
                  static_cast<int>(dot - separator - 1), separator + 1);
  }
  *this << tag;
  *this << prefix;
}

LogStream& LogStream::operator<<(const char* text) {
  if (text == nullptr) text = "(null)";
  const std::size_t size = std::strlen(text);
  std::wstring wide(size, L'\0');
  if (size != 0) {
    const int count =
        platform::AnsiToWide(text, static_cast<int>(size), wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(count));
  }
  static_cast<std::wostream&>(*this) << wide;
  return *this;
}

LogStream& LogStream::operator<<(const wchar_t* text) {
  static_cast<std::wostream&>(*this) << (text != nullptr ? text : L"(null)");
  return *this;
}

}  // namespace LogUtils
