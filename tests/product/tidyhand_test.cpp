// The maintenance commands in-process, with the question box answered by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "logutils/logger.h"
#include "platform/question_box.h"
#include "product/tidyhand/tidyhand.h"
#include "tests/logutils/log_lines.h"
#include "tests/support/scripted_question_box.h"
#include "tests/support/test_support.h"
#include "tests/support/throwaway_home.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;
using Lines = std::vector<std::string>;

const std::wstring kQuestion = L"是否重置用户配置？该操作将删除所有配置内容！";
const std::wstring kCaption = L"Vistrel看图";

// The process-wide logger writes to one file for the whole run; each test reads what it added.
class LogFile {
 public:
  static LogFile& Get() {
    static LogFile log;
    return log;
  }
  // The statements written since the last call, without their line numbers.
  Lines TakeStatements() {
    Lines all = testing_support::LogStatements(path_);
    Lines taken;
    for (std::size_t i = seen_; i < all.size(); ++i) {
      const std::string& s = all[i];
      const std::size_t stem = s.find("][", 4);
      taken.push_back(stem != std::string::npos && s.rfind("[I][", 0) == 0 ? s.substr(stem + 2) : s);
    }
    seen_ = all.size();
    return taken;
  }

 private:
  LogFile() {
    testing_support::WriteFile(dir_ / "tidyhand.log.on", "");
    LogUtils::InitLogger(path_.wstring().c_str());
    // A level change writes at once, and takes the queued start marker with it.
    LogUtils::GetLogger()->Command(L"--set_log_lev=0");
    TakeStatements();
  }
  TempDir dir_;
  std::filesystem::path path_ = dir_ / "tidyhand.log";
  std::size_t seen_ = 0;
};

class CommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    LogFile::Get().TakeStatements();
    testing_support::TakeAskedQuestions();
    testing_support::SetQuestionBoxProbe({});
  }
  void Answer(int answer) { testing_support::SetQuestionBoxAnswer(answer); }

  TempDir home_;
  ScopedEnv home_env_{"HOME", home_.path().string()};
  ScopedEnv config_env_{"XDG_CONFIG_HOME", std::nullopt};
  std::filesystem::path vistrel_ = home_ / ".config/Vistrel";
  std::filesystem::path config_ = vistrel_ / "config.ini";
};

TEST_F(CommandsTest, YesDeletesOnlyTheConfigurationFile) {
  testing_support::WriteFile(config_, "[view]\n");
  testing_support::WriteFile(vistrel_ / "other.ini", "keep");
  testing_support::WriteFile(vistrel_ / "Log/tidyhand.log.on", "");
  Answer(platform::kAnswerYes);
  EXPECT_TRUE(CleanConfig());
  EXPECT_FALSE(std::filesystem::exists(config_));
  EXPECT_EQ(testing_support::ReadFile(vistrel_ / "other.ini"), "keep");
  EXPECT_TRUE(std::filesystem::exists(vistrel_ / "Log/tidyhand.log.on"));
  const auto asked = testing_support::TakeAskedQuestions();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, kQuestion);
  EXPECT_EQ(asked[0].caption, kCaption);
  EXPECT_FALSE(CleanConfig()) << "the second Yes finds no file";
}

TEST_F(CommandsTest, AnythingButYesKeepsTheFile) {
  testing_support::WriteFile(config_, "[view]\n");
  for (int answer : {platform::kAnswerNo, 0}) {
    Answer(answer);
    EXPECT_TRUE(CleanConfig()) << answer;
    EXPECT_EQ(testing_support::ReadFile(config_), "[view]\n") << answer;
  }
}

TEST_F(CommandsTest, TheStatementIsWrittenBeforeTheBoxIsShown) {
  Lines at_ask;
  testing_support::SetQuestionBoxProbe([&] { at_ask = LogFile::Get().TakeStatements(); });
  Answer(platform::kAnswerNo);
  CleanConfig();
  EXPECT_EQ(at_ask, Lines{"tidyhand] CleanConfig"});
}

TEST_F(CommandsTest, WithoutTheFolderNothingIsDeleted) {
  TempDir cwd;
  testing_support::WriteFile(cwd / "Vistrel/config.ini", "elsewhere");
  bool result;
  {
    testing_support::ScopedCurrentFolder in(cwd.path());
    ScopedEnv no_home("HOME", std::nullopt);
    Answer(platform::kAnswerYes);
    result = CleanConfig();
  }
  EXPECT_FALSE(result);
  EXPECT_TRUE(std::filesystem::exists(cwd / "Vistrel/config.ini"));
  EXPECT_EQ(LogFile::Get().TakeStatements(),
            (Lines{"tidyhand] CleanConfig", "tidyhand] SHGetFolderPath failed"}));
}

TEST_F(CommandsTest, TheCommandLineRunsSwitchesInOrderAndIgnoresTheRest) {
  struct Case {
    std::vector<std::string> args;
    Lines statements;
  } cases[] = {
      {{}, {"tidyhand] CleanConfig"}},
      {{"--CLEAN", "--clean"}, {"tidyhand] CleanConfig", "tidyhand] CleanConfig"}},
      {{"--optimize", "--clean"}, {"tidyhand] StartHelper", "tidyhand] CleanConfig"}},
      {{"--OpTiMiZe"}, {"tidyhand] StartHelper"}},
      {{"--clean=1", "-clean", "clean", "", "--cleanx", " --clean", "--clea", "--optimise"}, {}},
  };
  Answer(platform::kAnswerNo);
  for (const Case& c : cases) {
    std::vector<std::string> storage = {"tidyhand"};
    storage.insert(storage.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (auto& arg : storage)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    RunCommands(static_cast<int>(storage.size()), argv.data());
    EXPECT_EQ(LogFile::Get().TakeStatements(), c.statements) << testing::PrintToString(c.args);
  }
}

TEST_F(CommandsTest, TheHelperIsLookedForOnlyBesideTheExecutable) {
  TempDir cwd;
  testing_support::WriteFile(cwd / "vrhelper.exe", "#!/bin/sh\ntouch started\n");
  std::filesystem::permissions(cwd / "vrhelper.exe", std::filesystem::perms::owner_all);
  bool started;
  {
    testing_support::ScopedCurrentFolder in(cwd.path());
    started = StartHelper();
  }
  EXPECT_FALSE(started);
  EXPECT_FALSE(std::filesystem::exists(cwd / "started"));
  EXPECT_EQ(GetModulePath(), (testing_support::TestBinDir() / "tidyhand_tests").wstring());
}

}  // namespace
