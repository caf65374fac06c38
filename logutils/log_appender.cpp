#include "logutils/log_appender.h"

#include "logutils/decimal.h"

#include <cwchar>
#include <utility>

#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace LogUtils {
namespace {

constexpr std::size_t kPrefixUnits = 100;  // terminator included

// Adds as the platform's 32-bit arithmetic does: a result past the range wraps around.
std::int32_t AddWrapping(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// "MM-DD hh:mm:ss.mmm [  pid][  tid]" into `prefix`, which has room for it. Returns its length.
template <typename Char>
std::size_t FormatTimeAndIds(Char* prefix) {
  platform::LocalTime now = {};
  if (!platform::ReadLocalTime(&now))
    now = {};
  std::size_t used = 0;
  auto put = [&](long long value, std::size_t width, Char fill) {
    used += PutDecimal(prefix + used, value, width, fill);
  };
  // The calendar fields have two digits, the milliseconds three; anything else is written whole.
  auto two = [&](int value) {
    if (value < 0 || value > 99)
      return put(value, 2, Char('0'));
    prefix[used++] = static_cast<Char>('0' + value / 10);
    prefix[used++] = static_cast<Char>('0' + value % 10);
  };
  two(now.month + 1);
  prefix[used++] = Char('-');
  two(now.day);
  prefix[used++] = Char(' ');
  two(now.hour);
  prefix[used++] = Char(':');
  two(now.minute);
  prefix[used++] = Char(':');
  two(now.second);
  prefix[used++] = Char('.');
  put(now.millisecond, 3, Char('0'));
  prefix[used++] = Char(' ');
  prefix[used++] = Char('[');
  put(static_cast<int>(platform::CurrentProcessId()), 5, Char(' '));
  prefix[used++] = Char(']');
  prefix[used++] = Char('[');
  put(static_cast<int>(platform::CurrentThreadId()), 5, Char(' '));
  prefix[used++] = Char(']');
  return used;
}

// The whole prefix, with the label as a third group when there is one; a label that does not fit
// the 100-unit buffer is cut so that its closing bracket still does. Returns its length.
std::size_t FormatPrefix(const std::wstring& label, wchar_t (&prefix)[kPrefixUnits]) {
  std::size_t used = FormatTimeAndIds(prefix);
  if (!label.empty()) {
    const std::size_t room = kPrefixUnits - 1 - used - 2;
    const std::size_t taken = label.size() < room ? label.size() : room;
    prefix[used++] = L'[';
    std::wmemcpy(prefix + used, label.data(), taken);
    used += taken;
    prefix[used++] = L']';
  }
  prefix[used] = L'\0';
  return used;
}

}  // namespace

std::wstring LogAppender::MutexNameFor(const std::wstring& path) {
  std::wstring name;
  for (wchar_t unit : path) {
    if ((unit >= L'0' && unit <= L'9') || (unit >= L'A' && unit <= L'Z')) {
      name += unit;
    } else if (unit >= L'a' && unit <= L'z') {
      name += static_cast<wchar_t>(unit - 32);
    }
  }
  return name;
}

LogAppender::LogAppender(const wchar_t* path, const wchar_t* label, int delete_existing)
    : delete_existing_(delete_existing),
      path_(path != nullptr ? path : L""),
      mutex_name_(MutexNameFor(path_)),
      label_(label != nullptr ? label : L"") {
  bool created = false;
  if (mutex_name_.empty()) {
    // Nothing of the path can name a shared mutex; a lock of this process's own keeps at least its
    // threads from interleaving.
    mutex_ = platform::NamedMutex::CreatePrivateOwned();
    created = mutex_ != nullptr;
  } else {
    mutex_ = platform::NamedMutex::CreateOwned(mutex_name_, &created);
    if (mutex_ == nullptr) {
      // The lines still go to the file, one whole line to each append, under this process's own
      // lock; only their order against other processes' lines is no longer kept. Said once, where
      // a developer looks, since the log itself cannot say it.
      const std::wstring message = L"no lock shared with other processes for " + path_ +
                                   L"; lines are written under this process's own lock\r\n";
      platform::SendDebugText(message.c_str());
      mutex_ = platform::NamedMutex::CreatePrivateOwned();
      if (mutex_ != nullptr)
        mutex_->Release();
    }
  }
  if (mutex_ != nullptr && created) {
    if (delete_existing_ != 0)
      platform::UnlinkFile(path_.c_str());
    mutex_->Release();
  }
}

LogAppender::~LogAppender() {
  if (file_ != -1)
    platform::CloseFile(file_);
}

void LogAppender::Append(const std::wstring& text) {
  Queue(text);
}

bool LogAppender::Queue(const std::wstring& text) {
  // The buffer is sized from what the conversion needs: in a multi-byte code page one wide
  // character may take up to four bytes.
  std::string bytes;
  const int text_units = static_cast<int>(text.size());
  char small[1024];
  if (label_.empty() && text_units * 4 + 64 <= static_cast<int>(sizeof small)) {
    // Without a label the prefix is plain ASCII, which every code page writes byte for byte: it
    // is formed in bytes at once, and only the text is converted.
    const int prefix_bytes = static_cast<int>(FormatTimeAndIds(small));
    const int text_bytes = text_units == 0
                               ? 0
                               : platform::WideToAnsi(text.data(), text_units, small + prefix_bytes,
                                                      static_cast<int>(sizeof small) - prefix_bytes);
    if (text_bytes > 0 || text_units == 0) {
      bytes.reserve(static_cast<std::size_t>(prefix_bytes + text_bytes) + 2);
      bytes.append(small, static_cast<std::size_t>(prefix_bytes + text_bytes));
    }
  } else {
    wchar_t prefix[kPrefixUnits] = {};
    const std::size_t prefix_units = FormatPrefix(label_, prefix);
    std::wstring line;
    line.reserve(prefix_units + text.size());
    line.append(prefix, prefix_units).append(text);
    const int units = static_cast<int>(line.size());
    const int needed = platform::WideToAnsi(line.data(), units, nullptr, 0);
    if (needed > 0) {
      bytes.resize(static_cast<std::size_t>(needed));
      bytes.resize(static_cast<std::size_t>(platform::WideToAnsi(line.data(), units, bytes.data(), needed)));
    }
  }
  bytes += "\r\n";

  platform::ScopedLock hold(queue_lock_);
  queued_bytes_ += bytes.size();
  queue_.push_back(std::move(bytes));
  return queued_bytes_ >= kQueueLimitBytes;
}

std::int32_t LogAppender::Write(const std::wstring& text, int wait) {
  // A full queue is written out whatever the caller asked: the writer waits for its turn rather
  // than lose a line.
  if (Queue(text))
    wait = 1;

  if (open_pending_) {
    const int error = platform::OpenForAppend(path_.c_str(), &file_);
    if (error != 0) {
      const std::wstring message = L"open " + path_ + L" error. [" + std::to_wstring(error) + L"]\r\n";
      platform::SendDebugText(message.c_str());
    }
    size_ = file_ != -1 ? platform::SeekToEnd(file_) : -1;
    open_pending_ = false;
  }

  if (mutex_ == nullptr)
    return size_;
  platform::WaitOutcome outcome = mutex_->TryAcquire();
  if (outcome == platform::WaitOutcome::kBusy) {
    if (wait == 0)
      return size_;
    outcome = mutex_->Acquire();
  }
  // An abandoned mutex is owned all the same: its last owner ended, and this batch goes on.
  if (outcome != platform::WaitOutcome::kOwned && outcome != platform::WaitOutcome::kAbandoned)
    return size_;

  {
    platform::ScopedLock hold(queue_lock_);
    writing_.swap(queue_);
    queued_bytes_ = 0;
  }
  for (const std::string& line : writing_) {
    const int written =
        file_ != -1 ? platform::WriteBytes(file_, line.data(), static_cast<unsigned>(line.size())) : -1;
    size_ = AddWrapping(size_, written);
  }
  mutex_->Release();
  writing_.clear();  // keeps its room for the next batch
  return size_;
}

int LogAppender::Clear() {
  if (!open_pending_) {
    if (file_ != -1) {
      platform::CloseFile(file_);
      file_ = -1;
    }
    open_pending_ = true;
  }
  std::vector<std::string> discarded;
  int deleted;
  int error;
  {
    platform::ScopedLock hold(queue_lock_);
    size_ = 0;
    discarded.swap(queue_);
    queued_bytes_ = 0;
    deleted = platform::UnlinkFile(path_.c_str()) == 0 ? 1 : 0;
    error = platform::LastErrorCode();
  }
  discarded.clear();
  // The caller reads the reason of a failed deletion right after this call.
  if (deleted == 0)
    platform::SetLastErrorCode(error);
  return deleted;
}

}  // namespace LogUtils
