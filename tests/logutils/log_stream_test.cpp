#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <thread>
#include <vector>

#include "logutils/logger.h"
#include "logutils/logger_impl.h"
#include "platform/text.h"
#include "tests/logutils/log_lines.h"
#include "tests/support/test_support.h"

namespace {

// Text outside ASCII that the system's code page holds, in the code page and as wide text.
std::pair<std::string, std::wstring> CodePageText() {
  for (const std::wstring wide : {L"配置", L"日志", L"é"}) {
    char narrow[16];
    const int size = platform::WideToAnsi(wide.data(), static_cast<int>(wide.size()), narrow, sizeof narrow);
    wchar_t back[16];
    const int count = platform::AnsiToWide(narrow, size, back, 16);
    if (size > 0 && static_cast<unsigned char>(narrow[0]) >= 0x80 && std::wstring(back, count) == wide) {
      return {std::string(narrow, size), wide};
    }
  }
  return {};
}

std::wstring Statement(const char* source_path, int line, const char* text) {
  LogUtils::LogStream stream("[I]", source_path, line);
  stream << text;
  return stream.str();
}

TEST(LogStream, FormsTagLineAndStem) {
  struct Case {
    const char* source_path;
    int line;
    const wchar_t* statement;
  } cases[] = {
      {"d:\\src\\tidyhand.src", 78, L"[I][  78][tidyhand] run"},
      {"/work/product/tidyhand/tidyhand.cpp", 78, L"[I][  78][tidyhand] run"},
      {"d:/src\\tidyhand.cpp", 5, L"[I][   5][tidyhand] run"},
      {"d:\\src\\tidyhand.src", 12345, L"[I][12345][tidyhand] run"},
      {"tidyhand.cpp", 78, L"[I][  78] run"},       // no separator
      {"d:\\src\\tidyhand", 78, L"[I][  78] run"},  // no dot
      {"d:\\src\\.src", 78, L"[I][  78] run"},      // nothing between them
      {"d:\\a.b\\file", 78, L"[I][  78] run"},      // the dot before the separator
      {nullptr, 78, L"[I][  78] run"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Statement(c.source_path, c.line, "run"), c.statement)
        << (c.source_path ? c.source_path : "null");
  }
}

TEST(LogStream, InsertsNarrowTextFromTheCodePage) {
  EXPECT_EQ(Statement("a\\t.cpp", 1, nullptr), L"[I][   1][t] (null)");
  EXPECT_EQ(Statement("a\\t.cpp", 1, ""), L"[I][   1][t] ");
  const auto [narrow, wide] = CodePageText();
  ASSERT_FALSE(narrow.empty());
  EXPECT_EQ(Statement("a\\t.cpp", 1, narrow.c_str()), L"[I][   1][t] " + wide);
  const std::string stem_path = "d:\\src\\" + narrow + ".cpp";
  EXPECT_EQ(Statement(stem_path.c_str(), 7, "run"), L"[I][   7][" + wide + L"] run")
      << "a stem in the code page";
  LogUtils::LogStream stream("[I]", "a\\t.cpp", 1);
  stream << L"wide " << "narrow";
  EXPECT_EQ(stream.str(), L"[I][   1][t] wide narrow");
}

TEST(LogStream, AStemTooLongForThePrefixBufferIsCut) {
  const std::string path = "d:\\" + std::string(200, 's') + ".cpp";
  const std::wstring statement = Statement(path.c_str(), 1, "x");
  EXPECT_EQ(statement.substr(0, 9), L"[I][   1]");
  EXPECT_EQ(statement.size(), 3 + 99 + 1) << "tag, the 99 characters of the prefix, the text";
}

TEST(Logger, IsEnabledComparesWithTheThreshold) {
  testing_support::TempDir dir;
  LogUtils::LoggerImpl logger;
  EXPECT_FALSE(logger.IsEnabled(1));
  EXPECT_TRUE(logger.IsEnabled(3));
  testing_support::WriteFile(dir / "t.log.on", "");
  logger.Start((dir / "t.log").wstring().c_str(), L"", 0, 0, LogUtils::LoggerImpl::kDefaultMaxSize);
  EXPECT_TRUE(logger.IsEnabled(0));
  EXPECT_TRUE(logger.IsEnabled(1));
  EXPECT_FALSE(logger.IsEnabled(-1));
}

TEST(Logger, ConcurrentFirstCallsShareOneInstance) {
  std::vector<LogUtils::Logger*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (auto& slot : seen)
    threads.emplace_back([&slot] { slot = LogUtils::GetLogger(); });
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(std::set<LogUtils::Logger*>(seen.begin(), seen.end()).size(), 1u);
  EXPECT_NE(seen[0], nullptr);
}

int g_evaluations = 0;
const char* CountedText() {
  ++g_evaluations;
  return "counted";
}

// The statement form against the process-wide logger: nothing is evaluated while level 1 is off,
// and once the switch file has started it, the statement reaches the file.
TEST(Logger, TheStatementFormEvaluatesNothingWhileOff) {
  LOGUTILS_INFO(CountedText());
  EXPECT_EQ(g_evaluations, 0);

  testing_support::TempDir dir;
  testing_support::WriteFile(dir / "t.log.on", "");
  LogUtils::InitLogger((dir / "t.log").wstring().c_str());
  const int line = __LINE__ + 1;
  LOGUTILS_INFO(CountedText());
  EXPECT_EQ(g_evaluations, 1);
  const auto statements = testing_support::LogStatements(dir / "t.log");
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[0], "-------log start");
  char expected[64];
  std::snprintf(expected, sizeof expected, "[I][%4d][log_stream_test] counted", line);
  EXPECT_EQ(statements[1], expected);
  LogUtils::GetLogger()->End();
}

}  // namespace
