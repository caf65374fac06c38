// Starting another program, optionally only when its publisher's signature is accepted.
#pragma once

#include <cstdint>

// Starts `path` as a child process with the command line "\"path\" arguments" (or "\"path\" " with
// no arguments). With `verify` set, the file is started only if VerifyPublisher accepts it. With
// `wait` set, waits up to `wait_ms` for the child to end; with `input_idle_ms` given, then waits up
// to that long for it to be idle for input. `show_command` is the child's initial window state.
// The file is opened once: the file that is checked is the file that starts, where the system
// can start an open file. Returns non-zero when the process was created; 0 for a null or empty
// path, a path that is no regular file, a refused file, a path that the command line cannot carry,
// a command line longer than the launcher's 2048-character buffer, or a failed creation.
std::int32_t LaunchProcess(const wchar_t* path, const wchar_t* arguments, std::int32_t show_command,
                           std::int32_t verify, std::int32_t wait, std::uint32_t wait_ms,
                           const std::uint32_t* input_idle_ms);
