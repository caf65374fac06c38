// Open file descriptors, owned: the descriptor closes when its owner goes.
#pragma once

#include <cstddef>

namespace platform::posix {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other)
      Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held, if any, and holds `fd` instead.
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

// A pipe whose ends both close at exec. False when none can be made.
bool MakePipe(UniqueFd* read_end, UniqueFd* write_end);

// Writes or reads all `size` bytes, going on after interruptions. False when the descriptor fails
// or, for a read, ends first. Both are async-signal-safe.
bool WriteAll(int fd, const void* data, std::size_t size);
bool ReadAll(int fd, void* data, std::size_t size);

}  // namespace platform::posix
