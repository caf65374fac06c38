#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/posix/native_text.h"

namespace platform {

bool DeleteFileAt(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0')
    return false;
  // unlink removes a link itself and refuses folders.
  return ::unlink(posix::ToNarrow(path).c_str()) == 0;
}

int OpenForAppend(const wchar_t* path, int* fd) {
  *fd = -1;
  if (path == nullptr || path[0] == L'\0')
    return ENOENT;
  const int opened = ::open(posix::ToNarrow(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (opened < 0)
    return errno;
  *fd = opened;
  return 0;
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
  return ::unlink(posix::ToNarrow(path).c_str()) == 0 ? 0 : -1;
}

}  // namespace platform
