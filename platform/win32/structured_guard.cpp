#include "platform/win32/structured_guard.h"

namespace platform::win32 {

bool GuardTakes(unsigned long code) {
  // The compiler's C++ exceptions travel as structured exceptions whose code ends in "GCC": they
  // are on their way to this program's own handlers. Everything else that reaches the guard
  // unhandled would end the process, and is taken.
  return (code & 0x00FFFFFFu) != 0x00474343u;
}

}  // namespace platform::win32
