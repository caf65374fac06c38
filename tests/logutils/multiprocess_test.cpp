// Several processes on one log file.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <vector>
#include <string>

#include "logutils/log_appender.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Background;
using testing_support::TempDir;

std::string Writer() {
  return testing_support::TestProgram("log_writer").string();
}

// Each writer's statements "w<n> <i>", in order and without a gap, from every writer; no torn line.
void ExpectEveryLineOfEveryWriter(const std::string& log, int writers, int count) {
  std::vector<int> next(static_cast<std::size_t>(writers), 0);  // the index each writer's next line must have
  std::map<std::string, int> markers;
  const std::string tag = "[log_writer] w";
  for (const std::string& line : testing_support::LogLines(log)) {
    // "MM-DD hh:mm:ss.mmm [  pid][  tid]" and then the statement; the prefix is checked by its
    // fixed marks (a regular expression for each of a million lines would take longer than the run).
    ASSERT_TRUE(line.size() > 33 && line[2] == '-' && line[5] == ' ' && line[14] == '.' && line[19] == '[' &&
                line[25] == ']' && line[26] == '[' && line[32] == ']')
        << line;
    const std::string text = line.substr(33);
    const std::size_t at = text.find(tag);
    if (text.rfind("[I][", 0) != 0 || at == std::string::npos) {
      ++markers[text];
      continue;
    }
    const std::size_t blank = text.find(' ', at + tag.size());
    ASSERT_NE(blank, std::string::npos) << line;
    const int w = std::stoi(text.substr(at + tag.size(), blank - at - tag.size()));
    ASSERT_TRUE(w >= 0 && w < writers) << line;
    ASSERT_EQ(text.substr(blank + 1), std::to_string(next[static_cast<std::size_t>(w)]))
        << "writer " << w << " out of order or with a gap: " << line;
    ++next[static_cast<std::size_t>(w)];
  }
  for (int w = 0; w < writers; ++w)
    EXPECT_EQ(next[static_cast<std::size_t>(w)], count) << "writer " << w;
  EXPECT_EQ(markers["-------log start"], writers);
  EXPECT_EQ(markers["-------log end"], writers);
  EXPECT_EQ(markers.size(), 2u);
}

TEST(MultiProcess, WritersNeverTearOrInterleaveALineAndLoseNoneEvenWhenTheyOutrunTheLock) {
  struct Case {
    int writers;
    int count;
  } cases[] = {
      {4, 10000},
      // Writers this busy queue far more than the queue's bound while another one writes.
      {2, 300000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.writers) + " x " + std::to_string(c.count));
    TempDir dir;
    const std::string log = (dir / "shared.log").string();
    std::vector<std::unique_ptr<Background>> writers;
    for (int w = 0; w < c.writers; ++w) {
      writers.push_back(std::make_unique<Background>(std::vector<std::string>{
          Writer(), "write", log, std::to_string(c.count), "w" + std::to_string(w)}));
    }
    for (auto& writer : writers)
      ASSERT_EQ(writer->Wait(240s), 0);
    ExpectEveryLineOfEveryWriter(log, c.writers, c.count);
  }
}

TEST(MultiProcess, ARunThatStartsWhileAnotherLogsKeepsTheOthersFileAndBothRunsLines) {
  TempDir dir;
  const std::string log = (dir / "run.log").string();
  testing_support::WriteFile(dir / "go-b", "");
  Background a({Writer(), "run", log, "a", (dir / "ready-a").string(), (dir / "go-a").string()});
  ASSERT_TRUE(testing_support::WaitUntil([&] { return std::filesystem::exists(dir / "ready-a"); }, 10s));
  // b's start-up deletion meets a file that a holds open: it stays, and b appends to it.
  Background b({Writer(), "run", log, "b", (dir / "ready-b").string(), (dir / "go-b").string()});
  ASSERT_EQ(b.Wait(30s), 0);
  testing_support::WriteFile(dir / "go-a", "");
  ASSERT_EQ(a.Wait(30s), 0);
  std::vector<std::string> texts;
  for (const std::string& statement : testing_support::LogStatements(log)) {
    const std::size_t tag = statement.find("[log_writer] ");
    texts.push_back(tag == std::string::npos ? statement : statement.substr(tag + 13));
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"-------log start", "a before", "-------log start", "b before",
                                             "b after", "-------log end", "a after", "-------log end"}));
}

TEST(MultiProcess, AClearWhileAnotherProcessHoldsTheFileFailsAsBusyAndKeepsIt) {
  TempDir dir;
  const std::filesystem::path log = dir / "held.log";
  Background keeper({Writer(), "keep", log.string(), (dir / "ready").string()});
  ASSERT_TRUE(testing_support::WaitUntil([&] { return std::filesystem::exists(dir / "ready"); }, 10s));
  LogUtils::LogAppender appender(log.wstring().c_str(), L"", 0);
  appender.Write(L"mine", 1);
  EXPECT_EQ(appender.Clear(), 0);
  EXPECT_EQ(platform::LastErrorCode(), platform::kFileInUseError);
  EXPECT_FALSE(platform::DeleteFileAt(log.wstring().c_str())) << "nor may anybody else delete it";
  ASSERT_TRUE(std::filesystem::exists(log));
  appender.Write(L"after", 1);
  EXPECT_EQ(testing_support::LogStatements(log), (std::vector<std::string>{"kept", "mine", "after"}));
  keeper.Kill();
  keeper.Wait();
  EXPECT_EQ(appender.Clear(), 1) << "once the other holder is gone";
  EXPECT_FALSE(std::filesystem::exists(log));
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
