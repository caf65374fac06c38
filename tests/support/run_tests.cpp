// What every test program's main does: each run keeps its named mutexes in a runtime folder of its
// own, which the programs it starts inherit, and which goes away at the end.
#include "tests/support/run_tests.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

int RunTests(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing_support::TempDir runtime;
  testing_support::ScopedEnv runtime_env("XDG_RUNTIME_DIR", runtime.path().string());
  return RUN_ALL_TESTS();
}
