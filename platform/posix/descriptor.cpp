#include "platform/posix/descriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform::posix {

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0 && fd_ != fd)
    ::close(fd_);
  fd_ = fd;
}

bool MakePipe(UniqueFd* read_end, UniqueFd* write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    return false;
  read_end->Reset(fds[0]);
  write_end->Reset(fds[1]);
  return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t put = ::write(fd, bytes, size);
    if (put < 0 && errno == EINTR)
      continue;
    if (put <= 0)
      return false;
    bytes += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool ReadAll(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(data);
  while (size > 0) {
    const ssize_t got = ::read(fd, bytes, size);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace platform::posix
