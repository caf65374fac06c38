#include "platform/trust.h"

namespace platform {

// The verification that this layer offers is that of a system of this version: later than every
// version without it.
unsigned long SystemMajorVersion() {
  return 10;
}

}  // namespace platform
