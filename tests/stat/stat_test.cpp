#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "stat/stat_client.h"
#include "tests/stat/recorded_calls.h"
#include "tests/support/test_support.h"
#include "tests/support/throwaway_home.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Calls;
using testing_support::ReadFile;
using testing_support::Recorded;
using testing_support::RunOptions;
using testing_support::TempDir;
using testing_support::WriteFile;

// The real program, copied into a folder laid out per case, with the stand-in zenity recording
// into the same file as the library. Each call is recorded with the folder the library was
// loaded from.
class StatRunTest : public testing::Test {
 protected:
  void SetUp() override {
    home_.AlsoRecordQuestionsIn(record_);
    std::filesystem::create_directories(app_ / "bin");
    std::filesystem::copy_file(testing_support::BinDir() / "tidyhand", app_ / "bin/tidyhand");
  }
  void Place(const std::string& variant, const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(testing_support::RecordingLibrary(variant), folder / "kitbase.dll");
  }
  testing_support::RunResult Tidyhand(std::map<std::string, std::string> extra_env = {}) {
    RunOptions options = home_.Options();
    options.env["STAT_RECORD"] = record_.string();
    options.env.merge(extra_env);
    options.cwd = home_ / "cwd";
    std::filesystem::create_directories(options.cwd);
    return testing_support::RunProgram({(app_ / "bin/tidyhand").string(), "--clean"}, options);
  }

  testing_support::ThrowawayHome home_;
  std::filesystem::path app_ = home_ / "app";
  std::filesystem::path record_ = home_ / "record";
};

TEST_F(StatRunTest, TheLibraryBesideTheProgramComesFirstAndTheCloseComesLast) {
  Place("all", app_ / "bin");
  Place("no_start", app_);  // the folder above is not considered
  ASSERT_EQ(Tidyhand().exit_code, 0);
  EXPECT_EQ(Recorded(record_),
            (Calls{"bin StartStat", "bin SendStatUrl tyhand run", "question", "bin WaitStatComplete 2000"}));
}

TEST_F(StatRunTest, TheFolderAboveTheProgramIsTheSecondPlace) {
  Place("all", app_);
  ASSERT_EQ(Tidyhand().exit_code, 0);
  EXPECT_EQ(Recorded(record_),
            (Calls{"app StartStat", "app SendStatUrl tyhand run", "question", "app WaitStatComplete 2000"}));
}

TEST_F(StatRunTest, ALibraryOnlyInTheCurrentFolderOrTheLibraryPathIsMissing) {
  Place("all", home_ / "cwd");
  Place("all", home_ / "libs");
  const auto run = Tidyhand({{"LD_LIBRARY_PATH", (home_ / "libs").string()}});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(Recorded(record_), Calls{}) << "no question, no close";
  EXPECT_GE(run.elapsed, 150ms) << "after the wait";
}

// A library that someone else could have put beside the program, or changed, is not loaded: it
// counts as missing, and the run ends after the wait.
TEST_F(StatRunTest, ALibraryThatAnotherUserCouldHavePutThereIsMissing) {
  struct Case {
    const char* what;
    std::function<void(const std::filesystem::path& library)> make;
  } cases[] = {
      {"writable by others",
       [](const std::filesystem::path& library) {
         std::filesystem::permissions(library, std::filesystem::perms::others_write,
                                      std::filesystem::perm_options::add);
       }},
      {"in a folder that others may write to",
       [](const std::filesystem::path& library) {
         std::filesystem::permissions(library.parent_path(), std::filesystem::perms::all);
       }},
      {"another user's",
       [](const std::filesystem::path& library) { ASSERT_EQ(::chown(library.c_str(), 61237, 61237), 0); }},
  };
  for (const Case& c : cases) {
    if (std::string(c.what) == "another user's" && ::getuid() != 0)
      continue;  // only root can give a file away
    SCOPED_TRACE(c.what);
    std::filesystem::remove(app_ / "bin/kitbase.dll");
    std::filesystem::permissions(app_ / "bin", std::filesystem::perms::owner_all);
    std::filesystem::remove(record_);
    Place("all", app_ / "bin");
    c.make(app_ / "bin/kitbase.dll");
    const auto run = Tidyhand();
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(Recorded(record_), Calls{}) << "no library, no question, no close";
  }
}

TEST_F(StatRunTest, AMissingExportIsLeftOutAndTheRunGoesOn) {
  struct Case {
    const char* variant;
    Calls calls;
  } cases[] = {
      {"no_start", {"bin SendStatUrl tyhand run", "question", "bin WaitStatComplete 2000"}},
      {"no_send", {"bin StartStat", "question", "bin WaitStatComplete 2000"}},
      {"no_wait", {"bin StartStat", "bin SendStatUrl tyhand run", "question"}},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(app_ / "bin/kitbase.dll");
    std::filesystem::remove(record_);
    Place(c.variant, app_ / "bin");
    ASSERT_EQ(Tidyhand().exit_code, 0);
    EXPECT_EQ(Recorded(record_), c.calls) << c.variant;
  }
}

TEST(StatPreloaded, ALibraryLoadedAlreadyIsUsedWithoutLookingForFiles) {
  TempDir dir;
  RunOptions options;
  options.env = {{"STAT_RECORD", (dir / "record").string()}};
  const auto run = testing_support::RunProgram({(testing_support::TestBinDir() / "stat_preloader").string(),
                                                testing_support::RecordingLibrary("no_start").string()},
                                               options);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(Recorded(dir / "record"),
            (Calls{"no_start SendStatUrl tyhand run", "no_start WaitStatComplete 2000"}));
}

}  // namespace
