// The real program as a separate process, in a throwaway home, with a stand-in zenity first on
// PATH that records what it was asked and answers by its exit status (throwaway_home.h).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"
#include "tests/support/throwaway_home.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ReadFile;
using testing_support::RunOptions;
using testing_support::RunResult;
using testing_support::WriteFile;

const std::string kQuestion = "是否重置用户配置？该操作将删除所有配置内容！";
const std::string kCaption = "Vistrel看图";

class TidyhandRun : public testing::Test {
 protected:
  void Answer(int status) { home_.Answer(status); }
  RunOptions Options(bool fast = true) const { return home_.Options(fast); }
  std::vector<std::vector<std::string>> Asked() const { return home_.Asked(); }

  RunResult Tidyhand(const std::vector<std::string>& args, bool fast = true) const {
    std::vector<std::string> argv = {program_.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return testing_support::RunProgram(argv, Options(fast));
  }

  testing_support::ThrowawayHome home_;
  std::filesystem::path program_ = testing_support::BinDir() / "tidyhand";
  std::filesystem::path vistrel_ = home_.Vistrel();
  std::filesystem::path log_ = vistrel_ / "Log/tidyhand.log";
};

TEST_F(TidyhandRun, AsksOncePerCleanAndNeverForOtherArguments) {
  struct Case {
    std::vector<std::string> args;
    std::size_t questions;
  } cases[] = {
      {{}, 1},   {{"--CLEAN", "--clean"}, 2}, {{"--clean=1"}, 0}, {{"-clean"}, 0}, {{"clean"}, 0},
      {{""}, 0}, {{"--Clean", "x"}, 1},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(home_ / "asked");
    const RunResult run = Tidyhand(c.args);
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output, "") << "nothing on the console";
    EXPECT_EQ(Asked().size(), c.questions) << testing::PrintToString(c.args);
  }
  const auto asked = Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], (std::vector<std::string>{"--question", "--no-markup", "--text=" + kQuestion,
                                                "--title=" + kCaption}));
}

TEST_F(TidyhandRun, YesDeletesTheConfigurationAndNoKeepsIt) {
  WriteFile(vistrel_ / "config.ini", "[view]\n");
  WriteFile(vistrel_ / "recent.ini", "keep");
  Answer(1);
  ASSERT_EQ(Tidyhand({"--clean"}).exit_code, 0);
  EXPECT_EQ(ReadFile(vistrel_ / "config.ini"), "[view]\n");
  Answer(0);
  ASSERT_EQ(Tidyhand({"--clean"}).exit_code, 0);
  EXPECT_FALSE(std::filesystem::exists(vistrel_ / "config.ini"));
  EXPECT_TRUE(std::filesystem::is_directory(vistrel_));
  EXPECT_EQ(ReadFile(vistrel_ / "recent.ini"), "keep");
  Answer(5);  // the box could not be shown
  WriteFile(vistrel_ / "config.ini", "[view]\n");
  ASSERT_EQ(Tidyhand({"--clean"}).exit_code, 0);
  EXPECT_TRUE(std::filesystem::exists(vistrel_ / "config.ini"));
}

TEST_F(TidyhandRun, EveryRunDeletesTheOldLogAndWritesNoneWithoutTheSwitchFile) {
  WriteFile(log_, "an earlier run\r\n");
  ASSERT_EQ(Tidyhand({"--ignored"}).exit_code, 0);
  EXPECT_FALSE(std::filesystem::exists(log_));
}

TEST_F(TidyhandRun, WithTheSwitchFileTheLogHoldsTheRunWithItsIds) {
  WriteFile(log_, "an earlier run\r\n");
  WriteFile(log_.string() + ".on", "");
  testing_support::Background run({program_.string(), "--clean"}, Options());
  ASSERT_EQ(run.Wait(60s), 0);
  const auto lines = testing_support::LogLines(log_);
  ASSERT_EQ(lines.size(), 3u) << ReadFile(log_);
  char ids[32];
  std::snprintf(ids, sizeof ids, "[%5d][%5d]", run.pid(),
                run.pid());  // the main thread's id is the process's
  const std::vector<std::string> statements = {"-------log start", R"(\[I\]\[ *\d+\]\[tidyhand\] run)",
                                               R"(\[I\]\[ *\d+\]\[tidyhand\] CleanConfig)"};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_search(lines[i], match, testing_support::LinePrefix())) << lines[i];
    EXPECT_NE(lines[i].find(ids), std::string::npos) << lines[i];
    EXPECT_TRUE(std::regex_match(match.suffix().str(), std::regex(statements[i]))) << lines[i];
  }
}

TEST_F(TidyhandRun, WithoutTheStatisticsLibraryTheRunEndsAfterTheWaitAndDoesNothing) {
  const std::filesystem::path alone = home_ / "app/bin/tidyhand";
  std::filesystem::create_directories(alone.parent_path());
  std::filesystem::copy_file(program_, alone);
  WriteFile(vistrel_ / "config.ini", "[view]\n");
  Answer(0);
  RunOptions options = Options();
  const RunResult run = testing_support::RunProgram({alone.string(), "--clean"}, options);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(Asked().empty());
  EXPECT_TRUE(std::filesystem::exists(vistrel_ / "config.ini"));
  EXPECT_GE(run.elapsed, 150ms) << "the wait came first";
}

// Names that Windows never shows the program, in the C locale: the run works on the files that are
// there, byte for byte, and never on a look-alike.
TEST_F(TidyhandRun, AnApplicationDataFolderOfAnyNameIsWorkedOnByteForByteInTheCLocale) {
  struct Case {
    std::string config_home;
    std::string look_alike;  // what the name became when a byte was replaced
  } cases[] = {
      {"cjk/张三", ""},
      {"d/\xFF", "d/\xEF\xBF\xBD"},
      {"e/\xC3", "e/\xEF\xBF\xBD"},
      {"q\"t\x01x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config_home);
    const std::filesystem::path config_home = home_ / c.config_home;
    WriteFile(config_home / "Vistrel/config.ini", "[view]\n");
    WriteFile(config_home / "Vistrel/Log/tidyhand.log.on", "");
    if (!c.look_alike.empty())
      WriteFile(home_ / c.look_alike / "Vistrel/config.ini", "sibling");
    Answer(0);
    RunOptions options = Options();
    options.env["XDG_CONFIG_HOME"] = config_home.string();
    options.env["LC_ALL"] = "C";
    options.unset = {"WAYLAND_DISPLAY", "LANG", "LANGUAGE"};
    const RunResult run = testing_support::RunProgram({program_.string(), "--clean"}, options);
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_FALSE(std::filesystem::exists(config_home / "Vistrel/config.ini"));
    if (!c.look_alike.empty()) {
      EXPECT_EQ(ReadFile(home_ / c.look_alike / "Vistrel/config.ini"), "sibling");
    }
    EXPECT_NE(ReadFile(config_home / "Vistrel/stat/events.jsonl").find("\"action\":\"run\""),
              std::string::npos)
        << "the statistics library recorded the run";
    EXPECT_EQ(testing_support::LogLines(config_home / "Vistrel/Log/tidyhand.log").size(), 3u);
  }
}

TEST_F(TidyhandRun, AnApplicationDataFolderTooLongForItsFilesKeepsEverythingAndItself) {
  const std::filesystem::path real = home_ / "real";
  WriteFile(real / "Vistrel/config.ini", "[view]\n");
  WriteFile(real / "Vistrel/Log/tidyhand.log", "an earlier run\r\n");
  WriteFile(real / "Vistrel/Log/tidyhand.log.on", "");
  // A link whose name fits the path limit, but leaves no room for "/Vistrel/config.ini".
  const std::size_t length = 245;
  const std::filesystem::path link = home_ / std::string(length - home_.path().string().size() - 1, 'l');
  ASSERT_EQ(link.string().size(), length);
  std::filesystem::create_directory_symlink(real, link);
  Answer(0);
  RunOptions options = Options();
  options.env["XDG_CONFIG_HOME"] = link.string();
  const RunResult run = testing_support::RunProgram({program_.string(), "--clean"}, options);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Asked().size(), 1u);
  EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the folder's link is never deleted";
  EXPECT_EQ(ReadFile(real / "Vistrel/config.ini"), "[view]\n");
  EXPECT_EQ(ReadFile(real / "Vistrel/Log/tidyhand.log"), "an earlier run\r\n");
}

TEST_F(TidyhandRun, WithoutAnyHomeNothingInTheCurrentFolderIsTouched) {
  const std::filesystem::path cwd = home_ / "cwd";
  WriteFile(cwd / "Vistrel/Log/tidyhand.log", "not ours\r\n");
  WriteFile(cwd / "Vistrel/Log/tidyhand.log.on", "");
  WriteFile(cwd / "Vistrel/config.ini", "[view]\n");
  Answer(0);
  RunOptions options = Options();
  options.env.erase("HOME");
  options.unset = {"HOME", "XDG_CONFIG_HOME", "WAYLAND_DISPLAY"};
  options.cwd = cwd;
  const RunResult run = testing_support::RunProgram({program_.string(), "--clean"}, options);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Asked().size(), 1u);
  EXPECT_EQ(ReadFile(cwd / "Vistrel/Log/tidyhand.log"), "not ours\r\n");
  EXPECT_EQ(ReadFile(cwd / "Vistrel/config.ini"), "[view]\n");
}

// Another local user made /tmp/tidyhand-<uid> first, and there is no runtime folder: the lock is
// taken in the next place of the chain, and the log is written all the same.
TEST_F(TidyhandRun, AFolderForTheLockThatAnotherUserMadeFirstStillGivesAWrittenLog) {
  if (::getuid() != 0)
    GTEST_SKIP() << "needs root, to run the program as a user of its own";
  constexpr uid_t kUser = 61234;
  const std::filesystem::path planted = "/tmp/tidyhand-" + std::to_string(kUser);
  std::filesystem::remove_all(planted);
  std::filesystem::create_directory(planted);  // root's, and left open to nobody
  WriteFile(log_.string() + ".on", "");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(home_.path()))
    ASSERT_EQ(::lchown(entry.path().c_str(), kUser, kUser), 0);
  ASSERT_EQ(::chown(home_.path().c_str(), kUser, kUser), 0);
  // The clock is sped up by the user's own faketime, whose shared state the user can open.
  RunOptions options = Options(false);
  options.unset = {"XDG_CONFIG_HOME", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"};
  options.env["ASAN_OPTIONS"] = "verify_asan_link_order=0";  // the sanitized build, preloaded
  const RunResult run = testing_support::RunProgram(
      {"/usr/bin/setpriv", "--reuid=" + std::to_string(kUser), "--regid=" + std::to_string(kUser),
       "--clear-groups", "/usr/bin/faketime", "-f", "+0 x100", program_.string(), "--clean"},
      options);
  std::filesystem::remove_all(planted);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const auto statements = testing_support::LogStatements(log_);
  ASSERT_EQ(statements.size(), 3u) << ReadFile(log_);
  EXPECT_EQ(statements[0], "-------log start");
  EXPECT_TRUE(std::filesystem::is_directory(home_ / ".config/tidyhand")) << "where the lock went";
}

TEST_F(TidyhandRun, AtRealSpeedTheRunWaitsTwentySecondsBeforeAsking) {
  const RunResult run = Tidyhand({}, false);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(Asked().size(), 1u);
  EXPECT_GE(run.elapsed, 20s);
  EXPECT_LT(run.elapsed, 30s);
}

}  // namespace
