#include "platform/files.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

namespace platform {

const int kFileInUseError = ERROR_SHARING_VIOLATION;

bool DeleteFileAt(const wchar_t* path) {
  return DeleteFileW(path) != FALSE;
}

int OpenForAppend(const wchar_t* path, int* fd) {
  // _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, shared for reading and writing, created writable.
  static_assert((_O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY) == 0x8109);
  static_assert((_S_IREAD | _S_IWRITE) == 0x180);
  *fd = -1;
  return _wsopen_s(fd, path, _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
}

std::int32_t SeekToEnd(int fd) {
  return _lseek(fd, 0, SEEK_END);
}

int WriteBytes(int fd, const void* data, unsigned size) {
  return _write(fd, data, size);
}

int CloseFile(int fd) {
  return _close(fd);
}

int UnlinkFile(const wchar_t* path) {
  return _wunlink(path);
}

}  // namespace platform
