// The launcher with the real publisher check, on a file that is replaced right after its check:
// the list of accepted names, reached only once the file's bytes have been verified, is answered
// by the test at link time and replaces the file while it answers.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "launch/launch_process.h"
#include "launch/verify_publisher.h"
#include "tests/launch/certificates.h"
#include "tests/support/test_support.h"
#include "tools/tidysign/signing.h"

namespace {

std::vector<std::wstring> g_looked_up;
std::function<void()> g_while_looking_up;

}  // namespace

std::int32_t IsAllowedPublisher(const wchar_t* name) {
  g_looked_up.push_back(name);
  if (g_while_looking_up)
    g_while_looking_up();
  return 1;
}

namespace {

using namespace std::chrono_literals;
using namespace testing_support;

class CheckedFileTest : public testing::Test {
 protected:
  void TearDown() override { g_while_looking_up = nullptr; }

  // The value of the dump's first line that starts with `key` and a blank, or empty.
  std::string Item(const std::string& key) const {
    if (!std::filesystem::exists(dump_))
      return {};
    for (const std::string& line : SplitLines(ReadFile(dump_))) {
      if (line.rfind(key + " ", 0) == 0)
        return line.substr(key.size() + 1);
    }
    return {};
  }

  TempDir dir_;
  std::filesystem::path dump_ = dir_ / "dump";
  ScopedEnv dump_env_{"DUMP_FILE", dump_.string()};
};

TEST_F(CheckedFileTest, AFileReplacedRightAfterItsCheckIsNeverStarted) {
  // The checked program: the dumping child, signed. Its replacement: the same child unsigned,
  // larger by a tail, so that the dump's image size tells which one ran.
  const auto helper = dir_ / "vrhelper.exe";
  const auto replacement = dir_ / "replacement";
  const std::string program = ReadFile(TestProgram("argv_dump"));
  WriteFile(helper, program);
  Key key = MakeKey();
  Cert certificate = MakeCert(Named("Vistrel Code Signing"), key.get());
  tidysign::SignOptions options;
  options.signers.push_back({certificate.get(), key.get()});
  ASSERT_EQ(tidysign::SignFile(helper, options), "");
  std::filesystem::permissions(helper, std::filesystem::perms::owner_all);
  const auto signed_size = std::filesystem::file_size(helper);
  WriteFile(replacement,
            program + std::string(static_cast<std::size_t>(signed_size) + 1000 - program.size(), 'x'));
  std::filesystem::permissions(replacement, std::filesystem::perms::owner_all);

  g_while_looking_up = [&] { std::filesystem::rename(replacement, helper); };
  ASSERT_NE(LaunchProcess(helper.wstring().c_str(), L"", 1, 1, 1, 10000, nullptr), 0);
  EXPECT_EQ(g_looked_up, std::vector<std::wstring>{L"Vistrel Code Signing"});
  ASSERT_TRUE(WaitUntil([&] { return !Item("image").empty(); }, 10s));
  EXPECT_EQ(Item("image"), std::to_string(signed_size)) << "the file that ran is the one that was checked";

  // What the name now names is the unsigned replacement: refused, and never started.
  g_while_looking_up = nullptr;
  g_looked_up.clear();
  std::filesystem::remove(dump_);
  EXPECT_EQ(VerifyPublisher(helper.wstring().c_str()), 0);
  EXPECT_EQ(LaunchProcess(helper.wstring().c_str(), L"", 1, 1, 1, 10000, nullptr), 0);
  EXPECT_TRUE(g_looked_up.empty()) << "no signature: no name to look up";
  SleepFor(200ms);
  EXPECT_FALSE(std::filesystem::exists(dump_));
}

}  // namespace
