// The real question box: zenity on a virtual X display, answered Yes with the keyboard as a user
// would. The screenshot is kept as tests/artifacts/question_box.png in the build folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include <unistd.h>

#include "product/tidyhand/tidyhand.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ScopedEnv;

// A display number no X server holds (its lock file is the server's own claim on it).
int FreeDisplay() {
  for (int display = 90 + ::getpid() % 100;; ++display) {
    if (!std::filesystem::exists("/tmp/.X" + std::to_string(display) + "-lock"))
      return display;
  }
}

TEST(QuestionBox, TheRealBoxShowsTheQuestionAndYesResets) {
  const int display = FreeDisplay();
  const std::string name = ":" + std::to_string(display);
  testing_support::Background xvfb({"/usr/bin/Xvfb", name, "-screen", "0", "800x600x24", "-nolisten", "tcp"});
  // Whatever happens below, the server goes first, which ends a box still waiting for an answer.
  struct EndServer {
    testing_support::Background& server;
    int display;
    ~EndServer() {
      server.Kill();
      std::filesystem::remove("/tmp/.X11-unix/X" + std::to_string(display));
      std::filesystem::remove("/tmp/.X" + std::to_string(display) + "-lock");
    }
  };

  testing_support::TempDir home;
  testing_support::WriteFile(home / ".config/Vistrel/config.ini", "[view]\n");
  ScopedEnv display_env("DISPLAY", name);
  ScopedEnv home_env("HOME", home.path().string());
  ScopedEnv config_env("XDG_CONFIG_HOME", std::nullopt);
  ScopedEnv wayland_env("WAYLAND_DISPLAY", std::nullopt);

  testing_support::RunOptions options;
  options.timeout = 30s;
  ASSERT_TRUE(testing_support::WaitUntil(
      [&] {
        return testing_support::RunProgram({"/usr/bin/xdotool", "getdisplaygeometry"}, options).exit_code ==
               0;
      },
      20s))
      << "the X server did not come up";

  auto answered = std::async(std::launch::async, [] { return CleanConfig(); });
  EndServer end_server{xvfb, display};

  const auto found =
      testing_support::RunProgram({"/usr/bin/xdotool", "search", "--sync", "--name", "Vistrel看图"}, options);
  ASSERT_EQ(found.exit_code, 0) << found.output;
  const std::string window = found.output.substr(0, found.output.find('\n'));
  testing_support::SleepFor(1500ms);  // let it draw

  const std::filesystem::path artifacts = testing_support::TestBinDir().parent_path() / "artifacts";
  std::filesystem::create_directories(artifacts);
  const auto shot = testing_support::RunProgram(
      {"/usr/bin/import", "-window", "root", (artifacts / "question_box.png").string()}, options);
  EXPECT_EQ(shot.exit_code, 0) << shot.output;

  testing_support::RunProgram({"/usr/bin/xdotool", "windowfocus", "--sync", window}, options);
  const auto key = testing_support::RunProgram({"/usr/bin/xdotool", "key", "Return"}, options);
  EXPECT_EQ(key.exit_code, 0) << key.output;

  ASSERT_EQ(answered.wait_for(20s), std::future_status::ready);
  EXPECT_TRUE(answered.get());
  EXPECT_FALSE(std::filesystem::exists(home / ".config/Vistrel/config.ini"));
}

}  // namespace
