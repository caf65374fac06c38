// A statistics library for the tests: each call is appended to the file named by $STAT_RECORD as
// "<name of the folder this library was loaded from> <call>". Built once with every export and once without
// each of them.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/module.h"

namespace {

void Record(const std::string& call) {
  const char* record = std::getenv("STAT_RECORD");
  if (record == nullptr)
    return;
  const std::string folder =
      std::filesystem::path(platform::LoadedModulePath(reinterpret_cast<const void*>(&Record)))
          .parent_path()
          .filename()
          .string();
  std::ofstream(record, std::ios::app | std::ios::binary) << folder << " " << call << "\n";
}

[[maybe_unused]] std::string Narrow(const wchar_t* text) {
  if (text == nullptr)
    return "(null)";
  std::string narrow;
  for (; *text != L'\0'; ++text)
    narrow += static_cast<char>(*text);
  return narrow;
}

}  // namespace

extern "C" {

#ifndef OMIT_START_STAT
PLATFORM_EXPORT int PLATFORM_STDCALL StartStat(void) {
  Record("StartStat");
  return 1;
}
#endif

#ifndef OMIT_SEND_STAT_URL
PLATFORM_EXPORT int PLATFORM_STDCALL SendStatUrl(const wchar_t* short_name, const wchar_t* action) {
  Record("SendStatUrl " + Narrow(short_name) + " " + Narrow(action));
  return 1;
}
#endif

#ifndef OMIT_WAIT_STAT_COMPLETE
PLATFORM_EXPORT int PLATFORM_STDCALL WaitStatComplete(int wait_ms) {
  Record("WaitStatComplete " + std::to_string(wait_ms));
  return 1;
}
#endif

}  // extern "C"
