#include <sys/timeb.h>
#include <time.h>

#include "platform/clock.h"

namespace platform {

bool ReadLocalTime(LocalTime* now) {
  struct __timeb64 reading;
  _ftime64(&reading);
  struct tm calendar;
  if (_localtime64_s(&calendar, &reading.time) != 0)
    return false;
  now->year = calendar.tm_year + 1900;
  now->month = calendar.tm_mon;
  now->day = calendar.tm_mday;
  now->hour = calendar.tm_hour;
  now->minute = calendar.tm_min;
  now->second = calendar.tm_sec;
  now->millisecond = reading.millitm;
  return true;
}

}  // namespace platform
