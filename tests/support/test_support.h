// Helpers shared by the tests: throwaway folders, files, and programs run as separate processes.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// The folder that holds the built programs and libraries.
std::filesystem::path BinDir();
// The folder that holds the test programs and test libraries.
std::filesystem::path TestBinDir();
// The test program `name` in TestBinDir(), with the system's suffix for programs.
std::filesystem::path TestProgram(const std::string& name);

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& part) const { return path_ / part; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& content);
std::vector<std::string> SplitLines(const std::string& text, const std::string& separator = "\n");

// Sets an environment variable for the lifetime of the object and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Keeps the file at `path` from being deleted until the object goes, by holding it open as another
// process would: without sharing its deletion on Windows, open for appending as the log is on
// POSIX. `error()` is the error the next deletion will fail with.
class DeletionBlocker {
 public:
  explicit DeletionBlocker(const std::filesystem::path& path);
  ~DeletionBlocker();
  DeletionBlocker(const DeletionBlocker&) = delete;
  DeletionBlocker& operator=(const DeletionBlocker&) = delete;
  int error() const { return error_; }

 private:
  void* handle_ = nullptr;  // Windows
  int descriptor_ = -1;     // POSIX
  int error_ = 0;
};

struct RunOptions {
  std::map<std::string, std::string> env;  // set (or, with an empty value, kept empty) on top of ours
  std::vector<std::string> unset;          // removed from the child's environment
  std::filesystem::path cwd;               // empty: ours
  std::chrono::milliseconds timeout{60000};
  bool fast_clock = false;  // run under libfaketime at a hundred times the speed (Linux)
};

struct RunResult {
  int exit_code = -1;  // -1 when the program did not end normally or was killed at the timeout
  bool timed_out = false;
  std::string output;  // standard output and error together
  std::chrono::milliseconds elapsed{0};
};

// Runs `argv` (argv[0] a full path) to its end as a separate process.
RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

// Started in the background; killed and reaped on destruction if still running.
class Background {
 public:
  Background(const std::vector<std::string>& argv, const RunOptions& options = {});
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  int pid() const { return pid_; }
  // Waits for the end; returns the exit code, -1 when killed or at the timeout.
  int Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(60000));
  void Kill();

 private:
  int pid_ = -1;
  void* handle_ = nullptr;  // the process, where the system hands one out
  bool reaped_ = false;
  int status_ = 0;
};

void SleepFor(std::chrono::milliseconds duration);

// Waits until `condition` holds, polling, for at most `timeout`.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    SleepFor(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace testing_support
