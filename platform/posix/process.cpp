#include "platform/process.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/posix/command_line.h"
#include "platform/posix/native_text.h"

extern char** environ;

namespace platform {

// Both ids are asked of the kernel once and kept: every log line carries them, and each asking is
// a system call. A forked child learns its own anew.
namespace {

std::atomic<pid_t> g_process_id{0};
thread_local pid_t t_thread_id = 0;

void ForgetIds() {
  g_process_id.store(0, std::memory_order_relaxed);
  t_thread_id = 0;
}

[[maybe_unused]] const int g_fork_handler = ::pthread_atfork(nullptr, nullptr, ForgetIds);

}  // namespace

unsigned long CurrentProcessId() {
  pid_t id = g_process_id.load(std::memory_order_relaxed);
  if (id == 0) {
    id = ::getpid();
    g_process_id.store(id, std::memory_order_relaxed);
  }
  return static_cast<unsigned long>(id);
}

unsigned long CurrentThreadId() {
  if (t_thread_id == 0)
    t_thread_id = ::gettid();
  return static_cast<unsigned long>(t_thread_id);
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  struct timespec remaining;
  remaining.tv_sec = milliseconds / 1000;
  remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

void ExitProcessNow(int code) {
  ::_exit(code);
}

std::size_t GetExecutablePath(wchar_t* path, std::size_t capacity) {
  if (path == nullptr || capacity == 0)
    return 0;
  char target[PATH_MAX + 1];
  const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
    return 0;
  const std::wstring wide = posix::ToWide(std::string(target, static_cast<std::size_t>(length)));
  if (wide.empty() || wide.size() >= capacity)
    return 0;
  std::wmemcpy(path, wide.c_str(), wide.size() + 1);
  return wide.size();
}

// The child is started through a short-lived intermediate process, so that it is not this
// process's child: nobody here has to reap it, and it runs on after this process ends. A pidfd,
// opened while the intermediate still holds the child, lets this process wait for its end without
// any risk of a reused process id.
struct ChildProcess::Impl {
  pid_t pid = -1;
  int pidfd = -1;
};

namespace {

bool ReadAll(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, bytes + done, size - done);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

void WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = ::write(fd, bytes + done, size - done);
    if (put < 0 && errno == EINTR)
      continue;
    if (put <= 0)
      return;
    done += static_cast<std::size_t>(put);
  }
}

void ClosePair(int fds[2]) {
  for (int i = 0; i < 2; ++i) {
    if (fds[i] >= 0)
      ::close(fds[i]);
    fds[i] = -1;
  }
}

// Runs in the grandchild, between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecChild(const char* program, char* const* argv, int status_fd) {
  // Every descriptor above standard error closes at exec, whatever its owner meant it for.
  ::syscall(SYS_close_range, 3U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */);
  ::execve(program, argv, environ);
  const int error = errno;
  WriteAll(status_fd, &error, sizeof error);
  ::_exit(127);
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Create(wchar_t* command_line, std::uint16_t show_window) {
  (void)show_window;  // there are no windows to show here
  if (command_line == nullptr)
    return nullptr;
  const std::vector<std::wstring> words = posix::SplitCommandLine(command_line);
  if (words.empty() || words[0].empty())
    return nullptr;

  // Everything the children need is prepared before the first fork.
  std::vector<std::string> narrow;
  narrow.reserve(words.size());
  for (const std::wstring& word : words)
    narrow.push_back(posix::ToNarrow(word.c_str()));
  std::vector<char*> argv;
  for (std::string& word : narrow)
    argv.push_back(word.data());
  argv.push_back(nullptr);

  int report[2] = {-1, -1};   // intermediate -> caller: the child's process id
  int release[2] = {-1, -1};  // caller -> intermediate: closed when the intermediate may end
  int status[2] = {-1, -1};   // child -> caller: errno of a failed exec; closed by a successful one
  if (::pipe2(report, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0 ||
      ::pipe2(status, O_CLOEXEC) != 0) {
    ClosePair(report);
    ClosePair(release);
    ClosePair(status);
    return nullptr;
  }

  const pid_t middle = ::fork();
  if (middle < 0) {
    ClosePair(report);
    ClosePair(release);
    ClosePair(status);
    return nullptr;
  }
  if (middle == 0) {
    ::close(release[1]);
    ::close(report[0]);
    ::close(status[0]);
    const pid_t child = ::fork();
    if (child == 0)
      ExecChild(narrow[0].c_str(), argv.data(), status[1]);
    WriteAll(report[1], &child, sizeof child);
    char ignored;
    while (::read(release[0], &ignored, 1) < 0 && errno == EINTR) {
    }
    ::_exit(0);
  }

  ::close(report[1]);
  ::close(release[0]);
  ::close(status[1]);
  pid_t child = -1;
  if (!ReadAll(report[0], &child, sizeof child))
    child = -1;
  int pidfd = -1;
  if (child > 0)
    pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
  if (pidfd >= 0)
    ::fcntl(pidfd, F_SETFD, FD_CLOEXEC);
  ::close(release[1]);
  ::close(report[0]);
  while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
  }

  int exec_error = 0;
  const bool failed = ReadAll(status[0], &exec_error, sizeof exec_error);
  ::close(status[0]);
  if (child <= 0 || failed) {
    if (pidfd >= 0)
      ::close(pidfd);
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->pid = child;
  impl->pidfd = pidfd;
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() {
  if (impl_->pidfd >= 0)
    ::close(impl_->pidfd);
}

namespace {

long long MonotonicMilliseconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000LL;
}

}  // namespace

bool ChildProcess::WaitForExit(std::uint32_t milliseconds) {
  const bool forever = milliseconds == kWaitForever;
  const long long deadline = MonotonicMilliseconds() + milliseconds;
  while (true) {
    const long long left = forever ? -1 : std::max(0LL, deadline - MonotonicMilliseconds());
    if (impl_->pidfd < 0) {
      // Without a pidfd the child can only be looked at now and then.
      if (::kill(impl_->pid, 0) != 0 && errno == ESRCH)
        return true;
      if (left == 0)
        return false;
      ::usleep(10000);
      continue;
    }
    struct pollfd watch = {impl_->pidfd, POLLIN, 0};
    const int ready = ::poll(&watch, 1, left > INT_MAX ? INT_MAX : static_cast<int>(left));
    if (ready > 0)
      return true;
    if (ready < 0 && errno != EINTR)
      return false;
    if (ready == 0 && left == 0)
      return false;
  }
}

bool ChildProcess::WaitForInputIdle(std::uint32_t milliseconds) {
  // Programs here have no input queue that could be idle: there is nothing to wait for.
  (void)milliseconds;
  return true;
}

}  // namespace platform
