#include <time.h>

#include "platform/clock.h"

namespace platform {

bool ReadLocalTime(LocalTime* now) {
  struct timespec reading;
  if (::clock_gettime(CLOCK_REALTIME, &reading) != 0) return false;
  struct tm calendar;
  if (::localtime_r(&reading.tv_sec, &calendar) == nullptr) return false;
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
