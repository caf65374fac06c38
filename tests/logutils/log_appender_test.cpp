#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "logutils/log_appender.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/logutils/log_lines.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/test_support.h"
#include "tests/support/throwaway_home.h"

namespace {

using LogUtils::LogAppender;
using testing_support::ReadFile;

std::string Ids() {
  char ids[64];
  std::snprintf(ids, sizeof ids, "[%5d][%5d]", static_cast<int>(platform::CurrentProcessId()),
                static_cast<int>(platform::CurrentThreadId()));
  return ids;
}

class LogAppenderTest : public testing::Test {
 protected:
  void SetUp() override { testing_support::SetClock({2026, 2, 28, 14, 5, 9, 42}); }
  std::wstring Path() const { return log_.wstring(); }

  // Holds the appender's mutex from another thread until released.
  class Holder {
   public:
    explicit Holder(const std::wstring& path) {
      thread_ = std::thread([this, name = LogAppender::MutexNameFor(path)] {
        bool created = false;
        auto mutex = platform::NamedMutex::CreateOwned(name, &created);
        if (!created)
          mutex->Acquire();
        held_ = true;
        while (!release_)
          std::this_thread::yield();
        mutex->Release();
      });
      while (!held_)
        std::this_thread::yield();
    }
    ~Holder() { Release(); }
    void Release() {
      release_ = true;
      if (thread_.joinable())
        thread_.join();
    }

   private:
    std::atomic<bool> held_{false};
    std::atomic<bool> release_{false};
    std::thread thread_;
  };

  testing_support::TempDir dir_;
  std::filesystem::path log_ = dir_ / "a.log";
};

TEST_F(LogAppenderTest, LinesCarryTimeIdsOptionalLabelAndCrLf) {
  {
    LogAppender appender(Path().c_str(), L"", 0);
    const std::int32_t size = appender.Write(L"-------log start", 0);
    const std::string line = "03-28 14:05:09.042 " + Ids() + "-------log start\r\n";
    EXPECT_EQ(ReadFile(log_), line);
    EXPECT_EQ(size, static_cast<std::int32_t>(line.size()));
    appender.Write(L"", 0);
    EXPECT_EQ(ReadFile(log_), line + "03-28 14:05:09.042 " + Ids() + "\r\n")
        << "an empty text is still a line";
  }
  {
    testing_support::SetClock({2026, 11, 1, 0, 0, 0, 7});
    LogAppender appender((dir_ / "b.log").wstring().c_str(), L"ui", 0);
    appender.Write(L"text", 0);
    EXPECT_EQ(ReadFile(dir_ / "b.log"), "12-01 00:00:00.007 " + Ids() + "[ui]text\r\n");
  }
}

TEST_F(LogAppenderTest, ALabelTooLongForThePrefixIsCutToFit) {
  LogAppender appender(Path().c_str(), std::wstring(120, L'L').c_str(), 0);
  appender.Write(L"text", 0);
  const std::string line = ReadFile(log_);
  const std::size_t text_at = line.find("]text\r\n");
  ASSERT_NE(text_at, std::string::npos);
  EXPECT_EQ(text_at + 1, 99u) << "the prefix fills its 100-unit buffer, terminator included";
}

// In a UTF-8 code page every one of these characters takes three bytes.
TEST_F(LogAppenderTest, ChineseTextNeedsMoreThanTwoBytesACharacterAndIsKept) {
  const std::wstring text = L"配置已重置：日志正常";
  LogAppender appender(Path().c_str(), L"", 0);
  appender.Write(text, 0);
  std::string expected(text.size() * 4, '\0');
  expected.resize(static_cast<std::size_t>(platform::WideToAnsi(
      text.data(), static_cast<int>(text.size()), expected.data(), static_cast<int>(expected.size()))));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(testing_support::LogStatements(log_), std::vector<std::string>{expected});
}

TEST_F(LogAppenderTest, WhileTheMutexIsBusyLinesWaitInOrderWithTheirOwnTimes) {
  LogAppender appender(Path().c_str(), L"", 0);
  appender.Write(L"one", 0);
  const std::int32_t size = static_cast<std::int32_t>(std::filesystem::file_size(log_));
  {
    Holder holder(Path());
    testing_support::SetClock({2026, 2, 28, 14, 5, 10, 1});
    EXPECT_EQ(appender.Write(L"two", 0), size);
    EXPECT_EQ(std::filesystem::file_size(log_), static_cast<std::uintmax_t>(size));
  }
  testing_support::SetClock({2026, 2, 28, 14, 5, 11, 2});
  appender.Write(L"three", 0);
  const auto lines = testing_support::LogLines(log_);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "03-28 14:05:10.001 " + Ids() + "two");
  EXPECT_EQ(lines[2], "03-28 14:05:11.002 " + Ids() + "three");
}

TEST_F(LogAppenderTest, WaitingWriteBlocksUntilTheMutexIsFree) {
  LogAppender appender(Path().c_str(), L"", 0);
  auto holder = std::make_unique<Holder>(Path());
  std::thread release([&] {
    testing_support::SleepFor(std::chrono::milliseconds(100));
    holder->Release();
  });
  appender.Write(L"waited", 1);
  release.join();
  EXPECT_EQ(testing_support::LogStatements(log_), std::vector<std::string>{"waited"});
}

TEST_F(LogAppenderTest, AppendedLinesGoWithClear) {
  LogAppender appender(Path().c_str(), L"", 0);
  appender.Append(L"never written");
  EXPECT_EQ(appender.Clear(), 0) << "no file to delete";
  const std::int32_t size = appender.Write(L"kept", 0);
  EXPECT_EQ(ReadFile(log_), "03-28 14:05:09.042 " + Ids() + "kept\r\n");
  EXPECT_EQ(size, static_cast<std::int32_t>(ReadFile(log_).size())) << "counted from the new file";
  EXPECT_EQ(appender.Clear(), 1);
  EXPECT_FALSE(std::filesystem::exists(log_));
}

TEST_F(LogAppenderTest, AFailedOpenCountsMinusOneAndALineLess) {
  LogAppender appender((dir_ / "missing" / "a.log").wstring().c_str(), L"", 0);
  EXPECT_EQ(appender.Write(L"one", 0), -2);
  EXPECT_EQ(appender.Write(L"two", 0), -3);
  {
    Holder holder((dir_ / "missing" / "a.log").wstring());
    EXPECT_EQ(appender.Write(L"three", 0), -3) << "queued, not taken";
  }
  EXPECT_EQ(appender.Write(L"four", 0), -5);
  LogAppender fresh((dir_ / "missing2" / "a.log").wstring().c_str(), L"", 0);
  Holder holder((dir_ / "missing2" / "a.log").wstring());
  EXPECT_EQ(fresh.Write(L"one", 0), -1);
}

TEST_F(LogAppenderTest, TheCreatorDeletesAnExistingFileOnlyWhenAsked) {
  testing_support::WriteFile(log_, "old\r\n");
  {
    LogAppender keeps(Path().c_str(), L"", 0);
    EXPECT_TRUE(std::filesystem::exists(log_));
  }
  LogAppender deletes(Path().c_str(), L"", 1);
  EXPECT_FALSE(std::filesystem::exists(log_));
  testing_support::WriteFile(log_, "old\r\n");
  LogAppender opens(Path().c_str(), L"", 1);
  EXPECT_TRUE(std::filesystem::exists(log_)) << "the mutex existed: not the creator";
}

TEST_F(LogAppenderTest, MutexNamesKeepLettersAndDigitsOnly) {
  EXPECT_EQ(LogAppender::MutexNameFor(L"C:\\Data\\Log\\run-1.log"), L"CDATALOGRUN1LOG");
  EXPECT_EQ(LogAppender::MutexNameFor(L"c:/data/LOG/日志 run_1.log"), L"CDATALOGRUN1LOG");
  EXPECT_EQ(LogAppender::MutexNameFor(L"\\\\.-_"), L"");
}

TEST_F(LogAppenderTest, APathWithoutLettersOrDigitsStillLogsUnderAPrivateLock) {
  std::filesystem::create_directory(dir_ / "--");
  const std::filesystem::path odd = dir_ / "--" / "_";
  // Relative to the test folder, so that nothing of the path names a shared mutex.
  {
    testing_support::ScopedCurrentFolder in(dir_ / "--");
    LogAppender appender(L"_", L"", 1);
    appender.Write(L"private", 0);
  }
  EXPECT_EQ(testing_support::LogStatements(odd), std::vector<std::string>{"private"});
}

TEST_F(LogAppenderTest, AtItsBoundTheQueueWaitsForTheMutexAndLosesNothing) {
  LogAppender appender(Path().c_str(), L"", 0);
  appender.Write(L"first", 0);
  const auto text = [](wchar_t letter) { return std::wstring(1000, letter); };
  const std::size_t line_size = ("03-28 14:05:09.042 " + Ids()).size() + 1000 + 2;
  const std::size_t fits = LogAppender::kQueueLimitBytes / line_size;
  std::atomic<bool> written{false};
  {
    Holder holder(Path());
    for (std::size_t i = 0; i < fits; ++i)
      appender.Write(text(L'q'), 0);  // queued: the mutex is busy
    appender.Append(text(L'a'));      // past the bound, queued all the same
    std::thread writer([&] {
      appender.Write(text(L'w'), 0);  // at the bound: waits for the mutex
      written = true;
    });
    testing_support::SleepFor(std::chrono::milliseconds(200));
    EXPECT_FALSE(written) << "a write at the bound waits while the mutex is busy";
    holder.Release();
    writer.join();
  }
  EXPECT_TRUE(written);
  appender.Write(text(L'l'), 0);
  const auto statements = testing_support::LogStatements(log_);
  ASSERT_EQ(statements.size(), 1 + fits + 3);
  EXPECT_EQ(statements.front(), "first");
  EXPECT_EQ(statements[fits], std::string(1000, 'q'));
  EXPECT_EQ(statements[fits + 1], std::string(1000, 'a'));
  EXPECT_EQ(statements[fits + 2], std::string(1000, 'w'));
  EXPECT_EQ(statements.back(), std::string(1000, 'l'));
}

TEST_F(LogAppenderTest, AnAbandonedMutexIsTakenAndReleased) {
  LogAppender appender(Path().c_str(), L"", 0);
  bool created = false;
  auto other_handle = platform::NamedMutex::CreateOwned(LogAppender::MutexNameFor(Path()), &created);
  ASSERT_FALSE(created);
  std::thread([&] { other_handle->Acquire(); }).join();  // its owner ends without releasing it
  appender.Write(L"after the owner ended", 0);
  appender.Write(L"and again", 0);
  EXPECT_EQ(testing_support::LogStatements(log_),
            (std::vector<std::string>{"after the owner ended", "and again"}));
}

}  // namespace
