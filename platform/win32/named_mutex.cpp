#include "platform/named_mutex.h"

#include <windows.h>

namespace platform {

struct NamedMutex::Impl {
  HANDLE handle = nullptr;
  ~Impl() {
    if (handle != nullptr)
      CloseHandle(handle);
  }
};

namespace {

WaitOutcome Wait(HANDLE handle, DWORD milliseconds) {
  switch (WaitForSingleObject(handle, milliseconds)) {
    case WAIT_OBJECT_0:
      return WaitOutcome::kOwned;
    case WAIT_ABANDONED:
      return WaitOutcome::kAbandoned;
    case WAIT_TIMEOUT:
      return WaitOutcome::kBusy;
    default:
      return WaitOutcome::kFailed;
  }
}

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::CreateOwned(const std::wstring& name, bool* created) {
  *created = false;
  // Default security, initial ownership (granted only to the creator), no namespace prefix.
  HANDLE handle = CreateMutexW(nullptr, TRUE, name.c_str());
  if (handle == nullptr)
    return nullptr;
  *created = GetLastError() != ERROR_ALREADY_EXISTS;
  auto impl = std::make_unique<Impl>();
  impl->handle = handle;
  return std::unique_ptr<NamedMutex>(new NamedMutex(std::move(impl)));
}

std::unique_ptr<NamedMutex> NamedMutex::CreatePrivateOwned() {
  HANDLE handle = CreateMutexW(nullptr, TRUE, nullptr);
  if (handle == nullptr)
    return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->handle = handle;
  return std::unique_ptr<NamedMutex>(new NamedMutex(std::move(impl)));
}

NamedMutex::NamedMutex(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

NamedMutex::~NamedMutex() = default;

WaitOutcome NamedMutex::TryAcquire() {
  return Wait(impl_->handle, 0);
}

WaitOutcome NamedMutex::Acquire() {
  return Wait(impl_->handle, INFINITE);
}

bool NamedMutex::Release() {
  return ReleaseMutex(impl_->handle) != FALSE;
}

}  // namespace platform
