// The guard on x64: the handler named in the unwind data of the guard's frame.
#include <windows.h>

#include "platform/win32/structured_guard.h"

extern "C" {

bool tidyhand_guarded_call(void (*call)(void*), void* context);
extern char tidyhand_guard_resume[];

// Called while an exception is dispatched, only when no frame nearer to the fault handled it. A
// taken exception is unwound to the guard's frame: every frame in between is unwound (its
// termination handlers run), and execution goes on in the guard as if the call had returned 0.
EXCEPTION_DISPOSITION tidyhand_guard_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                             DISPATCHER_CONTEXT* dispatch) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
      !platform::win32::GuardTakes(record->ExceptionCode)) {
    return ExceptionContinueSearch;
  }
  RtlUnwindEx(frame, tidyhand_guard_resume, record, nullptr, context, dispatch->HistoryTable);
  return ExceptionContinueSearch;  // not reached: the unwind goes on in the guard's frame
}

}  // extern "C"

namespace platform::win32 {

bool CallGuarded(void (*call)(void*), void* context) {
  return tidyhand_guarded_call(call, context);
}

}  // namespace platform::win32
