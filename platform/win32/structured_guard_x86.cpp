// The guard on x86: the handler of the guard's exception-registration record.
#include <windows.h>

#include "platform/win32/structured_guard.h"

extern "C" {

bool tidyhand_guarded_call(void (*call)(void*), void* context);
[[noreturn]] void tidyhand_guard_unwind_and_resume(void* registration, EXCEPTION_RECORD* record);

// Called while an exception is dispatched, only when no record in front of the guard's handled it.
// A taken exception is unwound to the guard's record, and execution goes on in the guard as if the
// call had returned 0.
EXCEPTION_DISPOSITION tidyhand_guard_handler(EXCEPTION_RECORD* record, void* registration, CONTEXT*, void*) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
      !platform::win32::GuardTakes(record->ExceptionCode)) {
    return ExceptionContinueSearch;
  }
  tidyhand_guard_unwind_and_resume(registration, record);
}

}  // extern "C"

namespace platform::win32 {

bool CallGuarded(void (*call)(void*), void* context) {
  return tidyhand_guarded_call(call, context);
}

}  // namespace platform::win32
