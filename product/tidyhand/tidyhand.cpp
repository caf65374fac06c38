// tidyhand: the maintenance program installed beside the picture viewer Vistrel. It resets the
// user's viewer configuration after asking, and starts the viewer's optimizer helper.
#include "product/tidyhand/tidyhand.h"

#include <cstdint>
#include <cwchar>
#include <string>

#include "launch/launch_process.h"
#include "logutils/logger.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/question_box.h"
#include "stat/stat_client.h"

namespace {

constexpr const wchar_t* kLogFile = L"Vistrel\\Log\\tidyhand.log";
constexpr const wchar_t* kConfigFile = L"Vistrel\\config.ini";
constexpr const wchar_t* kHelperFile = L"vrhelper.exe";
constexpr const wchar_t* kResetQuestion = L"是否重置用户配置？该操作将删除所有配置内容！";
constexpr const wchar_t* kResetCaption = L"Vistrel看图";
constexpr std::uint32_t kStartupWaitMs = 20000;
constexpr std::int32_t kShowNormal = 1;

}  // namespace

bool CleanConfig() {
  LOGUTILS_INFO("CleanConfig");
  if (platform::AskYesNo(kResetQuestion, kResetCaption) != platform::kAnswerYes)
    return true;

  wchar_t path[platform::kMaxPath] = {};
  if (platform::GetAppDataFolder(path) < 0) {
    // Without the folder the name would be relative to wherever the program was started: nothing
    // there is the user's configuration, so nothing is deleted.
    LOGUTILS_INFO("SHGetFolderPath failed");
    return false;
  }
  // A name that does not fit is never cut or used: nothing else is the configuration file.
  if (!platform::CombinePath(path, path, kConfigFile))
    return false;
  return platform::DeleteFileAt(path);
}

std::wstring GetModulePath() {
  std::wstring module_path;
  wchar_t buffer[platform::kMaxPath] = {};
  if (platform::GetExecutablePath(buffer, platform::kMaxPath) != 0) {
    module_path = buffer;
  } else {
    LOGUTILS_INFO("GetModuleFileName failed");
  }
  return module_path;
}

bool StartHelper() {
  LOGUTILS_INFO("StartHelper");
  wchar_t helper[platform::kMaxPath] = {};
  const std::wstring module_path = GetModulePath();
  // Without the program's own folder the helper's name would be relative to wherever the program
  // was started, and a file there is not the viewer's helper.
  if (module_path.empty())
    return false;
  // GetModulePath's path always fits: it comes from a buffer of the same size.
  std::wmemcpy(helper, module_path.c_str(), module_path.size() + 1);
  platform::RemoveFileSpec(helper);
  if (!platform::CombinePath(helper, helper, kHelperFile))
    return false;
  return LaunchProcess(helper, L"", kShowNormal, 1, 0, 0, nullptr) != 0;
}

void RunCommands(int argc, char* argv[]) {
  if (argc <= 1) {
    CleanConfig();
    return;
  }
  for (int index = 1; index < argc; ++index) {
    std::string lowered = argv[index];
    // Only A to Z have small letters here; every other byte stays as it is.
    for (char& c : lowered) {
      if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
    }
    if (lowered == "--clean") {
      CleanConfig();
    } else if (lowered == "--optimize") {
      StartHelper();
    }
  }
}

int main(int argc, char* argv[]) {
  // Every run starts a fresh log, deleted before the logger is configured. Without the folder, or
  // when the log's name does not fit beside it, there is no log at all: the name would be relative
  // to wherever the program was started, or the folder's own, and neither is the log.
  wchar_t log_path[platform::kMaxPath] = {};
  if (platform::GetAppDataFolder(log_path) < 0 || !platform::AppendPath(log_path, kLogFile))
    log_path[0] = L'\0';
  if (log_path[0] != L'\0')
    platform::DeleteFileAt(log_path);
  LogUtils::InitLogger(log_path);
  LOGUTILS_INFO("run");

  platform::SleepMilliseconds(kStartupWaitMs);

  {
    const std::wstring short_name = L"tyhand";
    const std::wstring action = L"run";
    OpenStatSession();  // ends the process here when the statistics library is missing
    SendStatEvent(short_name, action);
  }

  RunCommands(argc, argv);
  return 0;
}
