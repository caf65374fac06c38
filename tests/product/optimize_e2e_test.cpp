// "--optimize" end to end: the real program, in a program folder with blanks in its path, starts
// the reference helper only from its own folder and only when its signer is accepted.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/launch/certificates.h"
#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;

class OptimizeRun : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(home_ / "bin/zenity", "#!/bin/sh\nexit 1\n");
    std::filesystem::permissions(home_ / "bin/zenity", std::filesystem::perms::owner_all);
    std::filesystem::create_directories(app_);
    for (const char* file : {"tidyhand", "kitbase.dll"})
      std::filesystem::copy_file(BinDir() / file, app_ / file);
    WriteFile(log_.string() + ".on", "");
  }

  // The reference helper, signed at build time under an accepted name, put at `where`.
  std::filesystem::path PlaceHelper(const std::filesystem::path& where) {
    std::filesystem::create_directories(where.parent_path());
    std::filesystem::copy_file(BinDir() / "vrhelper.exe", where,
                               std::filesystem::copy_options::overwrite_existing);
    return where;
  }

  // Re-signs `file` with the tool, under `name`.
  void Resign(const std::filesystem::path& file, const std::string& name) {
    Key key = MakeKey();
    Cert certificate = MakeCert(Named(name), key.get());
    WritePem(home_ / "cert.pem", certificate.get());
    WritePem(home_ / "key.pem", key.get());
    const auto signed_run =
        RunProgram({(BinDir() / "tidysign").string(), "sign", "--cert", (home_ / "cert.pem").string(),
                    "--key", (home_ / "key.pem").string(), file.string()});
    ASSERT_EQ(signed_run.exit_code, 0) << signed_run.output;
  }

  RunResult Tidyhand(const std::vector<std::string>& args) {
    RunOptions options;
    options.env = {{"HOME", home_.path().string()},
                   {"PATH", (home_ / "bin").string() + ":/usr/bin:/bin"},
                   {"DISPLAY", ":99"}};
    options.unset = {"XDG_CONFIG_HOME"};
    options.cwd = home_.path();
    options.fast_clock = true;
    std::vector<std::string> argv = {(app_ / "tidyhand").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, options);
  }

  // The helper's lines, once `count` have arrived (it runs on after the program has ended).
  std::vector<std::string> HelperRuns(std::size_t count) const {
    WaitUntil(
        [&] {
          return std::filesystem::exists(helper_log_) && SplitLines(ReadFile(helper_log_)).size() >= count;
        },
        count == 0 ? 500ms : 10s);
    return std::filesystem::exists(helper_log_) ? SplitLines(ReadFile(helper_log_))
                                                : std::vector<std::string>{};
  }

  std::vector<std::string> Commands() const {
    std::vector<std::string> commands;
    for (const std::string& statement : LogStatements(log_)) {
      const std::size_t stem = statement.find("[tidyhand] ");
      if (stem != std::string::npos)
        commands.push_back(statement.substr(stem + 11));
    }
    return commands;
  }

  TempDir home_;
  std::filesystem::path app_ = home_ / "Program Files/Vistrel Viewer";
  std::filesystem::path log_ = home_ / ".config/Vistrel/Log/tidyhand.log";
  std::filesystem::path helper_log_ = home_ / ".config/Vistrel/Log/vrhelper.log";
};

TEST_F(OptimizeRun, TheSignedHelperStartsBeforeTheQuestionWithNoArguments) {
  PlaceHelper(app_ / "vrhelper.exe");
  ASSERT_EQ(Tidyhand({"--optimize", "--clean"}).exit_code, 0);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"run", "StartHelper", "CleanConfig"}));
  const auto runs = HelperRuns(1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NE(runs[0].find("ran in \"" + home_.path().string() + "\" with 0 arguments:"), std::string::npos)
      << runs[0];
}

TEST_F(OptimizeRun, TheSwitchTwiceStartsItTwice) {
  PlaceHelper(app_ / "vrhelper.exe");
  ASSERT_EQ(Tidyhand({"--optimize", "--OPTIMIZE"}).exit_code, 0);
  EXPECT_EQ(HelperRuns(2).size(), 2u);
}

TEST_F(OptimizeRun, AHelperOnlyOnThePathOrInTheCurrentFolderIsNeverStarted) {
  PlaceHelper(home_ / "bin/vrhelper.exe");
  PlaceHelper(home_ / "vrhelper.exe");
  ASSERT_EQ(Tidyhand({"--optimize"}).exit_code, 0);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"run", "StartHelper"}));
  EXPECT_TRUE(HelperRuns(0).empty());
}

TEST_F(OptimizeRun, AHelperThatIsChangedOrSignedByAnotherPublisherIsRefused) {
  const auto helper = PlaceHelper(app_ / "vrhelper.exe");
  Resign(helper, "Someone Else Ltd.");
  ASSERT_EQ(Tidyhand({"--optimize"}).exit_code, 0);
  EXPECT_TRUE(HelperRuns(0).empty()) << "a publisher not on the list";

  Resign(helper, "Vistrel Code Signing");
  WriteFile(helper, ReadFile(helper) + "x");
  ASSERT_EQ(Tidyhand({"--optimize"}).exit_code, 0);
  EXPECT_TRUE(HelperRuns(0).empty()) << "changed after signing";

  Resign(helper, "Vistrel Code Signing");
  std::filesystem::permissions(helper, std::filesystem::perms::owner_all);
  ASSERT_EQ(Tidyhand({"--optimize"}).exit_code, 0);
  EXPECT_EQ(HelperRuns(1).size(), 1u) << "signed again by an accepted publisher";
}

}  // namespace
