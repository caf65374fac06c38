#include "platform/sync.h"

#include <pthread.h>

#include <cstdlib>

namespace platform {
namespace {

pthread_mutex_t* Native(unsigned char* storage) {
  return reinterpret_cast<pthread_mutex_t*>(storage);
}

}  // namespace

CriticalSection::CriticalSection() {
  static_assert(sizeof(pthread_mutex_t) <= sizeof(storage_));
  static_assert(alignof(pthread_mutex_t) <= 16);
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  if (pthread_mutex_init(Native(storage_), &attributes) != 0)
    std::abort();
  pthread_mutexattr_destroy(&attributes);
}

CriticalSection::~CriticalSection() {
  pthread_mutex_destroy(Native(storage_));
}

void CriticalSection::Enter() {
  pthread_mutex_lock(Native(storage_));
}

void CriticalSection::Leave() {
  pthread_mutex_unlock(Native(storage_));
}

}  // namespace platform
