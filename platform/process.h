// The running process and the processes it starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

class ProgramFile;

unsigned long CurrentProcessId();
unsigned long CurrentThreadId();

// Blocks the calling thread for `milliseconds`.
void SleepMilliseconds(std::uint32_t milliseconds);

// Ends the process at once with `code`: no exit handler and no static destructor runs.
[[noreturn]] void ExitProcessNow(int code);

// Writes the full path of the running executable, terminated, into `path` (`capacity` wide
// characters) and returns its length. Returns 0 when the path cannot be had or does not fit; a path
// is never cut.
std::size_t GetExecutablePath(wchar_t* path, std::size_t capacity);

inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFF;

// A started child process. Destroying it closes what the caller holds of the child (the thread,
// then the process); the child itself runs on, also after the caller has ended.
class ChildProcess {
 public:
  // Starts the program named by the first word of `command_line` (a buffer the system may write
  // to while it starts the program) with the whole command line, whose
  // words follow the Windows command-line rules: a quoted first word is taken up to the next quote;
  // the words after it are split as the run-time library of a started program splits them. The
  // program is never searched for on the search path and never run through a shell. The child
  // inherits the environment and the current folder, and no handle or descriptor besides its
  // standard input, output and error. `show_window` is the child's initial window state where the
  // platform has windows. Returns null when the process cannot be created.
  static std::unique_ptr<ChildProcess> Create(wchar_t* command_line, std::uint16_t show_window);
  // Starts `program`, opened before, with `command_line`, whose first word must be the path it was
  // opened by; else as above. Where the system starts programs from an open file, the file opened
  // is the one that starts, even when its name has been given to another file since; the child
  // then inherits no descriptor at all: its standard input, output and error are the null device,
  // and it starts in a session of its own with the default handling of every signal.
  static std::unique_ptr<ChildProcess> Create(const ProgramFile& program, wchar_t* command_line,
                                              std::uint16_t show_window);

  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits at most `milliseconds` (kWaitForever: without limit) for the child to end. True when it
  // has ended.
  bool WaitForExit(std::uint32_t milliseconds);
  // Waits at most `milliseconds` until the child waits for user input with nothing pending.
  bool WaitForInputIdle(std::uint32_t milliseconds);

  struct Impl;

 private:
  explicit ChildProcess(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
