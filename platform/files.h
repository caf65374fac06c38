// Files: deletion, and the low-level descriptor calls that the log appender is built on.
#pragma once

#include <cstdint>

namespace platform {

// The error of a deletion that failed because some process has the file open for appending (see
// OpenForAppend): the system's sharing violation.
extern const int kFileInUseError;

// Deletes the file at `path`. A link is removed itself and its target stays. Returns true only when
// a file was removed; a folder is never removed, and neither is a file that some process has open
// for appending (the reason, kFileInUseError, is left as the thread's last error).
bool DeleteFileAt(const wchar_t* path);

// Opens `path` for appending: write-only, every write goes to the then-current end of the file, the
// file is created when missing (writable for its owner) and never truncated, bytes are written
// untranslated, other openers may read and write it meanwhile but nobody may delete it while the
// descriptor is open, and started child processes never inherit the descriptor. Only a plain file
// is opened, and the open never waits for a reader or writer at the other end of anything. Returns
// 0 and stores the descriptor in `*fd`, or returns an error code and stores -1.
int OpenForAppend(const wchar_t* path, int* fd);

// Moves `fd` to the end of its file and returns the new position, or -1 on failure (also for a file
// whose length does not fit in 31 bits, and for the descriptor -1).
std::int32_t SeekToEnd(int fd);

// One write of `size` bytes. Returns the number of bytes written, or -1 (also for the descriptor -1).
int WriteBytes(int fd, const void* data, unsigned size);

// Closes `fd`. Returns 0 on success.
int CloseFile(int fd);

// Deletes the file at `path`, as DeleteFileAt does. Returns 0 on success; on failure returns -1 and
// leaves the reason as the thread's last error (see diagnostics.h).
int UnlinkFile(const wchar_t* path);

}  // namespace platform
