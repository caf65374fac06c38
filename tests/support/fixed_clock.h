// Stands in for the clock at link time: it reads the time it is told.
#pragma once

#include "platform/clock.h"

namespace testing_support {

// The time every following reading gives.
void SetClock(const platform::LocalTime& now);

}  // namespace testing_support
