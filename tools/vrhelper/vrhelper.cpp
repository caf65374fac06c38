// The reference optimizer helper: it records that it ran, and ends. Each run appends one line to
// <application data>/Vistrel/Log/vrhelper.log:
//   2026-12-11 04:23:14.123 vrhelper ran in "<current folder>" with 0 arguments:
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/clock.h"
#include "platform/paths.h"

namespace {

int Run(int argc, char* argv[]) {
  wchar_t log_path[platform::kMaxPath] = {};
  if (platform::GetAppDataFolder(log_path) < 0)
    return 1;
  if (!platform::AppendPath(log_path, L"Vistrel\\Log\\vrhelper.log"))
    return 1;
  const std::filesystem::path file = platform::ToFileSystemPath(log_path);
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);

  platform::LocalTime now = {};
  platform::ReadLocalTime(&now);
  char time[64];
  std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d.%03d", now.year, now.month + 1, now.day,
                now.hour, now.minute, now.second, now.millisecond);

  std::string line = std::string(time) + " vrhelper ran in \"" +
                     std::filesystem::current_path(ignored).string() + "\" with " + std::to_string(argc - 1) +
                     " arguments:";
  for (int i = 1; i < argc; ++i)
    line += std::string(" \"") + argv[i] + "\"";
  std::ofstream(file, std::ios::app | std::ios::binary) << line << "\n";
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  // A folder name that the standard library cannot show ends the record, never in a crash.
  try {
    return Run(argc, argv);
  } catch (...) {
    return 1;
  }
}
