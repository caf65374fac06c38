// The Debian package as a user installs it: dpkg -i, the installed program run end to end from its
// installed place (the helper it starts is the installed, signed one), then dpkg --purge, after
// which nothing of the package is left on the machine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ReadFile;
using testing_support::RunOptions;
using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::filesystem::path kPackages = TIDYHAND_PACKAGE_DIR;

bool Installed() {
  const RunResult query = RunProgram({"/usr/bin/dpkg-query", "-W", "-f=${Status}", "tidyhand"});
  return query.output.find("install ok installed") != std::string::npos;
}

// The paths the package holds, as dpkg lists them ("/." and folders the system has anyway left out).
std::vector<std::filesystem::path> PackageFiles(const std::filesystem::path& package) {
  std::vector<std::filesystem::path> files;
  const RunResult names =
      RunProgram({"/bin/sh", "-c", "dpkg-deb --fsys-tarfile \"$0\" | tar -t", package.string()});
  for (std::string name : SplitLines(names.output)) {
    if (name.rfind("./", 0) == 0)
      name.erase(0, 1);
    if (name.empty() || name == "/" || name.back() == '/')
      continue;
    files.emplace_back(name);
  }
  return files;
}

TEST(DebianPackage, InstallsRunsItsOwnSignedHelperAndLeavesNothingWhenPurged) {
  if (::getuid() != 0)
    GTEST_SKIP() << "installing a package needs root";
  if (Installed())
    GTEST_SKIP() << "tidyhand is installed on this machine already, and is left as it is";
  std::vector<std::filesystem::path> packages;
  for (const auto& entry : std::filesystem::directory_iterator(kPackages)) {
    if (entry.path().extension() == ".deb")
      packages.push_back(entry.path());
  }
  ASSERT_EQ(packages.size(), 1u) << "one package in " << kPackages;
  const std::vector<std::filesystem::path> files = PackageFiles(packages[0]);
  ASSERT_FALSE(files.empty());

  const RunResult install = RunProgram({"/usr/bin/dpkg", "-i", packages[0].string()});
  ASSERT_EQ(install.exit_code, 0) << install.output;
  struct Purge {
    ~Purge() { RunProgram({"/usr/bin/dpkg", "--purge", "tidyhand"}); }
  } purge_on_every_way_out;

  EXPECT_EQ(std::filesystem::read_symlink("/usr/bin/tidyhand"), "../lib/vistrel/tidyhand");
  for (const char* companion : {"/usr/lib/vistrel/kitbase.dll", "/usr/lib/vistrel/vrhelper.exe"})
    EXPECT_TRUE(std::filesystem::is_regular_file(companion)) << companion;
  const RunResult verify = RunProgram({"/usr/bin/tidysign", "verify", "/usr/lib/vistrel/vrhelper.exe"});
  EXPECT_EQ(verify.exit_code, 0) << verify.output;

  // The installed program, started as a user starts it, in a throwaway home.
  TempDir home;
  const std::filesystem::path log = home / ".config/Vistrel/Log/tidyhand.log";
  WriteFile(log.string() + ".on", "");
  RunOptions options;
  options.env = {{"HOME", home.path().string()}, {"PATH", "/usr/bin:/bin"}};
  options.unset = {"XDG_CONFIG_HOME", "DISPLAY", "WAYLAND_DISPLAY"};
  options.cwd = home.path();
  options.fast_clock = true;
  const RunResult run = RunProgram({"/usr/bin/tidyhand", "--optimize"}, options);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::filesystem::path helper_log = home / ".config/Vistrel/Log/vrhelper.log";
  EXPECT_TRUE(testing_support::WaitUntil([&] { return std::filesystem::exists(helper_log); }, 10s))
      << "the installed helper ran";
  const auto statements = testing_support::LogStatements(log);
  ASSERT_EQ(statements.size(), 3u) << ReadFile(log);
  EXPECT_NE(statements[2].find("StartHelper"), std::string::npos);
  EXPECT_NE(ReadFile(home / ".config/Vistrel/stat/events.jsonl").find("\"action\":\"run\""),
            std::string::npos)
      << "the installed statistics library recorded the run";

  const RunResult removed = RunProgram({"/usr/bin/dpkg", "--purge", "tidyhand"});
  ASSERT_EQ(removed.exit_code, 0) << removed.output;
  EXPECT_FALSE(Installed());
  for (const std::filesystem::path& file : files)
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(file))) << file << " is left";
  for (const char* folder : {"/usr/lib/vistrel", "/usr/share/doc/tidyhand"})
    EXPECT_FALSE(std::filesystem::exists(folder)) << folder << " is left";
}

}  // namespace
