// A named mutex built from a small file in the user's private runtime folder.
//
// The file holds a process-shared, robust, re-entrant pthread mutex, which gives the ownership
// rules: per thread, re-entrant, and released (as abandoned) by the kernel when its owner dies.
// Whether the mutex "exists" is kept by open-file-description locks on the same file, which the
// kernel drops when their holder closes the file or ends:
//   byte 0  creation guard, held exclusively while a handle is being created;
//   byte 1  presence, held shared by every open handle for as long as it is open.
// Under the guard, a creator is whoever can take the presence byte exclusively: nobody else has the
// mutex open, so whatever an earlier generation left in the file is stale, and the creator lays
// down a fresh mutex. A file left on disk therefore never makes the mutex exist by itself.
#include "platform/named_mutex.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace platform {
namespace {

constexpr std::uint32_t kMagic = 0x54484D31;  // "THM1"

struct SharedBlock {
  std::uint32_t magic;
  pthread_mutex_t mutex;
};

// The user's private runtime folder: $XDG_RUNTIME_DIR, else /tmp/tidyhand-<uid>, created with mode
// 0700. A folder that is a link, that another user owns or that others may write to is refused.
std::string RuntimeFolder() {
  const uid_t uid = ::getuid();
  std::string folder;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    folder = runtime;
  } else {
    folder = "/tmp/tidyhand-" + std::to_string(uid);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
      return {};
  }
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0)
    return {};
  if (!S_ISDIR(info.st_mode) || info.st_uid != uid || (info.st_mode & 022) != 0)
    return {};
  return folder;
}

// A file name for the mutex name: letters and digits stay, every other character is written as
// its code, and a very long name is shortened with a hash of the whole.
std::string FileNameFor(const std::wstring& name) {
  std::string encoded;
  for (wchar_t c : name) {
    if ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z')) {
      encoded += static_cast<char>(c);
    } else {
      char code[16];
      std::snprintf(code, sizeof code, "_%X_", static_cast<unsigned>(c));
      encoded += code;
    }
  }
  if (encoded.size() > 160) {
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a over the whole name
    for (unsigned char byte : encoded)
      hash = (hash ^ byte) * 1099511628211ULL;
    char tail[24];
    std::snprintf(tail, sizeof tail, "~%016llX", static_cast<unsigned long long>(hash));
    encoded = encoded.substr(0, 140) + tail;
  }
  return "tidyhand-mutex-" + encoded;
}

bool LockByte(int fd, off_t byte, short type, bool wait) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR)
      return false;
  }
  return true;
}

bool InitialiseMutex(pthread_mutex_t* mutex, int sharing) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0)
    return false;
  const bool set = pthread_mutexattr_setpshared(&attributes, sharing) == 0 &&
                   pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
                   pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0;
  const bool initialised = set && pthread_mutex_init(mutex, &attributes) == 0;
  pthread_mutexattr_destroy(&attributes);
  return initialised;
}

WaitOutcome Outcome(pthread_mutex_t* mutex, int result) {
  switch (result) {
    case 0:
      return WaitOutcome::kOwned;
    case EBUSY:
      return WaitOutcome::kBusy;
    case EOWNERDEAD:
      pthread_mutex_consistent(mutex);
      return WaitOutcome::kAbandoned;
    default:
      return WaitOutcome::kFailed;
  }
}

}  // namespace

struct NamedMutex::Impl {
  int fd = -1;  // -1 for a private mutex, whose block lives in this process's memory
  SharedBlock* block = nullptr;

  ~Impl() {
    if (block == nullptr) {
    } else if (fd >= 0) {
      ::munmap(block, sizeof(SharedBlock));
    } else {
      pthread_mutex_destroy(&block->mutex);
      delete block;
    }
    if (fd >= 0)
      ::close(fd);  // drops this handle's presence
  }
};

std::unique_ptr<NamedMutex> NamedMutex::CreatePrivateOwned() {
  auto impl = std::make_unique<Impl>();
  auto block = std::make_unique<SharedBlock>();
  if (!InitialiseMutex(&block->mutex, PTHREAD_PROCESS_PRIVATE))
    return nullptr;
  impl->block = block.release();
  if (pthread_mutex_lock(&impl->block->mutex) != 0)
    return nullptr;
  impl->block->magic = kMagic;
  return std::unique_ptr<NamedMutex>(new NamedMutex(std::move(impl)));
}

std::unique_ptr<NamedMutex> NamedMutex::CreateOwned(const std::wstring& name, bool* created) {
  *created = false;
  const std::string folder = RuntimeFolder();
  if (folder.empty())
    return nullptr;
  const std::string file = folder + "/" + FileNameFor(name);

  auto impl = std::make_unique<Impl>();
  impl->fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (impl->fd < 0)
    return nullptr;
  struct stat info;
  if (::fstat(impl->fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid())
    return nullptr;

  if (!LockByte(impl->fd, 0, F_WRLCK, true))
    return nullptr;
  const bool creator = LockByte(impl->fd, 1, F_WRLCK, false);
  bool ready = false;
  if (creator) {
    if (::ftruncate(impl->fd, sizeof(SharedBlock)) == 0) {
      void* mapped = ::mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, impl->fd, 0);
      if (mapped != MAP_FAILED) {
        impl->block = static_cast<SharedBlock*>(mapped);
        impl->block->magic = 0;
        if (InitialiseMutex(&impl->block->mutex, PTHREAD_PROCESS_SHARED) &&
            pthread_mutex_lock(&impl->block->mutex) == 0) {
          impl->block->magic = kMagic;
          // From exclusive to shared in one step: from now on others open it instead of creating it.
          ready = LockByte(impl->fd, 1, F_RDLCK, false);
        }
      }
    }
  } else if (LockByte(impl->fd, 1, F_RDLCK, false) && ::fstat(impl->fd, &info) == 0 &&
             info.st_size >= static_cast<off_t>(sizeof(SharedBlock))) {
    void* mapped = ::mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, impl->fd, 0);
    if (mapped != MAP_FAILED) {
      impl->block = static_cast<SharedBlock*>(mapped);
      ready = impl->block->magic == kMagic;
    }
  }
  LockByte(impl->fd, 0, F_UNLCK, false);
  if (!ready)
    return nullptr;
  *created = creator;
  return std::unique_ptr<NamedMutex>(new NamedMutex(std::move(impl)));
}

NamedMutex::NamedMutex(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

NamedMutex::~NamedMutex() = default;

WaitOutcome NamedMutex::TryAcquire() {
  return Outcome(&impl_->block->mutex, pthread_mutex_trylock(&impl_->block->mutex));
}

WaitOutcome NamedMutex::Acquire() {
  return Outcome(&impl_->block->mutex, pthread_mutex_lock(&impl_->block->mutex));
}

bool NamedMutex::Release() {
  return pthread_mutex_unlock(&impl_->block->mutex) == 0;
}

}  // namespace platform
