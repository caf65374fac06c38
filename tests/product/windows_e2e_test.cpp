// The Windows build end to end under Wine: tidyhand.exe in a throwaway Wine prefix, with a
// statistics library that records its calls, the switch file in the prefix's
// AppData\Roaming\Vistrel\Log, and a helper signed with osslsigncode.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/launch/certificates.h"
#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"
#include "tests/support/wine_prefix.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;

const std::filesystem::path kWindowsBuild = TIDYHAND_WINDOWS_BUILD_DIR;
const char* kWine = WinePrefix::kWine;

class WindowsRun : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new WinePrefix();
    const auto boot = prefix_->Boot(Options());
    ASSERT_EQ(boot.exit_code, 0) << boot.output;
  }
  static void TearDownTestSuite() { delete prefix_; }
  static RunOptions Options() { return prefix_->Options(); }
  static std::filesystem::path Roaming() { return prefix_->Roaming(); }

  void SetUp() override {
    app_ = prefix_->path() / "drive_c/Program Files/Vistrel";
    std::filesystem::remove_all(app_);
    std::filesystem::create_directories(app_);
    std::filesystem::copy_file(kWindowsBuild / "bin/tidyhand.exe", app_ / "tidyhand.exe");
    std::filesystem::copy_file(kWindowsBuild / "tests/bin/stat/all/kitbase.dll", app_ / "kitbase.dll");
    log_ = Roaming() / "Vistrel/Log/tidyhand.log";
    helper_log_ = Roaming() / "Vistrel/Log/vrhelper.log";
    std::filesystem::remove(helper_log_);
    std::filesystem::remove(record_);
    WriteFile(log_.string() + ".on", "");
  }

  // The reference helper signed by osslsigncode under `name`, put beside the program. The key is
  // RSA: Wine's verification knows no elliptic curves.
  void PlaceSignedHelper(const std::string& name) {
    Key key = MakeRsaKey();
    Cert certificate = MakeCert(Named(name), key.get());
    WritePem(work_ / "cert.pem", certificate.get());
    WritePem(work_ / "key.pem", key.get());
    std::filesystem::remove(app_ / "vrhelper.exe");
    const auto signed_run =
        RunProgram({"/usr/bin/osslsigncode", "sign", "-certs", (work_ / "cert.pem").string(), "-key",
                    (work_ / "key.pem").string(), "-h", "sha256", "-in",
                    (kWindowsBuild / "bin/vrhelper.exe").string(), "-out", (app_ / "vrhelper.exe").string()});
    ASSERT_EQ(signed_run.exit_code, 0) << signed_run.output;
  }

  RunResult Tidyhand(const std::vector<std::string>& args) {
    RunOptions options = Options();
    options.env["STAT_RECORD"] = "Z:" + record_.string();
    options.fast_clock = true;
    options.timeout = 120s;
    std::vector<std::string> argv = {kWine, "C:\\Program Files\\Vistrel\\tidyhand.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, options);
  }

  bool HelperRan() const {
    return WaitUntil([&] { return std::filesystem::exists(helper_log_); }, 5s);
  }

  static WinePrefix* prefix_;
  TempDir work_;
  std::filesystem::path record_ = work_ / "record";
  std::filesystem::path app_;
  std::filesystem::path log_;
  std::filesystem::path helper_log_;
};

WinePrefix* WindowsRun::prefix_ = nullptr;

TEST_F(WindowsRun, TheLogTheStatisticsAndAnAcceptedHelper) {
  PlaceSignedHelper("Vistrel Software Co., Ltd.");
  const auto run = Tidyhand({"--optimize"});
  ASSERT_EQ(run.exit_code, 0) << run.output;

  const auto lines = LogLines(log_);
  const std::string bytes = ReadFile(log_);
  ASSERT_EQ(lines.size(), 3u) << bytes;
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  const std::vector<std::string> statements = {"-------log start", R"(\[I\]\[ *\d+\]\[tidyhand\] run)",
                                               R"(\[I\]\[ *\d+\]\[tidyhand\] StartHelper)"};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_search(lines[i], match, LinePrefix())) << lines[i];
    EXPECT_TRUE(std::regex_match(match.suffix().str(), std::regex(statements[i]))) << lines[i];
  }
  EXPECT_EQ(SplitLines(ReadFile(record_)),
            (std::vector<std::string>{"Vistrel StartStat", "Vistrel SendStatUrl tyhand run",
                                      "Vistrel WaitStatComplete 2000"}));
  EXPECT_TRUE(HelperRan());
}

TEST_F(WindowsRun, AnUnsignedAChangedOrAnUnlistedHelperIsRefused) {
  std::filesystem::copy_file(kWindowsBuild / "bin/vrhelper.exe", app_ / "vrhelper.exe");
  ASSERT_EQ(Tidyhand({"--optimize"}).exit_code, 0);
  EXPECT_FALSE(HelperRan()) << "unsigned";

  PlaceSignedHelper("Someone Else Ltd.");
  ASSERT_EQ(Tidyhand({"--optimize"}).exit_code, 0);
  EXPECT_FALSE(HelperRan()) << "a publisher not on the list";

  PlaceSignedHelper("Kitbase Technology Co., Ltd.");
  std::string bytes = ReadFile(app_ / "vrhelper.exe");
  bytes[4096] ^= 1;
  WriteFile(app_ / "vrhelper.exe", bytes);
  ASSERT_EQ(Tidyhand({"--optimize"}).exit_code, 0);
  EXPECT_FALSE(HelperRan()) << "changed after signing";
}

// Without a display the box cannot be shown (Wine answers -1, Windows 0): not Yes, so nothing is
// deleted, and the run goes on to its end.
TEST_F(WindowsRun, WithoutADisplayTheQuestionIsNotAnsweredYesAndTheConfigurationStays) {
  WriteFile(Roaming() / "Vistrel/config.ini", "[view]\r\n");
  const auto run = Tidyhand({"--clean"});
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(ReadFile(Roaming() / "Vistrel/config.ini"), "[view]\r\n");
  const auto lines = LogLines(log_);
  ASSERT_EQ(lines.size(), 3u) << ReadFile(log_);
  EXPECT_NE(lines[2].find("[tidyhand] CleanConfig"), std::string::npos) << lines[2];
  EXPECT_EQ(SplitLines(ReadFile(record_)).back(), "Vistrel WaitStatComplete 2000");
}

}  // namespace
