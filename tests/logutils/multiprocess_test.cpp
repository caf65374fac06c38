// Several processes on one log file.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <string>

#include "logutils/log_appender.h"
#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Background;
using testing_support::TempDir;

std::string Writer() {
  return testing_support::TestProgram("log_writer").string();
}

TEST(MultiProcess, FourWritersNeverTearOrInterleaveALineAndLoseNone) {
  TempDir dir;
  const std::string log = (dir / "shared.log").string();
  constexpr int kCount = 10000;
  std::vector<std::unique_ptr<Background>> writers;
  for (int w = 0; w < 4; ++w) {
    writers.push_back(std::make_unique<Background>(
        std::vector<std::string>{Writer(), "write", log, std::to_string(kCount), "w" + std::to_string(w)}));
  }
  for (auto& writer : writers)
    ASSERT_EQ(writer->Wait(120s), 0);

  const std::regex statement(R"(\[I\]\[ *\d+\]\[log_writer\] w(\d) (\d+))");
  std::map<int, int> next;  // writer -> the index its next line must have
  std::map<std::string, int> markers;
  const auto lines = testing_support::LogLines(log);
  for (const std::string& line : lines) {
    std::smatch prefix;
    ASSERT_TRUE(std::regex_search(line, prefix, testing_support::LinePrefix())) << line;
    const std::string text = prefix.suffix().str();
    std::smatch match;
    if (std::regex_match(text, match, statement)) {
      const int w = std::stoi(match[1].str());
      ASSERT_EQ(std::stoi(match[2].str()), next[w]) << "writer " << w << " out of order: " << line;
      ++next[w];
    } else {
      ++markers[text];
    }
  }
  for (int w = 0; w < 4; ++w)
    EXPECT_EQ(next[w], kCount) << "writer " << w;
  EXPECT_EQ(markers["-------log start"], 4);
  EXPECT_EQ(markers["-------log end"], 4);
  EXPECT_EQ(markers.size(), 2u);
}

TEST(MultiProcess, AnOwnerKilledWhileHoldingTheLockLetsTheOthersGoOn) {
  TempDir dir;
  const std::string log = (dir / "killed.log").string();
  Background holder({Writer(), "hold", log, (dir / "ready").string()});
  ASSERT_TRUE(testing_support::WaitUntil([&] { return std::filesystem::exists(dir / "ready"); }, 10s));

  // The writer's statements stay queued; its End waits for the lock.
  Background writer({Writer(), "write", log, "5", "after"});
  testing_support::SleepFor(300ms);
  EXPECT_EQ(writer.Wait(0ms), -1) << "still waiting for the lock";
  const auto killed_at = std::chrono::steady_clock::now();
  holder.Kill();
  ASSERT_EQ(writer.Wait(10s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - killed_at, 1s);
  const auto statements = testing_support::LogStatements(log);
  ASSERT_EQ(statements.size(), 7u);
  EXPECT_EQ(statements.back(), "-------log end");
}

TEST(MultiProcess, OnlyTheProcessThatCreatesTheLockDeletesTheFile) {
  TempDir dir;
  const std::filesystem::path log = dir / "created.log";
  auto open = [&](const char* name) {
    return std::make_unique<Background>(
        std::vector<std::string>{Writer(), "open", log.string(), "1", (dir / name).string()});
  };
  auto ready = [&](const char* name) {
    return testing_support::WaitUntil([&] { return std::filesystem::exists(dir / name); }, 10s);
  };

  testing_support::WriteFile(log, "old\r\n");
  auto first = open("first");
  ASSERT_TRUE(ready("first"));
  EXPECT_FALSE(std::filesystem::exists(log)) << "the creator deletes";

  testing_support::WriteFile(log, "old\r\n");
  auto second = open("second");
  ASSERT_TRUE(ready("second"));
  EXPECT_TRUE(std::filesystem::exists(log)) << "the lock existed: the second never deletes";

  first->Kill();
  second->Kill();
  auto third = open("third");
  ASSERT_TRUE(ready("third"));
  EXPECT_FALSE(std::filesystem::exists(log)) << "with both gone, the next one creates the lock again";
}

TEST(MultiProcess, PathsThatDifferInCaseOrPunctuationShareOneLock) {
  TempDir dir;
  Background holder({Writer(), "hold", (dir / "Run-1.log").string(), (dir / "ready").string()});
  ASSERT_TRUE(testing_support::WaitUntil([&] { return std::filesystem::exists(dir / "ready"); }, 10s));
  LogUtils::LogAppender appender((dir / "run1.LOG").wstring().c_str(), L"", 0);
  EXPECT_EQ(appender.Write(L"held back", 0), 0) << "the file is opened, but the line waits for the lock";
  holder.Kill();
  EXPECT_GT(appender.Write(L"now", 0), 0);
  EXPECT_EQ(testing_support::LogStatements(dir / "run1.LOG"), (std::vector<std::string>{"held back", "now"}));
}

}  // namespace
