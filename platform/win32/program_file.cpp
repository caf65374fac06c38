// On Windows the system opens a program file by its name: the trust service from its path, the
// process start from the command line. The program file only carries the path to both.
#include "platform/program_file.h"

#include <string>

#include "platform/process.h"

namespace platform {

struct ProgramFile::Impl {
  std::wstring path;
};

std::unique_ptr<ProgramFile> ProgramFile::Open(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0')
    return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  return std::unique_ptr<ProgramFile>(new ProgramFile(std::move(impl)));
}

ProgramFile::ProgramFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ProgramFile::~ProgramFile() = default;

const wchar_t* ProgramFile::path() const {
  return impl_->path.c_str();
}

std::unique_ptr<ChildProcess> ChildProcess::Create(const ProgramFile& program, wchar_t* command_line,
                                                   std::uint16_t show_window) {
  // The program is the command line's first word, which the launcher made from the same path.
  (void)program;
  return Create(command_line, show_window);
}

}  // namespace platform
