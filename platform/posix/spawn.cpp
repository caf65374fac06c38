#include "platform/posix/spawn.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

extern char** environ;

namespace platform::posix {

ExecWords::ExecWords(std::vector<std::string> words) : words_(std::move(words)) {
  pointers_.reserve(words_.size() + 1);
  for (std::string& word : words_)
    pointers_.push_back(word.data());
  pointers_.push_back(nullptr);
}

bool MarkCloseOnExecFromProcList() {
  const int list = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (list < 0)
    return false;
  // getdents64 into a buffer of our own: opendir would allocate, which a forked child must not.
  alignas(8) char buffer[4096];
  bool complete = true;
  while (true) {
    const long got = ::syscall(SYS_getdents64, list, buffer, sizeof buffer);
    if (got == 0)
      break;
    if (got < 0) {
      complete = false;
      break;
    }
    for (long offset = 0; offset < got;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + offset);
      offset += entry->d_reclen;
      int fd = 0;
      bool number = entry->d_name[0] != '\0';
      for (const char* c = entry->d_name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
          number = false;
          break;
        }
        fd = fd * 10 + (*c - '0');
      }
      if (number && fd > 2 && fd != list)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
  ::close(list);
  return complete;
}

namespace {

// Everything from here to the exec runs in a forked child of a process that may have other
// threads: only async-signal-safe calls, nothing that allocates.

[[noreturn]] void FailStart(int status_fd) {
  const int error = errno;
  WriteAll(status_fd, &error, sizeof error);
  ::_exit(127);
}

void ResetSignals() {
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  ::sigemptyset(&default_action.sa_mask);
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP)
      ::sigaction(signal, &default_action, nullptr);  // the C library's own signals refuse: fine
  }
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// A descriptor of `fd`'s file above standard error, so that installing 0 to 2 cannot clobber it;
// -1 stays -1.
int AboveStandardError(int fd) {
  return fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
}

// Every descriptor from 3 up closes at the exec; the ones the start still needs stay usable until
// then. Where close_range cannot mark them, the list of open descriptors is walked; where that
// cannot be read either, every number below the descriptor limit is.
bool CloseEverythingAboveStandardErrorAtExec() {
  if (::syscall(SYS_close_range, 3U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */) == 0)
    return true;
  if (MarkCloseOnExecFromProcList())
    return true;
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return false;
  const rlim_t top =
      limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > (1u << 20) ? (1u << 20) : limit.rlim_cur;
  for (rlim_t fd = 3; fd < top; ++fd)
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  return true;
}

[[noreturn]] void StartInChild(const SpawnRequest& request, int status_fd) {
  ResetSignals();
  status_fd = AboveStandardError(status_fd);
  if (status_fd < 0)
    ::_exit(127);
  if (request.own_session && ::setsid() < 0)
    FailStart(status_fd);
  if (request.folder != nullptr && ::chdir(request.folder) != 0)
    FailStart(status_fd);

  const int program = AboveStandardError(request.program_fd);
  const int output = AboveStandardError(request.output_fd);
  const int null = AboveStandardError(::open("/dev/null", O_RDWR | O_CLOEXEC | O_NOCTTY));
  if (null < 0 || (request.program_fd >= 0 && program < 0) || (request.output_fd >= 0 && output < 0))
    FailStart(status_fd);
  // dup2 onto 0 to 2 from descriptors above them: each standard descriptor stays open at exec.
  if (::dup2(null, 0) < 0 || ::dup2(output >= 0 ? output : null, 1) < 0 ||
      ::dup2(output >= 0 ? output : null, 2) < 0) {
    FailStart(status_fd);
  }
  if (!CloseEverythingAboveStandardErrorAtExec())
    FailStart(status_fd);

  char* const* envp = request.envp != nullptr ? request.envp : environ;
  if (program >= 0) {
    ::fexecve(program, request.argv, envp);
  } else {
    ::execve(request.program_path, request.argv, envp);
  }
  FailStart(status_fd);
}

// Blocks every signal for the life of the object: a handler of this process must never run in a
// forked child before the child has reset them.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &saved_);
  }
  ~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t saved_;
};

// The errno that a failed start reported through `status`, or 0 when the program started: the
// pipe's end in the child closes at a successful exec without a word.
int StartError(UniqueFd status) {
  int error = 0;
  return ReadAll(status.get(), &error, sizeof error) ? (error != 0 ? error : ECHILD) : 0;
}

void Reap(pid_t pid) {
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

bool Usable(const SpawnRequest& request) {
  return request.argv != nullptr && request.argv[0] != nullptr &&
         (request.program_fd >= 0 || request.program_path != nullptr);
}

pid_t Failed(int* error, int reason) {
  if (error != nullptr)
    *error = reason;
  return -1;
}

}  // namespace

pid_t Spawn(const SpawnRequest& request, int* error) {
  if (!Usable(request))
    return Failed(error, EINVAL);
  UniqueFd status_read, status_write;
  if (!MakePipe(&status_read, &status_write))
    return Failed(error, errno);
  pid_t child;
  {
    const SignalsBlocked blocked;
    child = ::fork();
    if (child == 0)
      StartInChild(request, status_write.get());
  }
  if (child < 0)
    return Failed(error, errno);
  status_write.Reset();
  if (const int reason = StartError(std::move(status_read)); reason != 0) {
    Reap(child);
    return Failed(error, reason);
  }
  return child;
}

pid_t SpawnDetached(const SpawnRequest& request, UniqueFd* pidfd, int* error) {
  pidfd->Reset();
  if (!Usable(request))
    return Failed(error, EINVAL);
  UniqueFd report_read, report_write;    // intermediate -> caller: the child's process id
  UniqueFd release_read, release_write;  // caller -> intermediate: closed when it may end
  UniqueFd status_read, status_write;    // child -> caller: errno of a failed start
  if (!MakePipe(&report_read, &report_write) || !MakePipe(&release_read, &release_write) ||
      !MakePipe(&status_read, &status_write)) {
    return Failed(error, errno);
  }

  pid_t middle;
  {
    const SignalsBlocked blocked;
    middle = ::fork();
    if (middle == 0) {
      ::close(release_write.get());
      const pid_t child = ::fork();
      if (child == 0)
        StartInChild(request, status_write.get());
      WriteAll(report_write.get(), &child, sizeof child);
      char ignored;
      while (::read(release_read.get(), &ignored, 1) < 0 && errno == EINTR) {
      }
      ::_exit(0);
    }
  }
  if (middle < 0)
    return Failed(error, errno);
  report_write.Reset();
  release_read.Reset();
  status_write.Reset();

  pid_t child = -1;
  if (!ReadAll(report_read.get(), &child, sizeof child) || child <= 0)
    child = -1;
  if (child > 0)
    pidfd->Reset(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
  release_write.Reset();
  Reap(middle);

  const int reason = child > 0 ? StartError(std::move(status_read)) : EAGAIN;
  if (reason != 0) {
    pidfd->Reset();
    return Failed(error, reason);
  }
  return child;
}

int WaitForExitCode(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR)
      return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace platform::posix
