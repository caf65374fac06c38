// Files as the program sees them on Windows, where a file that a process holds open without sharing
// its deletion cannot be deleted. Every descriptor that OpenForAppend hands out holds a shared
// flock (a lock that belongs to the open file description, so it lasts exactly as long as the
// descriptor and its duplicates) on its file; a deletion first takes the same lock exclusively and
// fails while any holder is left. An opener that finds its file deleted between its open and its
// lock opens again, so that nothing is ever written into a deleted file.
//
// Only this user's processes count as holders. On Windows no other user can open a file in the
// user's profile at all; here any user who may read a file can lock it, and honouring such a lock
// would let anyone keep the user's log or configuration from being deleted, or hold a run up for
// ever. Who holds a lock is read from /proc/locks.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/text.h"

namespace platform {

const int kFileInUseError = EBUSY;

namespace {

// An open after which the file turns out to be deleted is tried again this often; a deletion is
// quick, so more tries than that mean a file deleted on purpose at every turn.
constexpr int kOpenAttempts = 16;
// How long an opener waits for a deletion of this user's that holds its file exclusively.
constexpr int kDeletionWaitMs = 5000;

int Lock(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

// Whether one of this user's processes holds a flock on the file (`device`, `inode`); with
// `exclusive_only`, an exclusive one. /proc/locks lists every lock as
// "<id>: FLOCK  ADVISORY  READ|WRITE <pid> <major>:<minor>:<inode> <start> <end>", where the pid is
// the process that took it; a holder whose process is gone, or is another user's, is not ours.
// When the list cannot be read, every lock counts as ours: the file is kept.
bool HeldByThisUser(dev_t device, ino_t inode, bool exclusive_only) {
  std::FILE* locks = std::fopen("/proc/locks", "re");
  if (locks == nullptr)
    return true;
  const uid_t uid = ::getuid();
  bool held = false;
  char line[256];
  while (!held && std::fgets(line, sizeof line, locks) != nullptr) {
    char type[16];
    char access[16];
    int pid = 0;
    unsigned int major_number = 0;
    unsigned int minor_number = 0;
    unsigned long long inode_number = 0;
    // A line of a waiter ("<id>: -> FLOCK ...") reads no type here and is passed over.
    if (std::sscanf(line, "%*d: %15s %*15s %15s %d %x:%x:%llu", type, access, &pid, &major_number,
                    &minor_number, &inode_number) != 6) {
      continue;
    }
    if (std::strcmp(type, "FLOCK") != 0 || major_number != major(device) || minor_number != minor(device) ||
        inode_number != static_cast<unsigned long long>(inode)) {
      continue;
    }
    if (exclusive_only && std::strcmp(access, "WRITE") != 0)
      continue;
    struct stat process;
    const std::string folder = "/proc/" + std::to_string(pid);
    held = pid > 0 && ::stat(folder.c_str(), &process) == 0 && process.st_uid == uid;
  }
  std::fclose(locks);
  return held;
}

int UnlinkUnlessHeld(const std::string& name, const struct stat& seen) {
  if (HeldByThisUser(seen.st_dev, seen.st_ino, false))
    return kFileInUseError;
  return ::unlink(name.c_str()) == 0 ? 0 : errno;
}

// Removes the name when no descriptor of this user's OpenForAppend has it open. Returns 0 or the
// error.
int DeleteUnlessInUse(const std::string& name) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    struct stat seen;
    if (::lstat(name.c_str(), &seen) != 0)
      return errno;
    if (S_ISDIR(seen.st_mode))
      return EISDIR;
    // A link, a FIFO or a device is removed itself and never opened: opening could follow it,
    // block, or start whatever a device does on open.
    if (!S_ISREG(seen.st_mode))
      return ::unlink(name.c_str()) == 0 ? 0 : errno;
    int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
      fd = ::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT || errno == ELOOP)
        continue;  // replaced since it was looked at
      // Not to be opened now (its mode changed, no descriptor left): a holder that opened it
      // before still counts.
      return UnlinkUnlessHeld(name, seen);
    }
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
      ::close(fd);
      continue;
    }
    int result;
    if (Lock(fd, LOCK_EX | LOCK_NB) == 0) {
      result = ::unlink(name.c_str()) == 0 ? 0 : errno;
    } else if (errno == EWOULDBLOCK) {
      result = UnlinkUnlessHeld(name, seen);  // held, but perhaps only by other users
    } else {
      result = errno;
    }
    ::close(fd);  // lets waiting openers see that the file is gone
    return result;
  }
  return kFileInUseError;
}

// Takes the opener's shared lock on `fd`. A deletion of this user's holds the file exclusively for
// a moment, and is waited for (up to a few seconds); another user's exclusive lock is not: the file
// is used without the lock then, written as before but no longer kept from deletion. False only
// when the lock fails for another reason.
bool LockForUse(int fd) {
  for (int waited_ms = 0;; ++waited_ms) {
    if (Lock(fd, LOCK_SH | LOCK_NB) == 0)
      return true;
    if (errno != EWOULDBLOCK)
      return false;
    struct stat info;
    if (waited_ms >= kDeletionWaitMs || ::fstat(fd, &info) != 0 ||
        !HeldByThisUser(info.st_dev, info.st_ino, true))
      return true;
    ::usleep(1000);
  }
}

}  // namespace

bool DeleteFileAt(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0')
    return false;
  const int error = DeleteUnlessInUse(ToNarrow(path));
  if (error != 0)
    errno = error;
  return error == 0;
}

int OpenForAppend(const wchar_t* path, int* fd) {
  *fd = -1;
  if (path == nullptr || path[0] == L'\0')
    return ENOENT;
  const std::string name = ToNarrow(path);
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    // Without blocking: a FIFO in the log's place must not hold the program up.
    const int opened =
        ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (opened < 0)
      return errno;
    struct stat info;
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(opened);
      return EACCES;  // only a plain file can be the log
    }
    if (!LockForUse(opened)) {
      const int error = errno;
      ::close(opened);
      return error;
    }
    // Deleted between the open and the lock: the name now stands for nothing, or for a newer file.
    if (::fstat(opened, &info) != 0 || info.st_nlink == 0) {
      ::close(opened);
      continue;
    }
    ::fcntl(opened, F_SETFL, O_APPEND);
    *fd = opened;
    return 0;
  }
  return kFileInUseError;
}

std::int32_t SeekToEnd(int fd) {
  if (fd < 0)
    return -1;
  const off_t end = ::lseek(fd, 0, SEEK_END);
  if (end < 0 || end > INT32_MAX)
    return -1;
  return static_cast<std::int32_t>(end);
}

int WriteBytes(int fd, const void* data, unsigned size) {
  if (fd < 0)
    return -1;
  ssize_t written;
  do {
    written = ::write(fd, data, size);
  } while (written < 0 && errno == EINTR);
  return written < 0 ? -1 : static_cast<int>(written);
}

int CloseFile(int fd) {
  return fd < 0 ? -1 : ::close(fd);
}

int UnlinkFile(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0') {
    errno = ENOENT;
    return -1;
  }
  const int error = DeleteUnlessInUse(ToNarrow(path));
  if (error == 0)
    return 0;
  errno = error;
  return -1;
}

}  // namespace platform
