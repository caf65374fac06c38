// The only part of the logging library that touches the log file: it turns statement texts into
// timestamped lines, queues them, and appends the queue to the file while it owns a mutex that every
// process logging to the same file shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/named_mutex.h"
#include "platform/sync.h"

namespace LogUtils {

class LogAppender {
 public:
  // Queued lines are held back up to this many bytes in all. The queue only grows while no Write
  // can own the mutex at once; a Write that finds it at the bound waits for the mutex and writes
  // it, so that no line is lost while its writer lives: the writer slows down instead.
  static constexpr std::size_t kQueueLimitBytes = 8u << 20;

  // Creates or opens the mutex named after `path`. The process that creates it deletes the file at
  // `path` when `delete_existing` is non-zero. The file itself is opened by the first Write. When no
  // shared mutex can be had, the system log says so once and a lock of this process's own serves.
  LogAppender(const wchar_t* path, const wchar_t* label, int delete_existing);
  ~LogAppender();
  LogAppender(const LogAppender&) = delete;
  LogAppender& operator=(const LogAppender&) = delete;

  // Forms the line for `text` (time, process and thread prefix in front, CR LF behind) and queues it.
  virtual void Append(const std::wstring& text);
  // Queues the line for `text`, then writes the whole queue to the file if the mutex can be had:
  // at once, or, with `wait` non-zero, after waiting for it without limit. Returns the file's length
  // as far as this appender knows it, negative once opening the file failed.
  virtual std::int32_t Write(const std::wstring& text, int wait);
  // Closes and deletes the file and discards the queue. Returns 1 when the file was deleted, else 0
  // with the reason left as the thread's last error: platform::kFileInUseError while another
  // process has the file open.
  virtual int Clear();

  // The mutex name derived from a log file path: its ASCII letters, upper-cased, and digits.
  static std::wstring MutexNameFor(const std::wstring& path);

 private:
  // Forms and queues the line for `text`; true when the queue has reached its bound.
  bool Queue(const std::wstring& text);

  std::unique_ptr<platform::NamedMutex> mutex_;
  std::int32_t size_ = 0;
  bool open_pending_ = true;
  int delete_existing_;
  std::wstring path_;
  std::wstring mutex_name_;
  std::wstring label_;
  int file_ = -1;
  platform::CriticalSection queue_lock_;
  std::vector<std::string> queue_;
  std::size_t queued_bytes_ = 0;
  std::vector<std::string> writing_;  // the batch being written; only Write touches it
};

}  // namespace LogUtils
