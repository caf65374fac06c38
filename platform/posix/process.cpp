#include "platform/process.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/command_line.h"
#include "platform/text.h"
#include "platform/posix/program_file.h"
#include "platform/posix/spawn.h"

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
  const std::wstring wide = ToWide(std::string(target, static_cast<std::size_t>(length)));
  if (wide.empty() || wide.size() >= capacity)
    return 0;
  std::wmemcpy(path, wide.c_str(), wide.size() + 1);
  return wide.size();
}

// The child is started from the program file's descriptor through a short-lived intermediate
// process (posix::SpawnDetached), so that it is not this process's child: nobody here has to reap
// it, and it runs on after this process ends. Its pidfd lets this process wait for its end
// without any risk of a reused process id.
//
// A script (a file starting with "#!") does not start: its interpreter would have to open it again
// by a name, /dev/fd/N, and the descriptor it would name is closed at the exec like every other.
// Only a program that the system loads itself from the verified descriptor runs.
struct ChildProcess::Impl {
  pid_t pid = -1;
  posix::UniqueFd pidfd;
};

namespace {

// The words of `command_line` in the system's narrow text, when its first word gives back the
// program's path unchanged; a line that would name anything else starts nothing.
std::optional<std::vector<std::string>> ArgumentsFor(const ProgramFile& program,
                                                     const wchar_t* command_line) {
  const std::vector<std::wstring> words = posix::SplitCommandLine(command_line);
  if (words.empty() || words[0] != program.path())
    return std::nullopt;
  std::vector<std::string> narrow;
  narrow.reserve(words.size());
  for (const std::wstring& word : words)
    narrow.push_back(ToNarrow(word.c_str()));
  return narrow;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Create(const ProgramFile& program, wchar_t* command_line,
                                                   std::uint16_t show_window) {
  (void)show_window;  // there are no windows to show here
  if (command_line == nullptr)
    return nullptr;
  std::optional<std::vector<std::string>> words = ArgumentsFor(program, command_line);
  if (!words)
    return nullptr;
  const posix::ExecWords argv(std::move(*words));

  posix::SpawnRequest request;
  request.program_fd = program.impl().fd.get();
  request.argv = argv.get();
  request.own_session = true;
  auto impl = std::make_unique<Impl>();
  impl->pid = posix::SpawnDetached(request, &impl->pidfd);
  if (impl->pid <= 0)
    return nullptr;
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

std::unique_ptr<ChildProcess> ChildProcess::Create(wchar_t* command_line, std::uint16_t show_window) {
  if (command_line == nullptr)
    return nullptr;
  const std::vector<std::wstring> words = posix::SplitCommandLine(command_line);
  if (words.empty())
    return nullptr;
  const std::unique_ptr<ProgramFile> program = ProgramFile::Open(words[0].c_str());
  if (program == nullptr)
    return nullptr;
  return Create(*program, command_line, show_window);
}

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() = default;

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
    if (!impl_->pidfd.valid()) {
      // Without a pidfd the child can only be looked at now and then.
      if (::kill(impl_->pid, 0) != 0 && errno == ESRCH)
        return true;
      if (left == 0)
        return false;
      ::usleep(10000);
      continue;
    }
    struct pollfd watch = {impl_->pidfd.get(), POLLIN, 0};
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
