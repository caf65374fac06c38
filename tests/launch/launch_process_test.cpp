// The launcher with real child processes. The publisher check is answered by the test, at link
// time, so that the launcher's own part shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <vector>

#include "launch/command_line.h"
#include "launch/launch_process.h"
#include "launch/verify_publisher.h"
#include "platform/program_file.h"
#include "tests/support/test_support.h"
#include "tests/support/throwaway_home.h"

namespace {

std::vector<std::wstring> g_verified;
std::int32_t g_verdict = 1;
// Runs inside the check, after the file was opened and before it starts.
std::function<void()> g_during_check;

}  // namespace

std::int32_t VerifyPublisher(const platform::ProgramFile& file) {
  g_verified.push_back(file.path());
  if (g_during_check)
    g_during_check();
  return g_verdict;
}

namespace {

using namespace std::chrono_literals;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using Clock = std::chrono::steady_clock;

class LaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    g_verified.clear();
    g_verdict = 1;
    g_during_check = nullptr;
  }
  void TearDown() override { g_during_check = nullptr; }
  // The value of the dump's first line that starts with `key` and a blank, or empty.
  std::string Item(const std::string& key) const {
    for (const std::string& line : Dump()) {
      if (line.rfind(key + " ", 0) == 0)
        return line.substr(key.size() + 1);
    }
    return {};
  }
  std::int32_t Launch(const std::wstring& arguments, std::int32_t verify = 0, std::int32_t wait = 0,
                      std::uint32_t wait_ms = 0, const std::uint32_t* idle = nullptr) {
    return LaunchProcess(child_.wstring().c_str(), arguments.c_str(), 1, verify, wait, wait_ms, idle);
  }
  std::vector<std::string> Dump() const {
    return std::filesystem::exists(dump_) ? testing_support::SplitLines(ReadFile(dump_))
                                          : std::vector<std::string>{};
  }
  bool Done() const { return ReadFile(dump_).find("done\n") != std::string::npos; }

  TempDir dir_;
  std::filesystem::path dump_ = dir_ / "dump";
  std::filesystem::path child_ = testing_support::TestBinDir() / "argv_dump";
  ScopedEnv dump_env_{"DUMP_FILE", dump_.string()};
};

TEST_F(LaunchTest, TheChildGetsItsWordsOurFolderAndEnvironmentAndNothingElseOfOurs) {
  const int inherited = ::open("/dev/null", O_RDONLY);  // deliberately without close-on-exec
  ASSERT_GE(inherited, 3);
  ScopedEnv mark("LAUNCH_MARK", "inherited");
  std::optional<testing_support::ScopedCurrentFolder> in(std::in_place, dir_.path());
  // A blocked and an ignored signal of ours, which the child must not start with.
  sigset_t blocked, saved_mask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &saved_mask), 0);
  struct sigaction ignore = {}, saved_action = {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGUSR2, &ignore, &saved_action), 0);
  const std::int32_t started = Launch(L"one \"two words\" a\\\"b", 0, 1, 10000);
  sigaction(SIGUSR2, &saved_action, nullptr);
  pthread_sigmask(SIG_SETMASK, &saved_mask, nullptr);
  in.reset();
  ::close(inherited);
  ASSERT_NE(started, 0);
  EXPECT_TRUE(g_verified.empty()) << "verify clear: no publisher check";
  const auto dump = Dump();
  EXPECT_EQ(std::vector<std::string>(dump.begin(), dump.begin() + 6),
            (std::vector<std::string>{"arg " + child_.string(), "arg one", "arg two words", "arg a\"b",
                                      "cwd " + dir_.path().string(), "mark inherited"}));
  std::set<std::string> fds;
  for (const auto& line : dump) {
    if (line.rfind("fd ", 0) == 0)
      fds.insert(line.substr(3));
  }
  EXPECT_EQ(fds, (std::set<std::string>{"0 /dev/null", "1 /dev/null", "2 /dev/null"}))
      << "standard input, output and error are the null device, and nothing else is open";
  EXPECT_EQ(Item("session"), "own") << "a session of its own, away from our terminal";
  EXPECT_EQ(Item("sigblk"), "0000000000000000");
  EXPECT_EQ(Item("sigign"), "0000000000000000");
}

TEST_F(LaunchTest, TheFileThatStartsIsTheFileThatWasChecked) {
  // The checked program is replaced by another one, larger by a tail, right after its check.
  const auto program = dir_ / "program";
  const auto other = dir_ / "other";
  std::filesystem::copy_file(child_, program);
  testing_support::WriteFile(other, ReadFile(child_) + std::string(4096, 'x'));
  std::filesystem::permissions(other, std::filesystem::perms::owner_all);
  const auto checked_size = std::filesystem::file_size(program);
  g_during_check = [&] { std::filesystem::rename(other, program); };
  ASSERT_NE(LaunchProcess(program.wstring().c_str(), L"", 1, 1, 1, 10000, nullptr), 0);
  EXPECT_EQ(g_verified, std::vector<std::wstring>{program.wstring()});
  EXPECT_EQ(Item("image"), std::to_string(checked_size)) << "the replacement ran";
  EXPECT_EQ(Item("arg"), program.string());
}

TEST_F(LaunchTest, APathTheCommandLineCannotCarryStartsNothing) {
  // "\"dir/x\"y/program\" " names dir/x on the command line: a program that must never start.
  const auto folder = dir_ / "x\"y";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(child_, folder / "program");
  std::filesystem::copy_file(child_, dir_ / "x");
  for (std::int32_t verify : {0, 1}) {
    EXPECT_EQ(LaunchProcess((folder / "program").wstring().c_str(), L"", 1, verify, 0, 0, nullptr), 0);
  }
  EXPECT_FALSE(CommandLineCarries((folder / "program").wstring().c_str()));
  EXPECT_TRUE(CommandLineCarries(L"/opt/my apps/\\vrhelper.exe"));
  testing_support::SleepFor(200ms);
  EXPECT_FALSE(std::filesystem::exists(dump_)) << "nothing was started";
}

TEST_F(LaunchTest, OnlyARegularFileThatTheSystemLoadsItselfStarts) {
  // A FIFO is refused without being opened (an open would wait for a writer for ever), and a
  // script does not start: its interpreter would have to open it again by a name.
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0700), 0);
  testing_support::WriteFile(dir_ / "script", "#!/bin/sh\necho ran > \"$DUMP_FILE\"\n");
  std::filesystem::permissions(dir_ / "script", std::filesystem::perms::owner_all);
  std::filesystem::create_directories(dir_ / "folder");
  for (const char* name : {"fifo", "script", "folder"}) {
    for (std::int32_t verify : {0, 1}) {
      const std::wstring path = (dir_ / name).wstring();
      auto launch = std::async(std::launch::async,
                               [&] { return LaunchProcess(path.c_str(), L"", 1, verify, 0, 0, nullptr); });
      if (launch.wait_for(10s) != std::future_status::ready) {
        // Let the blocked open go, so that the test can end and say so.
        ::close(::open((dir_ / "fifo").c_str(), O_WRONLY | O_NONBLOCK));
        FAIL() << name << " blocked the launcher";
      }
      EXPECT_EQ(launch.get(), 0) << name;
    }
  }
  EXPECT_EQ(g_verified, std::vector<std::wstring>{(dir_ / "script").wstring()})
      << "only the script is a regular file";
  testing_support::SleepFor(200ms);
  EXPECT_FALSE(std::filesystem::exists(dump_)) << "nothing was started";
}

TEST_F(LaunchTest, WaitsOnlyWhenAskedAndForNoLongerThanTheLimit) {
  ScopedEnv sleep("SLEEP_MS", "1500");
  auto start = Clock::now();
  ASSERT_NE(Launch(L""), 0);
  EXPECT_LT(Clock::now() - start, 1000ms) << "no wait";
  ASSERT_TRUE(testing_support::WaitUntil([&] { return Done(); }, 10s));

  std::filesystem::remove(dump_);
  start = Clock::now();
  ASSERT_NE(Launch(L"", 0, 1, 0), 0);
  EXPECT_LT(Clock::now() - start, 1000ms) << "a limit of 0 returns at once";
  ASSERT_TRUE(testing_support::WaitUntil([&] { return Done(); }, 10s));

  std::filesystem::remove(dump_);
  start = Clock::now();
  ASSERT_NE(Launch(L"", 0, 1, 300), 0);
  EXPECT_GE(Clock::now() - start, 300ms);
  EXPECT_FALSE(Done()) << "the limit ends the wait";
  ASSERT_TRUE(testing_support::WaitUntil([&] { return Done(); }, 10s));

  std::filesystem::remove(dump_);
  const std::uint32_t idle = 5000;
  start = Clock::now();
  ASSERT_NE(Launch(L"", 0, 1, 10000, &idle), 0);
  EXPECT_TRUE(Done()) << "waited for the end, then for input idle, which returns at once here";
  EXPECT_LT(Clock::now() - start, 4000ms);
}

TEST_F(LaunchTest, StartedChildrenAreNeverLeftAsZombies) {
  ASSERT_NE(Launch(L""), 0);
  ASSERT_TRUE(testing_support::WaitUntil([&] { return Done(); }, 10s));
  testing_support::SleepFor(200ms);
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "the child is not ours to reap";
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(LaunchTest, NothingStartsForAnEmptyPathAMissingFileOrARefusedOne) {
  EXPECT_EQ(LaunchProcess(nullptr, L"", 1, 1, 0, 0, nullptr), 0);
  EXPECT_EQ(LaunchProcess(L"", L"", 1, 1, 0, 0, nullptr), 0);
  EXPECT_TRUE(g_verified.empty()) << "no check for an empty path";

  EXPECT_EQ(LaunchProcess((dir_ / "missing.exe").wstring().c_str(), L"", 1, 0, 0, 0, nullptr), 0);
  testing_support::WriteFile(dir_ / "not-a-program", "data");
  EXPECT_EQ(LaunchProcess((dir_ / "not-a-program").wstring().c_str(), L"", 1, 0, 0, 0, nullptr), 0);

  g_verdict = 0;
  EXPECT_EQ(Launch(L"", 1), 0);
  EXPECT_EQ(g_verified, std::vector<std::wstring>{child_.wstring()});
  testing_support::SleepFor(200ms);
  EXPECT_FALSE(std::filesystem::exists(dump_)) << "nothing was started";
}

}  // namespace
