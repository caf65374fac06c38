#include <stdlib.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/text.h"

#include "tests/support/test_support.h"

namespace testing_support {

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name))
    old_ = old;
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

// Held open for appending, as another logging process holds it.
DeletionBlocker::DeletionBlocker(const std::filesystem::path& path) : error_(platform::kFileInUseError) {
  platform::OpenForAppend(platform::ToWide(path.string()).c_str(), &descriptor_);
}

DeletionBlocker::~DeletionBlocker() {
  platform::CloseFile(descriptor_);
}

}  // namespace testing_support
