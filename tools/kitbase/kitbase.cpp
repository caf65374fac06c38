// The reference statistics library. Each event becomes one JSON line in
// <application data>/Vistrel/stat/events.jsonl:
//   {"session":"<id>","session_start":"<time>","short_name":"tyhand","action":"run","time":"<time>"}
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>

#include "platform/clock.h"
#include "platform/module.h"
#include "platform/paths.h"

namespace {

std::mutex g_lock;
std::string g_session_id;
std::string g_session_start;

std::string Now() {
  platform::LocalTime now = {};
  platform::ReadLocalTime(&now);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", now.year, now.month + 1, now.day,
                now.hour, now.minute, now.second, now.millisecond);
  return text;
}

// `text` as a JSON string, every character outside printable ASCII escaped, so the line is the
// same on every platform.
std::string Quoted(const wchar_t* text) {
  std::string quoted = "\"";
  auto escape = [&quoted](unsigned unit) {
    char code[16];
    std::snprintf(code, sizeof code, "\\u%04x", unit);
    quoted += code;
  };
  for (const wchar_t* at = text; at != nullptr && *at != L'\0'; ++at) {
    const auto value = static_cast<std::uint32_t>(*at);
    if (value == '"' || value == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(value);
    } else if (value >= 0x20 && value < 0x7F) {
      quoted += static_cast<char>(value);
    } else if (value > 0xFFFF) {
      escape(0xD800 + ((value - 0x10000) >> 10));
      escape(0xDC00 + ((value - 0x10000) & 0x3FF));
    } else {
      escape(value);
    }
  }
  return quoted + "\"";
}

std::filesystem::path EventsFile() {
  wchar_t folder[platform::kMaxPath] = {};
  if (platform::GetAppDataFolder(folder) < 0)
    return {};
  if (!platform::AppendPath(folder, L"Vistrel\\stat\\events.jsonl"))
    return {};
  return platform::ToFileSystemPath(folder);
}

// The library runs inside its caller's process: nothing it meets may end that process, so whatever
// the standard library throws stops at this boundary as a failed call.
template <typename Call>
int Guarded(Call call) {
  try {
    return call();
  } catch (...) {
    return 0;
  }
}

}  // namespace

extern "C" {

PLATFORM_EXPORT int PLATFORM_STDCALL StartStat(void) {
  return Guarded([] {
    std::lock_guard<std::mutex> hold(g_lock);
    std::random_device random;
    char id[20];
    std::snprintf(id, sizeof id, "%08x%08x", random(), random());
    g_session_id = id;
    g_session_start = Now();
    return 1;
  });
}

PLATFORM_EXPORT int PLATFORM_STDCALL SendStatUrl(const wchar_t* short_name, const wchar_t* action) {
  return Guarded([short_name, action] {
    std::lock_guard<std::mutex> hold(g_lock);
    const std::filesystem::path file = EventsFile();
    if (file.empty())
      return 0;
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    std::ofstream events(file, std::ios::app | std::ios::binary);
    events << "{\"session\":\"" << g_session_id << "\",\"session_start\":\"" << g_session_start
           << "\",\"short_name\":" << Quoted(short_name) << ",\"action\":" << Quoted(action) << ",\"time\":\""
           << Now() << "\"}\n";
    return events.good() ? 1 : 0;
  });
}

// Events are written to the file as they are sent, so none is pending by the time the program
// waits for them.
PLATFORM_EXPORT int PLATFORM_STDCALL WaitStatComplete(int wait_ms) {
  (void)wait_ms;
  std::lock_guard<std::mutex> hold(g_lock);
  return 1;
}

}  // extern "C"
