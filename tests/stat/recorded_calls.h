// The recording statistics libraries and what they recorded.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace testing_support {

using Calls = std::vector<std::string>;

// The recording library `variant` (all, no_start, no_send, no_wait) as the build leaves it.
inline std::filesystem::path RecordingLibrary(const std::string& variant) {
  return TestBinDir() / "stat" / variant / "kitbase.dll";
}

// The calls recorded in `record`, one a line, oldest first; none when there is no record.
inline Calls Recorded(const std::filesystem::path& record) {
  return std::filesystem::exists(record) ? SplitLines(ReadFile(record)) : Calls{};
}

}  // namespace testing_support
