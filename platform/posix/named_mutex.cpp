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
#include <vector>

#include "platform/paths.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr std::uint32_t kMagic = 0x54484D31;  // "THM1"

struct SharedBlock {
  std::uint32_t magic;
  pthread_mutex_t mutex;
};

// Whether `folder` may hold this user's mutexes: a folder, not a link, owned by the user and open
// to nobody else for writing.
bool PrivateFolder(const std::string& folder, uid_t uid) {
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0)
    return false;
  return S_ISDIR(info.st_mode) && info.st_uid == uid && (info.st_mode & 022) == 0;
}

// The folders that may hold the mutex files, in the order every process of the user walks them:
// $XDG_RUNTIME_DIR; else /tmp/tidyhand-<uid>, created with mode 0700; else the folder "tidyhand" in
// the user's application-data folder, created the same way. Each is refused when it is not
// private (see PrivateFolder), and the walk goes on with the next.
struct Candidate {
  std::string folder;
  bool ours;  // created here when missing
};

std::vector<Candidate> CandidateFolders(uid_t uid) {
  std::vector<Candidate> folders;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/')
    folders.push_back({runtime, false});
  folders.push_back({"/tmp/tidyhand-" + std::to_string(uid), true});
  wchar_t app_data[kMaxPath] = {};
  if (GetAppDataFolder(app_data) >= 0)
    folders.push_back({ToNarrow(app_data) + "/tidyhand", true});
  return folders;
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

namespace {

// Maps the shared block of the handle file into `impl`.
bool MapBlock(NamedMutex::Impl* impl) {
  void* mapped = ::mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, impl->fd, 0);
  if (mapped == MAP_FAILED)
    return false;
  impl->block = static_cast<SharedBlock*>(mapped);
  return true;
}

// The creator's step: nobody else has the mutex open, so whatever the file holds is stale. A fresh
// mutex, owned by the calling thread, replaces it, and the presence byte goes from exclusive to
// shared in one step, so that from now on others open the mutex instead of creating it.
bool LayDownFreshMutex(NamedMutex::Impl* impl) {
  if (::ftruncate(impl->fd, sizeof(SharedBlock)) != 0 || !MapBlock(impl))
    return false;
  impl->block->magic = 0;
  if (!InitialiseMutex(&impl->block->mutex, PTHREAD_PROCESS_SHARED) ||
      pthread_mutex_lock(&impl->block->mutex) != 0) {
    return false;
  }
  impl->block->magic = kMagic;
  return LockByte(impl->fd, 1, F_RDLCK, false);
}

// Everybody else's step: the mutex that the present holders share.
bool MapExistingMutex(NamedMutex::Impl* impl) {
  struct stat info;
  if (!LockByte(impl->fd, 1, F_RDLCK, false) || ::fstat(impl->fd, &info) != 0 ||
      info.st_size < static_cast<off_t>(sizeof(SharedBlock)) || !MapBlock(impl)) {
    return false;
  }
  return impl->block->magic == kMagic;
}

// Opens (creating it when missing) the handle file of `name` in `folder`: a plain file of the
// user's, never through a link.
int OpenHandleFile(const std::string& folder, const std::wstring& name) {
  const std::string file = folder + "/" + FileNameFor(name);
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0)
    return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::CreateOwned(const std::wstring& name, bool* created) {
  *created = false;
  const uid_t uid = ::getuid();
  for (const Candidate& candidate : CandidateFolders(uid)) {
    if (candidate.ours)
      ::mkdir(candidate.folder.c_str(), 0700);  // a folder already there is judged as it is
    if (!PrivateFolder(candidate.folder, uid))
      continue;
    auto impl = std::make_unique<Impl>();
    impl->fd = OpenHandleFile(candidate.folder, name);
    if (impl->fd < 0)
      continue;
    // Creation and opening are one step for all handles of the name, under the creation guard.
    if (!LockByte(impl->fd, 0, F_WRLCK, true))
      continue;
    const bool creator = LockByte(impl->fd, 1, F_WRLCK, false);
    const bool ready = creator ? LayDownFreshMutex(impl.get()) : MapExistingMutex(impl.get());
    LockByte(impl->fd, 0, F_UNLCK, false);
    if (!ready)
      continue;
    *created = creator;
    return std::unique_ptr<NamedMutex>(new NamedMutex(std::move(impl)));
  }
  return nullptr;
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
