// The wall clock, read as local calendar time.
#pragma once

namespace platform {

// One reading of the clock in the process's time zone.
struct LocalTime {
  int year;         // e.g. 2026
  int month;        // 0 to 11
  int day;          // 1 to 31
  int hour;         // 0 to 23
  int minute;       // 0 to 59
  int second;       // 0 to 60
  int millisecond;  // 0 to 999
};

// Reads the clock once: seconds and milliseconds come from the same reading, and the seconds are
// converted with the process's time-zone settings. Returns false when the conversion fails.
//
// This operation is alone in its source file, so that a test can supply its own definition at link
// time and set the time.
bool ReadLocalTime(LocalTime* now);

}  // namespace platform
