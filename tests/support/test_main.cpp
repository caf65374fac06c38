// The main of every test program: each run keeps its named mutexes in a runtime folder of its own,
// which the programs it starts inherit, and which goes away at the end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/test_support.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing_support::TempDir runtime;
  std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  return RUN_ALL_TESTS();
}
