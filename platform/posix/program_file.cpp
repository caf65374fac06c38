#include "platform/program_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/text.h"
#include "platform/posix/program_file.h"

namespace platform {

std::unique_ptr<ProgramFile> ProgramFile::Open(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0')
    return nullptr;
  // Found first without being opened (O_PATH): a FIFO would block an open for reading until some
  // writer came, and a device may act on being opened. Only a regular file goes on.
  posix::UniqueFd found(::open(ToNarrow(path).c_str(), O_PATH | O_CLOEXEC));
  struct stat info;
  if (!found.valid() || ::fstat(found.get(), &info) != 0 || !S_ISREG(info.st_mode))
    return nullptr;
  // The file found is then opened for reading through its descriptor, never again by its name.
  const std::string reopen = "/proc/self/fd/" + std::to_string(found.get());
  posix::UniqueFd file(::open(reopen.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat opened;
  if (!file.valid() || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
      opened.st_dev != info.st_dev || opened.st_ino != info.st_ino) {
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  impl->fd = std::move(file);
  return std::unique_ptr<ProgramFile>(new ProgramFile(std::move(impl)));
}

ProgramFile::ProgramFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ProgramFile::~ProgramFile() = default;

const wchar_t* ProgramFile::path() const {
  return impl_->path.c_str();
}

}  // namespace platform
