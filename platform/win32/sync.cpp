#include "platform/sync.h"

#include <windows.h>

namespace platform {
namespace {

CRITICAL_SECTION* Native(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

}  // namespace

CriticalSection::CriticalSection() {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof(storage_));
  InitializeCriticalSection(Native(storage_));
}

CriticalSection::~CriticalSection() {
  DeleteCriticalSection(Native(storage_));
}

void CriticalSection::Enter() {
  EnterCriticalSection(Native(storage_));
}

void CriticalSection::Leave() {
  LeaveCriticalSection(Native(storage_));
}

}  // namespace platform
