// The statistics session in-process. The library is loaded by the test before the client looks,
// so the client finds it among the loaded modules.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/module.h"
#include "stat/stat_client.h"
#include "tests/stat/recorded_calls.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Calls;
using testing_support::ReadFile;
using testing_support::Recorded;
using testing_support::TempDir;

class StatSessionTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_NE(platform::LoadModule(testing_support::RecordingLibrary("all").wstring().c_str()), nullptr);
  }
  Calls Take() {
    Calls calls = Recorded(record_);
    std::filesystem::remove(record_);
    return calls;
  }
  TempDir dir_;
  std::filesystem::path record_ = dir_ / "record";
  testing_support::ScopedEnv env_{"STAT_RECORD", record_.string()};
};

TEST_F(StatSessionTest, OpenAndCloseRearmEachOther) {
  CloseStatSession();
  EXPECT_EQ(Take(), Calls{}) << "a close without a session calls nothing";
  OpenStatSession();
  OpenStatSession();
  EXPECT_EQ(Take(), Calls{"all StartStat"}) << "a second open without a close does nothing";
  CloseStatSession();
  CloseStatSession();
  EXPECT_EQ(Take(), Calls{"all WaitStatComplete 2000"});
  OpenStatSession();
  CloseStatSession();
  EXPECT_EQ(Take(), (Calls{"all StartStat", "all WaitStatComplete 2000"}));
}

TEST_F(StatSessionTest, EventsNeedBothNames) {
  SendStatEvent(L"", L"run");
  SendStatEvent(L"tyhand", L"");
  EXPECT_EQ(Take(), Calls{});
  SendStatEvent(L"tyhand", L"run");
  EXPECT_EQ(Take(), Calls{"all SendStatUrl tyhand run"});
}

}  // namespace
