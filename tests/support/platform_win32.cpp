#include <stdlib.h>
#include <windows.h>

#include "tests/support/test_support.h"

namespace testing_support {

// An empty value removes the variable here: Windows keeps no empty variables.
ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name))
    old_ = old;
  _putenv_s(name, value ? value->c_str() : "");
}

ScopedEnv::~ScopedEnv() {
  _putenv_s(name_.c_str(), old_ ? old_->c_str() : "");
}

DeletionBlocker::DeletionBlocker(const std::filesystem::path& path) : error_(ERROR_SHARING_VIOLATION) {
  handle_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

DeletionBlocker::~DeletionBlocker() {
  if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE)
    CloseHandle(handle_);
}

}  // namespace testing_support
