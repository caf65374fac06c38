#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "logutils/logger_impl.h"
#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::LogStatements;
using Lines = std::vector<std::string>;

class LoggerImplTest : public testing::Test {
 protected:
  std::wstring Path() const { return log_.wstring(); }
  void SwitchOn() const { testing_support::WriteFile(log_.string() + ".on", ""); }
  void SwitchOff() const { std::filesystem::remove(log_.string() + ".on"); }
  void Start(int enable, int fresh_log = 0, int max_size = LogUtils::LoggerImpl::kDefaultMaxSize) {
    logger_.Start(Path().c_str(), L"", enable, fresh_log, max_size);
  }
  void Log(const std::string& text) {
    LogUtils::LogStream statement("[I]", "src\\unit.cpp", 7);
    statement << text.c_str();
    logger_.Log(statement);
  }
  // The lowest level that passes the threshold.
  int Threshold() {
    for (int level = -1; level <= 4; ++level) {
      if (logger_.IsEnabled(level))
        return level;
    }
    return 5;
  }
  Lines Statements() const { return LogStatements(log_); }

  testing_support::TempDir dir_;
  std::filesystem::path log_ = dir_ / "unit.log";
  LogUtils::LoggerImpl logger_;
};

TEST_F(LoggerImplTest, StartWithoutSwitchFileCreatesNoFile) {
  Start(0);
  EXPECT_EQ(Threshold(), 3);
  logger_.End();
  logger_.Command(L"--reload_log_switch");
  EXPECT_EQ(Threshold(), 3);
  EXPECT_FALSE(std::filesystem::exists(log_));
}

TEST_F(LoggerImplTest, SwitchFileStartsEverythingAndTheStartMarkerPrecedesTheFirstStatement) {
  SwitchOn();
  Start(0);
  EXPECT_EQ(Threshold(), 0);
  EXPECT_FALSE(std::filesystem::exists(log_)) << "the marker is only queued";
  Log("first");
  EXPECT_EQ(Statements(), (Lines{"-------log start", "[I][   7][unit] first"}));
  logger_.SetLevel(3);
  EXPECT_EQ(Threshold(), 3) << "not locked with enable 0";
}

TEST_F(LoggerImplTest, EnableWithTheSwitchFileLocksTheLevelButEndStillStops) {
  SwitchOn();
  Start(1);
  EXPECT_EQ(Threshold(), 0);
  logger_.Command(L"--set_log_lev=3");
  EXPECT_EQ(Threshold(), 0);
  logger_.End();
  EXPECT_EQ(Threshold(), 3);
  EXPECT_EQ(Statements(), (Lines{"-------log start", "-------log end"})) << "no marker from the locked level";
}

TEST_F(LoggerImplTest, EnableWithoutSwitchFileSetsLevelOne) {
  Start(1);
  EXPECT_EQ(Threshold(), 1);
  logger_.End();
  EXPECT_EQ(Statements(), (Lines{"-------log start", "-------log end"}));
}

TEST_F(LoggerImplTest, SetLevelMarksChangesThatTouchLevelOne) {
  struct Case {
    int from;
    int to;
    std::optional<std::string> marker;
  } cases[] = {
      {0, 3, "-------log off"},        {2, 3, std::nullopt},
      {0, 2, "-------log lev change"}, {3, 0, "-------log lev change"},
      {1, 1, "-------log lev change"}, {3, 2, std::nullopt},
  };
  Start(0);
  for (const Case& c : cases) {
    logger_.SetLevel(c.from);
    const std::size_t before = std::filesystem::exists(log_) ? Statements().size() : 0;
    logger_.SetLevel(c.to);
    EXPECT_EQ(Threshold(), c.to);
    const Lines after = std::filesystem::exists(log_) ? Statements() : Lines{};
    if (c.marker) {
      ASSERT_EQ(after.size(), before + 1) << c.from << " -> " << c.to;
      EXPECT_EQ(after.back(), *c.marker);
    } else {
      EXPECT_EQ(after.size(), before) << c.from << " -> " << c.to;
    }
  }
}

TEST_F(LoggerImplTest, WithoutAppenderOnlyTheThresholdChanges) {
  logger_.SetLevel(0);
  EXPECT_EQ(Threshold(), 0);
  logger_.End();
  logger_.Reset();
  Log("nowhere");
  EXPECT_EQ(Threshold(), 0) << "End without an appender does nothing";
}

TEST_F(LoggerImplTest, CommandsAreCaseInsensitiveSubstringsTriedInOrder) {
  struct Case {
    const wchar_t* command;
    int threshold;
  } cases[] = {
      {L"--SET_LOG_LEV=2", 2},
      {L"x --set_log_lev=10 y", 1},
      {L"--set_log_lev=4", 3},
      {L"--set_log_lev=3 --set_log_lev=0", 0},
      {nullptr, 3},
      {L"--reload_log_switch --set_log_lev=1", 1},
  };
  for (const Case& c : cases) {
    LogUtils::LoggerImpl logger;
    logger.Command(c.command);
    int threshold = 5;
    for (int level = 4; level >= -1; --level) {
      if (logger.IsEnabled(level))
        threshold = level;
    }
    EXPECT_EQ(threshold, c.threshold) << (c.command ? std::filesystem::path(c.command).string() : "null");
  }
}

TEST_F(LoggerImplTest, ReloadFollowsTheSwitchFileWhateverStartWasGiven) {
  SwitchOn();
  Start(1);
  SwitchOff();
  logger_.Command(L"--reload_log_switch");
  EXPECT_EQ(Threshold(), 3);
  SwitchOn();
  logger_.Command(L"--RELOAD_LOG_SWITCH");
  EXPECT_EQ(Threshold(), 0);
  Log("after");
  EXPECT_EQ(Statements(), (Lines{"-------log start", "-------log reload switch", "[I][   7][unit] after"}));
}

TEST_F(LoggerImplTest, ResetEmptiesTheFileAndStartsItWithItsMarker) {
  SwitchOn();
  Start(0);
  Log("before");
  logger_.Reset();
  EXPECT_FALSE(std::filesystem::exists(log_));
  Log("after");
  EXPECT_EQ(Statements(), (Lines{"-------log reset", "[I][   7][unit] after"}));
}

TEST_F(LoggerImplTest, FullFileWithFreshLogStopsStatements) {
  SwitchOn();
  Start(0, 1, 60);
  Log("pushes the file past its limit");
  EXPECT_EQ(Statements(),
            (Lines{"-------log start", "[I][   7][unit] pushes the file past its limit", "-------log full"}));
  EXPECT_EQ(Threshold(), 3);
}

TEST_F(LoggerImplTest, FullFileWithoutFreshLogStartsOverAndGoesOn) {
  SwitchOn();
  Start(0, 0, 150);
  Log(std::string(200, 'x'));
  EXPECT_FALSE(std::filesystem::exists(log_)) << "the statement that crossed the limit went with the file";
  EXPECT_EQ(Threshold(), 0);
  Log("next");
  EXPECT_EQ(Statements(), (Lines{"-------log full reset", "[I][   7][unit] next"}));
}

TEST_F(LoggerImplTest, FullFileThatCannotBeDeletedSaysWhyAndStops) {
  SwitchOn();
  Start(0, 0, 150);
  Log("short");
  int error = 0;
  {
    testing_support::DeletionBlocker blocker(log_);
    error = blocker.error();
    Log(std::string(200, 'x'));
  }
  EXPECT_EQ(Threshold(), 3);
  logger_.SetLevel(1);  // a Write that brings the queued failure marker out
  const Lines statements = Statements();
  ASSERT_GE(statements.size(), 2u);
  // The error number, a colon and the system's message for it, on one line.
  const std::string marker = statements[statements.size() - 2];
  const std::string start = "-------log full reset failed. " + std::to_string(error) + ":";
  EXPECT_EQ(marker.substr(0, start.size()), start) << marker;
  EXPECT_GT(marker.size(), start.size() + 5) << "with the system's words";
  EXPECT_EQ(marker.find('\r'), std::string::npos);
  EXPECT_EQ(statements.back(), "-------log lev change");
}

TEST_F(LoggerImplTest, ASizeEqualToTheLimitIsNotFull) {
  SwitchOn();
  Start(0);
  Log("measure");
  const auto size = static_cast<int>(std::filesystem::file_size(log_));

  for (const auto& [max_size, full] : {std::pair{size, false}, std::pair{size - 1, true}}) {
    testing_support::TempDir dir;
    testing_support::WriteFile(dir / "unit.log.on", "");
    LogUtils::LoggerImpl logger;
    logger.Start((dir / "unit.log").wstring().c_str(), L"", 0, 1, max_size);
    LogUtils::LogStream statement("[I]", "src\\unit.cpp", 7);
    statement << "measure";
    logger.Log(statement);
    EXPECT_EQ(LogStatements(dir / "unit.log").back() == "-------log full", full) << max_size;
  }
}

TEST_F(LoggerImplTest, ASecondStartKeepsTheFirstFileButLooksAtTheNewSwitchFile) {
  SwitchOn();
  Start(0);
  testing_support::TempDir second;
  logger_.Start((second / "second.log").wstring().c_str(), L"", 0, 0, 1000);
  EXPECT_EQ(Threshold(), 3) << "the second path has no switch file";
  testing_support::WriteFile(second / "second.log.on", "");
  logger_.Command(L"--reload_log_switch");
  EXPECT_EQ(Threshold(), 0);
  Log("still the first file");
  EXPECT_FALSE(std::filesystem::exists(second / "second.log"));
  EXPECT_EQ(Statements().back(), "[I][   7][unit] still the first file");
}

}  // namespace
