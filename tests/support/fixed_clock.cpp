#include "tests/support/fixed_clock.h"

#include <mutex>

namespace testing_support {
namespace {

std::mutex g_lock;
platform::LocalTime g_now = {2026, 2, 28, 14, 5, 9, 42};

}  // namespace

void SetClock(const platform::LocalTime& now) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_now = now;
}

}  // namespace testing_support

bool platform::ReadLocalTime(LocalTime* now) {
  std::lock_guard<std::mutex> hold(testing_support::g_lock);
  *now = testing_support::g_now;
  return true;
}
