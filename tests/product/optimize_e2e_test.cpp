// "--optimize" end to end: the real program, in a program folder with blanks in its path, starts
// the reference helper only from its own folder and only when its signer is accepted.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/launch/certificates.h"
#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"
#include "tests/support/throwaway_home.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;

class OptimizeRun : public testing::Test {
 protected:
  void SetUp() override {
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

  RunOptions Options() const {
    RunOptions options = home_.Options();
    options.env["DUMP_FILE"] = dump_.string();
    return options;
  }

  RunResult Tidyhand(const std::vector<std::string>& args, const std::filesystem::path& folder = {}) {
    std::vector<std::string> argv = {((folder.empty() ? app_ : folder) / "tidyhand").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, Options());
  }

  // The dumping test child, signed under an accepted name, as the helper at `where`: it records
  // its arguments, descriptors, session and signals in dump_.
  void PlaceDumpingHelper(const std::filesystem::path& where) {
    std::filesystem::copy_file(TestProgram("argv_dump"), where);
    Resign(where, "Vistrel Code Signing");
    std::filesystem::permissions(where, std::filesystem::perms::owner_all);
  }

  std::vector<std::string> Dump() const {
    return std::filesystem::exists(dump_) ? SplitLines(ReadFile(dump_)) : std::vector<std::string>{};
  }

  // The helper's lines, once `count` have arrived (it runs on after the program has ended).
  std::vector<std::string> HelperRuns(std::size_t count) const {
    WaitUntil(
        [&] {
          return std::filesystem::exists(helper_log_) && SplitLines(ReadFile(helper_log_)).size() >= count;
        },
        count == 0 ? 500ms : 30s);
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

  ThrowawayHome home_;
  std::filesystem::path app_ = home_ / "Program Files/Vistrel Viewer";
  std::filesystem::path log_ = home_ / ".config/Vistrel/Log/tidyhand.log";
  std::filesystem::path helper_log_ = home_ / ".config/Vistrel/Log/vrhelper.log";
  std::filesystem::path dump_ = home_ / "dump";
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

// A program whose own path is too long for the system to give: its folder is unknown, and the helper
// is not looked for wherever the program was started instead. (The statistics library, preloaded,
// is found loaded already; beside the program it could not be found either.)
TEST_F(OptimizeRun, WithoutItsOwnFolderTheProgramStartsNoHelperFromTheCurrentFolder) {
  std::filesystem::path deep = home_.path();
  for (const char letter : {'a', 'b', 'c'})
    deep /= std::string(100, letter);
  std::filesystem::create_directories(deep);
  for (const char* file : {"tidyhand", "kitbase.dll"})
    std::filesystem::copy_file(BinDir() / file, deep / file);
  PlaceHelper(home_ / "vrhelper.exe");  // signed, in the current folder
  RunOptions options = Options();
  options.env["LD_PRELOAD"] = (deep / "kitbase.dll").string();
  const RunResult run = RunProgram({(deep / "tidyhand").string(), "--optimize"}, options);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const auto statements = LogStatements(log_);
  ASSERT_EQ(statements.size(), 4u) << ReadFile(log_);
  EXPECT_NE(statements[3].find("GetModuleFileName failed"), std::string::npos) << statements[3];
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

TEST_F(OptimizeRun, AFolderWhoseNameHoldsAQuoteStartsNothing) {
  // The command line "\"<home>/q/x\"y/vrhelper.exe\" " names <home>/q/x as its program: an
  // unsigned program there must never start, and neither does the checked helper.
  const auto folder = home_ / "q/x\"y";
  std::filesystem::create_directories(folder);
  for (const char* file : {"tidyhand", "kitbase.dll"})
    std::filesystem::copy_file(BinDir() / file, folder / file);
  PlaceHelper(folder / "vrhelper.exe");
  std::filesystem::copy_file(TestProgram("argv_dump"), home_ / "q/x");
  ASSERT_EQ(Tidyhand({"--optimize"}, folder).exit_code, 0);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"run", "StartHelper"}));
  EXPECT_TRUE(HelperRuns(0).empty());
  EXPECT_TRUE(Dump().empty()) << "the program the quote would name ran";
}

TEST_F(OptimizeRun, TheHelperIsAStrangerToTheCallerAndOutlivesIt) {
  PlaceDumpingHelper(app_ / "vrhelper.exe");
  const auto hold = home_ / "hold";
  WriteFile(hold, "");
  RunOptions options = Options();
  options.env["HOLD_FILE"] = hold.string();
  options.timeout = std::chrono::milliseconds(30000);
  // The program's output is a pipe that is read to its end, and it runs with interrupts and
  // hang-ups ignored: the pipe ends with the program, and the helper keeps nothing of either.
  const auto run = RunProgram(
      {"/bin/sh", "-c", "trap '' HUP INT; \"$0\" --optimize | cat", (app_ / "tidyhand").string()}, options);
  EXPECT_FALSE(run.timed_out) << "the pipe waited for the helper";
  EXPECT_EQ(run.exit_code, 0);
  ASSERT_TRUE(WaitUntil([&] { return Dump().size() >= 4 && Dump().back().rfind("image ", 0) == 0; }, 10s));

  const std::vector<std::string> dump = Dump();
  std::vector<std::string> fds;
  std::string session, ignored, blocked;
  for (const std::string& line : dump) {
    // The fast clock's library, loaded into the helper with the environment, opens its own.
    if (line.rfind("fd ", 0) == 0 && line.find("/dev/shm/faketime") == std::string::npos)
      fds.push_back(line.substr(3));
    if (line.rfind("session ", 0) == 0)
      session = line.substr(8);
    if (line.rfind("sigign ", 0) == 0)
      ignored = line.substr(7);
    if (line.rfind("sigblk ", 0) == 0)
      blocked = line.substr(7);
  }
  EXPECT_EQ(fds, (std::vector<std::string>{"0 /dev/null", "1 /dev/null", "2 /dev/null"}));
  EXPECT_EQ(session, "own");
  EXPECT_EQ(ignored, "0000000000000000");
  EXPECT_EQ(blocked, "0000000000000000");
  EXPECT_EQ(dump.front(), "arg " + (app_ / "vrhelper.exe").string());
  EXPECT_EQ(std::count(dump.begin(), dump.end(), "done"), 0) << "the helper still runs";

  std::filesystem::remove(hold);
  EXPECT_TRUE(WaitUntil([&] { return !Dump().empty() && Dump().back() == "done"; }, 10s));
}

}  // namespace
