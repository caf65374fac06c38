// A program file, opened once to be checked and started, so that the file whose bytes were
// checked is the file that starts, whatever its name names by then.
#pragma once

#include <memory>

namespace platform {

class ProgramFile {
 public:
  // Opens the program file at `path`. Null when the path is null or empty, or when the system has
  // to open the file itself and there is no regular file there that can be read (a folder, a
  // FIFO, a device is refused without being opened, and nothing blocks).
  static std::unique_ptr<ProgramFile> Open(const wchar_t* path);

  ~ProgramFile();
  ProgramFile(const ProgramFile&) = delete;
  ProgramFile& operator=(const ProgramFile&) = delete;

  // The path the file was opened by.
  const wchar_t* path() const;

  struct Impl;
  const Impl& impl() const { return *impl_; }

 private:
  explicit ProgramFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
