// Running programs as separate processes, for the tests on POSIX.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <thread>

#include "platform/posix/spawn.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace testing_support {

namespace {

std::vector<std::string> ChildEnvironment(const RunOptions& options) {
  std::map<std::string, std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr)
      continue;
    env[std::string(*entry, static_cast<std::size_t>(equals - *entry))] = equals + 1;
  }
  for (const auto& name : options.unset)
    env.erase(name);
  for (const auto& [name, value] : options.env)
    env[name] = value;
  if (options.fast_clock) {
    // Ahead of whatever the options preload themselves.
    const auto preload = options.env.find("LD_PRELOAD");
    env["LD_PRELOAD"] =
        std::string(TIDYHAND_FAKETIME_LIBRARY) +
        (preload != options.env.end() && !preload->second.empty() ? ":" + preload->second : "");
    env["FAKETIME"] = "+0 x100";
    // A sanitized program accepts a library loaded ahead of its runtime.
    env["ASAN_OPTIONS"] = "verify_asan_link_order=0";
  }
  std::vector<std::string> flat;
  for (const auto& [name, value] : env)
    flat.push_back(name + "=" + value);
  return flat;
}

int Spawn(const std::vector<std::string>& argv, const RunOptions& options, int output_fd) {
  const platform::posix::ExecWords env(ChildEnvironment(options));
  const platform::posix::ExecWords args(argv);
  platform::posix::SpawnRequest request;
  request.program_path = argv[0].c_str();
  request.argv = args.get();
  request.envp = env.get();
  request.output_fd = output_fd;
  request.folder = options.cwd.empty() ? nullptr : options.cwd.c_str();
  return platform::posix::Spawn(request);
}

bool WaitPid(int pid, int* status, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const pid_t done = ::waitpid(pid, status, WNOHANG);
    if (done == pid)
      return true;
    if (done < 0)
      return false;
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int ExitCode(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  char output_name[] = "/tmp/tidyhand-output-XXXXXX";
  const int output_fd = ::mkstemp(output_name);
  ::unlink(output_name);
  const auto start = std::chrono::steady_clock::now();
  const int pid = Spawn(argv, options, output_fd);
  if (pid > 0) {
    int status = 0;
    if (WaitPid(pid, &status, options.timeout)) {
      result.exit_code = ExitCode(status);
    } else {
      result.timed_out = true;
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
  }
  result.elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  ::lseek(output_fd, 0, SEEK_SET);
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(output_fd, buffer, sizeof buffer)) > 0)
    result.output.append(buffer, static_cast<std::size_t>(got));
  ::close(output_fd);
  return result;
}

Background::Background(const std::vector<std::string>& argv, const RunOptions& options)
    : pid_(Spawn(argv, options, -1)) {}

Background::~Background() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
  }
}

int Background::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0)
    return -1;
  if (!reaped_) {
    if (!WaitPid(pid_, &status_, timeout))
      return -1;
    reaped_ = true;
  }
  return ExitCode(status_);
}

void Background::Kill() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
    reaped_ = true;
  }
}

}  // namespace testing_support
