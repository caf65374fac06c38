// A process that logs, for the tests that need several processes on one log file.
//   log_writer write PATH COUNT NAME   logs COUNT statements "NAME i" through the process-wide
//                                      logger (switched on by Start's enable), then End()
//   log_writer hold PATH READY         owns PATH's mutex, creates READY, and sleeps until killed
//   log_writer open PATH DELETE READY  creates an appender on PATH (DELETE: delete_existing),
//                                      creates READY, and sleeps until killed
//   log_writer keep PATH READY         writes "kept" to PATH through an appender (so that it holds
//                                      the file open), creates READY, and sleeps until killed
//   log_writer run PATH NAME READY GO  starts as the program does (deletes PATH, then logs), logs
//                                      "NAME before", creates READY, waits for the file GO, logs
//                                      "NAME after", then End()
#include <cstdlib>
#include <fstream>
#include <string>

#include "logutils/log_appender.h"
#include "logutils/logger.h"
#include "platform/files.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "tests/support/test_support.h"

namespace {

std::wstring Wide(const char* text) {
  return std::filesystem::path(text).wstring();
}

[[noreturn]] void SleepForever() {
  while (true)
    platform::SleepMilliseconds(1000);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3)
    return 2;
  const std::string mode = argv[1];
  const std::wstring path = Wide(argv[2]);
  if (mode == "write" && argc == 5) {
    LogUtils::GetLogger()->Start(path.c_str(), L"", 1, 0, 104857600);
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
      const std::string text = std::string(argv[4]) + " " + std::to_string(i);
      LOGUTILS_INFO(text.c_str());
    }
    LogUtils::GetLogger()->End();
    return 0;
  }
  if (mode == "hold" && argc == 4) {
    bool created = false;
    auto mutex = platform::NamedMutex::CreateOwned(LogUtils::LogAppender::MutexNameFor(path), &created);
    if (mutex == nullptr)
      return 1;
    if (!created)
      mutex->Acquire();
    testing_support::WriteFile(argv[3], "");
    SleepForever();
  }
  if (mode == "keep" && argc == 4) {
    LogUtils::LogAppender appender(path.c_str(), L"", 0);
    appender.Write(L"kept", 1);
    testing_support::WriteFile(argv[3], "");
    SleepForever();
  }
  if (mode == "run" && argc == 6) {
    platform::DeleteFileAt(path.c_str());
    LogUtils::GetLogger()->Start(path.c_str(), L"", 1, 0, 104857600);
    LOGUTILS_INFO((std::string(argv[3]) + " before").c_str());
    testing_support::WriteFile(argv[4], "");
    while (!std::filesystem::exists(argv[5]))
      platform::SleepMilliseconds(10);
    LOGUTILS_INFO((std::string(argv[3]) + " after").c_str());
    LogUtils::GetLogger()->End();
    return 0;
  }
  if (mode == "open" && argc == 5) {
    LogUtils::LogAppender appender(path.c_str(), L"", std::atoi(argv[3]));
    testing_support::WriteFile(argv[4], "");
    SleepForever();
  }
  return 2;
}
