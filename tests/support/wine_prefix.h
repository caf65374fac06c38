// A throwaway Wine prefix for running the Windows build under Wine: its own folder, booted once,
// quiet, without the .NET and browser engines, and its server ended when the object goes.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

namespace testing_support {

class WinePrefix {
 public:
  // The 64-bit loader, which starts the 32-bit programs too where the 32-bit Wine is installed.
  static constexpr const char* kWine = "/usr/lib/wine/wine64";

  WinePrefix() = default;
  ~WinePrefix();
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  const std::filesystem::path& path() const { return folder_.path(); }

  // The options for running a program in the prefix: no display unless the caller gives one.
  RunOptions Options() const;
  // Lays the prefix out (wineboot) with `options`, which are Options() and what the caller added.
  RunResult Boot(RunOptions options) const;
  // The user's AppData\Roaming in the prefix, once it is booted; empty before.
  std::filesystem::path Roaming() const;

 private:
  TempDir folder_;
};

}  // namespace testing_support
