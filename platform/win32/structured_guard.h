// A guard around calls into system services that may fault: the call runs inside a
// structured-exception frame of the guard's own, registered in the thread's frame chain, so that the
// guard sees an exception only when no frame nearer to the fault has handled it.
#pragma once

#include <type_traits>

namespace platform::win32 {

// Runs `call(context)` and returns true when it returned. Returns false when a structured exception
// (an access violation, an illegal instruction, an in-page error, a raised exception) left the call
// unhandled: the frames between the fault and the guard have then been unwound, their termination
// handlers run, and the thread's frame chain is as it was before the call. Exceptions that a frame
// inside the call handles stay that frame's. This program's own C++ exceptions are not taken; they
// must not leave `call`, which is meant for calls into the system's services.
bool CallGuarded(void (*call)(void*), void* context);

// The same for any callable: Guarded([&] { ... }).
template <typename Call>
bool Guarded(Call&& call) {
  using Callable = std::remove_reference_t<Call>;
  return CallGuarded([](void* callable) { (*static_cast<Callable*>(callable))(); },
                     const_cast<void*>(static_cast<const void*>(&call)));
}

// Whether the guard takes an exception with this code that reached it unhandled.
bool GuardTakes(unsigned long code);

}  // namespace platform::win32
