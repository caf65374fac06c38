// Process-local locking: a re-entrant lock and its scoped holder.
#pragma once

namespace platform {

// A re-entrant lock: the thread that holds it may take it again, and must leave it as often.
class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter();
  void Leave();

 private:
  // Room for the platform's lock object, which each implementation checks at compile time.
  alignas(16) unsigned char storage_[64];
};

// Holds a CriticalSection for the lifetime of the scope.
class ScopedLock {
 public:
  explicit ScopedLock(CriticalSection& lock) : lock_(lock) { lock_.Enter(); }
  ~ScopedLock() { lock_.Leave(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  CriticalSection& lock_;
};

}  // namespace platform
