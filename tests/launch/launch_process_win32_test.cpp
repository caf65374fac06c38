// The launcher on Windows, under Wine: what it closes. A start that fails has opened nothing, so
// nothing is closed; a start that succeeds closes the thread, then the process. CloseHandle is
// watched in this program's own import table, so the system's own closes are not counted.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "launch/launch_process.h"
#include "platform/trust.h"
#include "tests/support/import_hook_win32.h"
#include "tests/support/test_support.h"

namespace {

unsigned long g_major_version = 10;

std::vector<std::string> g_closed;
BOOL(WINAPI* g_close_handle)(HANDLE) = nullptr;

BOOL WINAPI RecordingCloseHandle(HANDLE handle) {
  if (handle == nullptr) {
    g_closed.push_back("null");
  } else if (GetThreadId(handle) != 0) {
    g_closed.push_back("thread");
  } else if (GetProcessId(handle) != 0) {
    g_closed.push_back("process");
  } else {
    g_closed.push_back("other");
  }
  return g_close_handle(handle);
}

std::wstring SystemProgram(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\" + name;
}

TEST(LaunchProcessOnWindows, AFailedStartClosesNothingAndAStartClosesTheThreadThenTheProcess) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir / "vrhelper.exe", "not a program\r\n");
  std::filesystem::create_directories(dir / "folder.exe");
  const std::wstring text_file = (dir / "vrhelper.exe").wstring();
  const std::wstring missing = (dir / "missing.exe").wstring();
  const std::wstring folder = (dir / "folder.exe").wstring();
  const std::wstring cmd = SystemProgram(L"cmd.exe");

  struct Case {
    const char* name;
    const std::wstring& path;
    const wchar_t* arguments;
    unsigned long major_version;
    std::int32_t verify;
    std::int32_t result;
    std::vector<std::string> closed;
  } cases[] = {
      {"a text file as the program", text_file, L"", 10, 0, 0, {}},
      {"a text file on a system before 6.0, which checks nothing", text_file, L"", 5, 1, 0, {}},
      {"a text file, refused by the check", text_file, L"", 10, 1, 0, {}},
      {"no file at the path", missing, L"", 10, 0, 0, {}},
      {"a folder as the program", folder, L"", 10, 0, 0, {}},
      {"a program that starts", cmd, L"/c exit 0", 10, 0, 1, {"thread", "process"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_major_version = c.major_version;
    g_closed.clear();
    std::int32_t result = -1;
    {
      testing_support::ImportHook hook("CloseHandle", reinterpret_cast<void*>(&RecordingCloseHandle));
      ASSERT_TRUE(hook.installed());
      g_close_handle = reinterpret_cast<BOOL(WINAPI*)(HANDLE)>(hook.original());
      result = LaunchProcess(c.path.c_str(), c.arguments, SW_HIDE, c.verify, 1, 10000, nullptr);
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(g_closed, c.closed);
  }
  g_major_version = 10;
}

}  // namespace

// The system version, played by the test.
unsigned long platform::SystemMajorVersion() {
  return g_major_version;
}
