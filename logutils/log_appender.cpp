#include "logutils/log_appender.h"

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

// Writes `value` in decimal, right-aligned with blanks in at least `width` columns, as printf's
// "%5d" and "%02d" (with `fill` '0') do; longer numbers are written whole.
std::size_t PutNumber(wchar_t* out, long long value, std::size_t width, wchar_t fill) {
  wchar_t digits[24];
  std::size_t count = 0;
  const bool negative = value < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) {
    if (fill == L'0') {
      // "%02d" puts the sign before the zeros.
      std::size_t written = 0;
      out[written++] = L'-';
      for (std::size_t i = count + 1; i < width; ++i) out[written++] = L'0';
      while (count > 0) out[written++] = digits[--count];
      return written;
    }
    digits[count++] = L'-';
  }
  std::size_t written = 0;
  for (std::size_t i = count; i < width; ++i) out[written++] = fill;
  while (count > 0) out[written++] = digits[--count];
  return written;
}

// "MM-DD hh:mm:ss.mmm [  pid][  tid]" and, with a label, "[label]"; a label that does not fit
// the buffer is cut so that its closing bracket still does. Returns the prefix's length.
std::size_t FormatPrefix(const std::wstring& label, wchar_t (&prefix)[kPrefixUnits]) {
  platform::LocalTime now = {};
  if (!platform::ReadLocalTime(&now)) now = {};
  std::size_t used = 0;
  used += PutNumber(prefix + used, now.month + 1, 2, L'0');
  prefix[used++] = L'-';
  used += PutNumber(prefix + used, now.day, 2, L'0');
  prefix[used++] = L' ';
  used += PutNumber(prefix + used, now.hour, 2, L'0');
  prefix[used++] = L':';
  used += PutNumber(prefix + used, now.minute, 2, L'0');
  prefix[used++] = L':';
  used += PutNumber(prefix + used, now.second, 2, L'0');
  prefix[used++] = L'.';
  used += PutNumber(prefix + used, now.millisecond, 3, L'0');
  prefix[used++] = L' ';
  prefix[used++] = L'[';
  used += PutNumber(prefix + used, static_cast<int>(platform::CurrentProcessId()), 5, L' ');
  prefix[used++] = L']';
  prefix[used++] = L'[';
  used += PutNumber(prefix + used, static_cast<int>(platform::CurrentThreadId()), 5, L' ');
  prefix[used++] = L']';
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
  }
  if (mutex_ != nullptr && created) {
    if (delete_existing_ != 0) platform::UnlinkFile(path_.c_str());
    mutex_->Release();
  }
}

LogAppender::~LogAppender() {
  if (file_ != -1) platform::CloseFile(file_);
}

void LogAppender::Append(const std::wstring& text) {
  wchar_t prefix[kPrefixUnits] = {};
  const std::size_t prefix_length = FormatPrefix(label_, prefix);
  std::wstring line;
  line.reserve(prefix_length + text.size());
  line.append(prefix, prefix_length).append(text);

  // The buffer is sized from what the conversion needs: in a multi-byte code page one wide
  // character may take up to four bytes.
  const int units = static_cast<int>(line.size());
  const int needed = platform::WideToAnsi(line.data(), units, nullptr, 0);
  std::string bytes(static_cast<std::size_t>(needed > 0 ? needed : 0) + 2, '\0');
  const int converted = needed > 0 ? platform::WideToAnsi(line.data(), units, bytes.data(), needed) : 0;
  bytes.resize(static_cast<std::size_t>(converted));
  bytes += "\r\n";

  platform::ScopedLock hold(queue_lock_);
  if (queued_bytes_ + bytes.size() > kQueueLimitBytes) return;
  queued_bytes_ += bytes.size();
  queue_.push_back(std::move(bytes));
}

std::int32_t LogAppender::Write(const std::wstring& text, int wait) {
  Append(text);

  if (open_pending_) {
    const int error = platform::OpenForAppend(path_.c_str(), &file_);
    if (error != 0) {
      const std::wstring message = L"open " + path_ + L" error. [" + std::to_wstring(error) + L"]\r\n";
      platform::SendDebugText(message.c_str());
    }
    size_ = file_ != -1 ? platform::SeekToEnd(file_) : -1;
    open_pending_ = false;
  }

  if (mutex_ == nullptr) return size_;
  platform::WaitOutcome outcome = mutex_->TryAcquire();
  if (outcome == platform::WaitOutcome::kBusy) {
    if (wait == 0) return size_;
    outcome = mutex_->Acquire();
  }
  // An abandoned mutex is owned all the same: its last owner ended, and this batch goes on.
  if (outcome != platform::WaitOutcome::kOwned && outcome != platform::WaitOutcome::kAbandoned) return size_;

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
  if (deleted == 0) platform::SetLastErrorCode(error);
  return deleted;
}

}  // namespace LogUtils
