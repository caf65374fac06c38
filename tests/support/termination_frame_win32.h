// A structured-exception frame with a termination handler, for the tests of the guard: it stands
// for a frame of a system service that must be unwound when an exception passes through it.
#pragma once

extern "C" {

// Runs `body(context)` inside a frame whose termination handler adds 1 to `*unwound` each time
// the frame is unwound by an exception handled further out. Returns when `body` returns.
void tidyhand_test_call_in_termination_frame(void (*body)(void*), void* context, volatile int* unwound);

// The head of the thread's chain of exception-registration records (x86; on x64 the word of the
// thread information block that would hold it).
void* tidyhand_test_chain_head();

}  // extern "C"
