// The launcher with real child processes. The publisher check is answered by the test, at link
// time, so that the launcher's own part shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "launch/launch_process.h"
#include "launch/verify_publisher.h"
#include "tests/support/test_support.h"

namespace {

std::vector<std::wstring> g_verified;
std::int32_t g_verdict = 1;

}  // namespace

std::int32_t VerifyPublisher(const wchar_t* path) {
  g_verified.push_back(path != nullptr ? path : L"(null)");
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

TEST_F(LaunchTest, TheChildGetsItsWordsOurFolderAndEnvironmentAndNoOtherDescriptor) {
  const int inherited = ::open("/dev/null", O_RDONLY);  // deliberately without close-on-exec
  ASSERT_GE(inherited, 3);
  ScopedEnv mark("LAUNCH_MARK", "inherited");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  const std::int32_t started = Launch(L"one \"two words\" a\\\"b", 0, 1, 10000);
  std::filesystem::current_path(old);
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
  EXPECT_EQ(fds, (std::set<std::string>{"0", "1", "2"}));
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
