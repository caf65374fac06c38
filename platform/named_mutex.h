// A mutex shared by name between all processes of the user's session.
#pragma once

#include <memory>
#include <string>

namespace platform {

enum class WaitOutcome {
  kOwned,      // the caller's thread now owns the mutex
  kAbandoned,  // owned too: the previous owner ended while it held the mutex
  kBusy,       // another thread owns it and the caller did not wait
  kFailed,     // the wait itself failed
};

// Ownership belongs to a thread and is re-entrant: the owning thread may acquire again and then
// releases as often. When the owning thread or process ends, the mutex is released and the next
// waiter gets it as abandoned.
class NamedMutex {
 public:
  // Creates the mutex `name`, or opens it when some process has it open right now. Only the creator
  // gets initial ownership; `*created` tells whether this call created it. Returns null when the
  // mutex can be neither created nor opened.
  static std::unique_ptr<NamedMutex> CreateOwned(const std::wstring& name, bool* created);

  // A mutex with the same rules but no name, so that no other process can open it; the caller
  // always creates it and owns it initially.
  static std::unique_ptr<NamedMutex> CreatePrivateOwned();

  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Takes the mutex if it is free, else returns kBusy at once.
  WaitOutcome TryAcquire();
  // Waits without limit until the mutex is taken.
  WaitOutcome Acquire();
  // Gives up one ownership of the calling thread.
  bool Release();

  struct Impl;

 private:
  explicit NamedMutex(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
