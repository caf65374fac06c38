#include <time.h>

#include "platform/clock.h"

namespace platform {

namespace {

// The last second this thread converted: the calendar fields stay the same for the whole second.
thread_local time_t t_converted_second = -1;
thread_local struct tm t_calendar;

}  // namespace

bool ReadLocalTime(LocalTime* now) {
  struct timespec reading;
  if (::clock_gettime(CLOCK_REALTIME, &reading) != 0)
    return false;
  if (reading.tv_sec != t_converted_second) {
    if (::localtime_r(&reading.tv_sec, &t_calendar) == nullptr) {
      t_converted_second = -1;
      return false;
    }
    t_converted_second = reading.tv_sec;
  }
  const struct tm& calendar = t_calendar;
  now->year = calendar.tm_year + 1900;
  now->month = calendar.tm_mon;
  now->day = calendar.tm_mday;
  now->hour = calendar.tm_hour;
  now->minute = calendar.tm_min;
  now->second = calendar.tm_sec;
  now->millisecond = static_cast<int>(reading.tv_nsec / 1000000);
  return true;
}

}  // namespace platform
