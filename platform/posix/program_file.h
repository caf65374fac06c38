// What an opened program file holds on POSIX.
#pragma once

#include <string>

#include "platform/posix/descriptor.h"
#include "platform/program_file.h"

namespace platform {

struct ProgramFile::Impl {
  std::wstring path;
  // The regular file found at the path, open for reading: verified through this descriptor and
  // started from it.
  posix::UniqueFd fd;
};

}  // namespace platform
