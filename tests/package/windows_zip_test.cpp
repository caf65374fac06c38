// The Windows package as a user installs it: the ZIP unpacked into a throwaway Wine prefix's
// Program Files, every program and library in it carrying a valid Authenticode signature, and the
// unpacked tidyhand.exe --optimize starting the unpacked, signed helper.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"
#include "tests/support/wine_prefix.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ReadFile;
using testing_support::RunOptions;
using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::WinePrefix;
using testing_support::WriteFile;

struct Build {
  std::filesystem::path folder;  // the Windows build tree, with the ZIP in packages/
  const char* wine;              // the loader for its programs
};

void PrintTo(const Build& build, std::ostream* out) {
  *out << build.folder.filename();
}

class WindowsPackage : public testing::TestWithParam<Build> {};

TEST_P(WindowsPackage, UnpackedEveryFileIsSignedAndTheProgramStartsItsOwnHelper) {
  const std::filesystem::path kWindowsBuild = GetParam().folder;
  const char* kWine = GetParam().wine;
  std::vector<std::filesystem::path> zips;
  for (const auto& entry : std::filesystem::directory_iterator(kWindowsBuild / "packages")) {
    if (entry.path().extension() == ".zip")
      zips.push_back(entry.path());
  }
  ASSERT_EQ(zips.size(), 1u);

  WinePrefix prefix;
  RunOptions options = prefix.Options();
  options.timeout = 120s;
  const RunResult boot = prefix.Boot(options);
  ASSERT_EQ(boot.exit_code, 0) << boot.output;

  const std::filesystem::path program_files = prefix.path() / "drive_c/Program Files";
  RunOptions unpack;
  unpack.cwd = program_files;
  const RunResult unpacked = RunProgram({CMAKE_COMMAND_PATH, "-E", "tar", "xf", zips[0].string()}, unpack);
  ASSERT_EQ(unpacked.exit_code, 0) << unpacked.output;
  const std::string folder = zips[0].stem().string();
  for (const char* file : {"tidyhand.exe", "kitbase.dll", "vrhelper.exe"}) {
    const RunResult verify = RunProgram({"/usr/bin/osslsigncode", "verify", "-CAfile",
                                         (kWindowsBuild / "dev-signing/cert.pem").string(), "-in",
                                         (program_files / folder / file).string()});
    EXPECT_EQ(verify.exit_code, 0) << file << "\n" << verify.output;
  }

  const std::filesystem::path roaming = prefix.Roaming();
  ASSERT_FALSE(roaming.empty());
  const std::filesystem::path log = roaming / "Vistrel/Log/tidyhand.log";
  WriteFile(log.string() + ".on", "");
  options.fast_clock = true;
  const RunResult run =
      RunProgram({kWine, "C:\\Program Files\\" + folder + "\\tidyhand.exe", "--optimize"}, options);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(testing_support::WaitUntil(
      [&] { return std::filesystem::exists(roaming / "Vistrel/Log/vrhelper.log"); }, 10s))
      << "the unpacked helper ran";
  const auto statements = testing_support::LogStatements(log);
  ASSERT_EQ(statements.size(), 3u) << ReadFile(log);
  EXPECT_NE(statements[2].find("StartHelper"), std::string::npos);
  EXPECT_NE(ReadFile(roaming / "Vistrel/stat/events.jsonl").find("\"action\":\"run\""), std::string::npos)
      << "the unpacked statistics library recorded the run";
}

std::vector<Build> Builds() {
  std::vector<Build> builds = {{TIDYHAND_WINDOWS_BUILD_DIR, "/usr/lib/wine/wine64"}};
  // The x86 build, where this machine can run 32-bit programs and the test script gave it.
  if (std::string(TIDYHAND_WINDOWS_X86_BUILD_DIR) != "")
    builds.push_back({TIDYHAND_WINDOWS_X86_BUILD_DIR, "/usr/lib/wine/wine"});
  return builds;
}

INSTANTIATE_TEST_SUITE_P(Architectures, WindowsPackage, testing::ValuesIn(Builds()),
                         [](const testing::TestParamInfo<Build>& info) {
                           return info.index == 0 ? "x64" : "x86";
                         });

}  // namespace
