// Starting programs as child processes that inherit nothing of their starter but what they are
// given: the one way this program, its question box and its tests start processes here.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/posix/descriptor.h"

namespace platform::posix {

// Words in the form exec wants them: NUL-terminated texts and a null pointer after the last.
class ExecWords {
 public:
  explicit ExecWords(std::vector<std::string> words);
  ExecWords(const ExecWords&) = delete;
  ExecWords& operator=(const ExecWords&) = delete;
  char* const* get() const { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

// What a child is started with. It gets nothing else: standard input is /dev/null, standard
// output and error are `output_fd` or /dev/null, every other descriptor is closed, its signal mask
// is empty and every signal has its default action.
struct SpawnRequest {
  // The program: the open file `program_fd` when it is not -1, so that the very file it refers to
  // starts whatever its name now names; else the file at `program_path`. Never searched for on the
  // search path, never run through a shell.
  int program_fd = -1;
  const char* program_path = nullptr;
  char* const* argv = nullptr;
  char* const* envp = nullptr;   // null: this process's environment
  int output_fd = -1;            // standard output and error; -1: /dev/null
  const char* folder = nullptr;  // the child's current folder; null: this process's
  // A session and process group of its own, without a controlling terminal: nothing that happens
  // at this process's terminal (an interrupt, a hang-up) reaches it.
  bool own_session = false;
};

// Starts a child of this process and returns its process id. -1 when it cannot start (the program
// cannot be executed, the folder cannot be entered, ...), with `*error`, when given, the reason as
// an errno value.
pid_t Spawn(const SpawnRequest& request, int* error = nullptr);

// Starts a child that is not this process's own, through a short-lived intermediate: nobody here
// has to reap it, it is nobody's zombie and it runs on after this process ends. `*pidfd` refers to
// it for waiting (invalid where the system has no pidfds); it was taken while the intermediate
// still held the child, so it can never refer to another process that got the same id. Returns the
// child's process id, or -1 as Spawn does.
pid_t SpawnDetached(const SpawnRequest& request, UniqueFd* pidfd, int* error = nullptr);

// Waits for the child `pid` of this process to end and returns its exit code; -1 when it did not
// end by exiting, or cannot be waited for.
int WaitForExitCode(pid_t pid);

// Marks every open descriptor from 3 up close-on-exec, reading the list of open descriptors from
// /proc/self/fd: where close_range cannot do it. Async-signal-safe. False when the list cannot be
// read.
bool MarkCloseOnExecFromProcList();

}  // namespace platform::posix
