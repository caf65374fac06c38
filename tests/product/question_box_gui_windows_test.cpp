// The real question box of the Windows build: tidyhand.exe under Wine on a virtual X display, in a
// throwaway Wine prefix with a CJK font linked to the dialog font, answered Yes with the keyboard
// and No with a click, as a user would. The screenshot is kept as
// tests/artifacts/question_box_windows.png in the build folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include <unistd.h>

#include "tests/support/test_support.h"
#include "tests/support/wine_prefix.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;

const std::filesystem::path kWindowsBuild = TIDYHAND_WINDOWS_BUILD_DIR;
const char* kWine = WinePrefix::kWine;
const char* kCaption = "Vistrel看图";

// A display number no X server holds (its lock file is the server's own claim on it).
int FreeDisplay() {
  for (int display = 190 + ::getpid() % 100;; ++display) {
    if (!std::filesystem::exists("/tmp/.X" + std::to_string(display) + "-lock"))
      return display;
  }
}

std::map<std::string, int> WindowGeometry(const std::string& window, const RunOptions& options) {
  const auto shell = RunProgram({"/usr/bin/xdotool", "getwindowgeometry", "--shell", window}, options);
  std::map<std::string, int> geometry;
  std::istringstream lines(shell.output);
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (equals != std::string::npos)
      geometry[line.substr(0, equals)] = std::stoi(line.substr(equals + 1));
  }
  return geometry;
}

class WindowsQuestionBox : public testing::Test {
 protected:
  void SetUp() override {
    display_ = ":" + std::to_string(FreeDisplay());
    xvfb_ = std::make_unique<Background>(std::vector<std::string>{"/usr/bin/Xvfb", display_, "-screen", "0",
                                                                  "800x600x24", "-nolisten", "tcp"});
    ASSERT_TRUE(WaitUntil(
        [&] {
          return RunProgram({"/usr/bin/xdotool", "getdisplaygeometry"}, Options()).exit_code == 0;
        },
        20s))
        << "the X server did not come up";

    RunOptions boot = Options();
    const auto init = prefix_.Boot(boot);
    ASSERT_EQ(init.exit_code, 0) << init.output;
    boot.timeout = 180s;
    // Wine's dialog font has no CJK glyphs: the question would show as empty boxes. The font
    // Debian installs is linked to it, as a Chinese Windows links its own.
    const auto link = RunProgram(
        {kWine, "reg", "add", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink",
         "/v", "Tahoma", "/t", "REG_MULTI_SZ", "/d", "wqy-zenhei.ttc,WenQuanYi Zen Hei", "/f"},
        boot);
    ASSERT_EQ(link.exit_code, 0) << link.output;

    const std::filesystem::path app = prefix_.path() / "drive_c/Program Files/Vistrel";
    std::filesystem::create_directories(app);
    std::filesystem::copy_file(kWindowsBuild / "bin/tidyhand.exe", app / "tidyhand.exe");
    std::filesystem::copy_file(kWindowsBuild / "tests/bin/stat/all/kitbase.dll", app / "kitbase.dll");
    ASSERT_FALSE(prefix_.Roaming().empty());
    config_ = prefix_.Roaming() / "Vistrel/config.ini";
  }

  void TearDown() override {
    if (xvfb_ != nullptr) {
      xvfb_->Kill();
      std::filesystem::remove("/tmp/.X11-unix/X" + display_.substr(1));
      std::filesystem::remove("/tmp/.X" + display_.substr(1) + "-lock");
    }
  }

  RunOptions Options() const {
    RunOptions options = prefix_.Options();
    options.env["DISPLAY"] = display_;
    options.env["STAT_RECORD"] = "Z:" + (work_ / "record").string();
    options.unset = {"WAYLAND_DISPLAY"};
    options.timeout = 90s;
    return options;
  }

  WinePrefix prefix_;
  TempDir work_;
  std::string display_;
  std::unique_ptr<Background> xvfb_;
  std::filesystem::path config_;
};

TEST_F(WindowsQuestionBox, ReturnAnswersYesAndDeletesTheConfigurationAClickOnNoKeepsIt) {
  struct Case {
    const char* answer;
    bool deleted;
  } cases[] = {{"Return", true}, {"click No", false}};
  bool shot = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    WriteFile(config_, "[view]\r\n");
    // The program waits its 20 seconds first.
    Background run({kWine, "C:\\Program Files\\Vistrel\\tidyhand.exe", "--clean"}, Options());
    const auto found = RunProgram({"/usr/bin/xdotool", "search", "--sync", "--name", kCaption}, Options());
    ASSERT_EQ(found.exit_code, 0) << found.output;
    const std::string window = found.output.substr(0, found.output.find('\n'));
    SleepFor(1500ms);  // let it draw
    EXPECT_TRUE(std::filesystem::exists(config_)) << "deleted before the answer";

    if (!shot) {
      const std::filesystem::path artifacts = TestBinDir().parent_path() / "artifacts";
      std::filesystem::create_directories(artifacts);
      const auto image = RunProgram(
          {"/usr/bin/import", "-window", "root", (artifacts / "question_box_windows.png").string()},
          Options());
      EXPECT_EQ(image.exit_code, 0) << image.output;
      shot = true;
    }

    if (c.deleted) {
      RunProgram({"/usr/bin/xdotool", "windowfocus", "--sync", window}, Options());
      EXPECT_EQ(RunProgram({"/usr/bin/xdotool", "key", "Return"}, Options()).exit_code, 0);
    } else {
      // Wine lays the two buttons out side by side below the text, centred: No is the right one,
      // its centre 39 pixels right of the box's middle and 22 above its lower edge.
      auto geometry = WindowGeometry(window, Options());
      ASSERT_EQ(geometry.count("WIDTH"), 1u) << "the box's geometry";
      const int x = geometry["X"] + geometry["WIDTH"] / 2 + 39;
      const int y = geometry["Y"] + geometry["HEIGHT"] - 22;
      const auto move = RunProgram(
          {"/usr/bin/xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y)}, Options());
      SleepFor(300ms);
      const auto click = RunProgram({"/usr/bin/xdotool", "click", "1"}, Options());
      EXPECT_EQ(move.exit_code + click.exit_code, 0) << move.output << click.output;
    }
    EXPECT_EQ(run.Wait(30s), 0) << "the box was not answered";
    EXPECT_EQ(std::filesystem::exists(config_), !c.deleted);
  }
}

}  // namespace
