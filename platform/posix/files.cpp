// Files as the program sees them on Windows, where a file that a process holds open without sharing
// its deletion cannot be deleted. Every descriptor that OpenForAppend hands out holds a shared
// flock (a lock that belongs to the open file description, so it lasts exactly as long as the
// descriptor and its duplicates) on its file; a deletion first takes the same lock exclusively and
// fails while any holder is left. An opener that finds its file deleted between its open and its
// lock opens again, so that nothing is ever written into a deleted file.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/text.h"

namespace platform {

const int kFileInUseError = EBUSY;

namespace {

// An open after which the file turns out to be deleted is tried again this often; a deletion is
// quick, so more tries than that mean a file deleted on purpose at every turn.
constexpr int kOpenAttempts = 16;

int Lock(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

// Removes the name when no descriptor of OpenForAppend has it open. Returns 0 or the error.
int DeleteUnlessInUse(const std::string& name) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    struct stat seen;
    if (::lstat(name.c_str(), &seen) != 0)
      return errno;
    if (S_ISDIR(seen.st_mode))
      return EISDIR;
    // A link, a FIFO or a device is removed itself and never opened: opening could follow it,
    // block, or start whatever a device does on open.
    if (!S_ISREG(seen.st_mode))
      return ::unlink(name.c_str()) == 0 ? 0 : errno;
    int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
      fd = ::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT || errno == ELOOP)
        continue;  // replaced since it was looked at
      // A file that can be opened neither way cannot be held open by this user's programs either.
      return ::unlink(name.c_str()) == 0 ? 0 : errno;
    }
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
      ::close(fd);
      continue;
    }
    if (Lock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno == EWOULDBLOCK ? kFileInUseError : errno;
      ::close(fd);
      return error;
    }
    const int result = ::unlink(name.c_str()) == 0 ? 0 : errno;
    ::close(fd);  // lets waiting openers see that the file is gone
    return result;
  }
  return kFileInUseError;
}

}  // namespace

bool DeleteFileAt(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0')
    return false;
  const int error = DeleteUnlessInUse(ToNarrow(path));
  if (error != 0)
    errno = error;
  return error == 0;
}

int OpenForAppend(const wchar_t* path, int* fd) {
  *fd = -1;
  if (path == nullptr || path[0] == L'\0')
    return ENOENT;
  const std::string name = ToNarrow(path);
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    // Without blocking: a FIFO in the log's place must not hold the program up.
    const int opened =
        ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (opened < 0)
      return errno;
    struct stat info;
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(opened);
      return EACCES;  // only a plain file can be the log
    }
    if (Lock(opened, LOCK_SH) != 0) {
      const int error = errno;
      ::close(opened);
      return error;
    }
    // Deleted between the open and the lock: the name now stands for nothing, or for a newer file.
    if (::fstat(opened, &info) != 0 || info.st_nlink == 0) {
      ::close(opened);
      continue;
    }
    ::fcntl(opened, F_SETFL, O_APPEND);
    *fd = opened;
    return 0;
  }
  return kFileInUseError;
}

std::int32_t SeekToEnd(int fd) {
  if (fd < 0)
    return -1;
  const off_t end = ::lseek(fd, 0, SEEK_END);
  if (end < 0 || end > INT32_MAX)
    return -1;
  return static_cast<std::int32_t>(end);
}

int WriteBytes(int fd, const void* data, unsigned size) {
  if (fd < 0)
    return -1;
  ssize_t written;
  do {
    written = ::write(fd, data, size);
  } while (written < 0 && errno == EINTR);
  return written < 0 ? -1 : static_cast<int>(written);
}

int CloseFile(int fd) {
  return fd < 0 ? -1 : ::close(fd);
}

int UnlinkFile(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0') {
    errno = ENOENT;
    return -1;
  }
  const int error = DeleteUnlessInUse(ToNarrow(path));
  if (error == 0)
    return 0;
  errno = error;
  return -1;
}

}  // namespace platform
