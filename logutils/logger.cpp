#include "logutils/logger.h"

#include <atomic>
#include <cstring>
#include <iterator>
#include <string>

#include "logutils/decimal.h"
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
  if (instance != nullptr)
    return instance;
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
  if (logger == nullptr)
    return;
  logger->Start(path, L"", 0, 0, LoggerImpl::kDefaultMaxSize);
}

namespace {

// The stream each thread lends to its statements.
struct ThreadStream {
  std::wostringstream stream;
  bool lent = false;
  ~ThreadStream();
};

thread_local ThreadStream t_stream;
// Still true once the thread's stream is gone, at the very end of the thread.
thread_local bool t_stream_gone = false;

ThreadStream::~ThreadStream() {
  t_stream_gone = true;
}

}  // namespace

LogStream::LogStream(const char* tag, const char* source_path, std::int32_t line) {
  if (!t_stream_gone && !t_stream.lent) {
    t_stream.lent = true;
    stream_ = &t_stream.stream;
  } else {
    own_ = std::make_unique<std::wostringstream>();
    stream_ = own_.get();
  }
  // Room for a whole statement from the start, so that filling it does not reallocate.
  std::wstring room;
  room.reserve(120);
  stream_->str(std::move(room));

  const char* source = source_path != nullptr ? source_path : "";
  // The stem lies between the last separator and the last dot, with at least one character.
  const char* backslash = std::strrchr(source, '\\');
  const char* slash = std::strrchr(source, '/');
  const char* separator = backslash > slash ? backslash : slash;
  const char* dot = std::strrchr(source, '.');
  // "[%4d] " or "[%4d][stem] " in a buffer of 100 bytes, a stem too long for it cut.
  char prefix[100] = {};
  constexpr std::size_t kLast = sizeof prefix - 1;
  std::size_t used = 0;
  prefix[used++] = '[';
  used += PutDecimal(prefix + used, line, 4, ' ');  // "%4d"
  prefix[used++] = ']';
  if (separator != nullptr && dot != nullptr && dot - separator >= 2) {
    prefix[used++] = '[';
    for (const char* c = separator + 1; c < dot && used < kLast; ++c)
      prefix[used++] = *c;
    if (used < kLast)
      prefix[used++] = ']';
  }
  if (used < kLast)
    prefix[used++] = ' ';
  prefix[used] = '\0';
  *this << tag;
  *this << prefix;
}

LogStream& LogStream::operator<<(const char* text) {
  if (text == nullptr)
    text = "(null)";
  const std::size_t size = std::strlen(text);
  if (size == 0)
    return *this;
  // Converted on the stack when short, as statements are: no allocation of its own.
  wchar_t small[256];
  std::wstring large;
  wchar_t* wide = small;
  if (size > std::size(small)) {
    large.resize(size);
    wide = large.data();
  }
  const int count = platform::AnsiToWide(text, static_cast<int>(size), wide, static_cast<int>(size));
  stream_->write(wide, count);
  return *this;
}

LogStream& LogStream::operator<<(const wchar_t* text) {
  *stream_ << (text != nullptr ? text : L"(null)");
  return *this;
}

std::wstring LogStream::TakeText() {
  return std::move(*stream_).str();
}

LogStream::~LogStream() {
  if (own_ != nullptr)
    return;
  // Back to the state of a new stream for the thread's next statement.
  stream_->str(std::wstring());
  stream_->clear();
  stream_->flags(std::ios_base::skipws | std::ios_base::dec);
  stream_->width(0);
  stream_->precision(6);
  stream_->fill(L' ');
  t_stream.lent = false;
}

}  // namespace LogUtils
