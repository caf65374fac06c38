#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/named_mutex.h"
#include "platform/paths.h"
#include "platform/posix/command_line.h"
#include "platform/text.h"
#include "platform/posix/spawn.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

using testing_support::ScopedEnv;
using testing_support::TempDir;

namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<std::size_t>(platform::AnsiToWide(text.data(), static_cast<int>(text.size()),
                                                            wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

TEST(TextConversion, AnsiToWideDecodesUtf8AndEscapesEveryOtherByte) {
  struct Case {
    std::string bytes;
    std::wstring wide;
  } cases[] = {
      {"run", L"run"},
      {"\xE4\xB8\xAD\xE6\x96\x87", L"中文"},
      {"\xF0\x9F\x98\x80", L"\U0001F600"},
      {"a\xFF"
       "b",
       L"a\xDCFF"
       L"b"},                                       // a byte that is never UTF-8
      {"\xC0\xAF", L"\xDCC0\xDCAF"},                // an overlong form
      {"\xE4\xB8", L"\xDCE4\xDCB8"},                // cut short
      {"\xED\xA0\x80", L"\xDCED\xDCA0\xDC80"},      // a surrogate
      {"\xE4\xB8\xE6\x96\x87", L"\xDCE4\xDCB8文"},  // a good sequence after a cut one
  };
  for (const Case& c : cases)
    EXPECT_EQ(Wide(c.bytes), c.wide) << c.bytes;
  wchar_t small[2];
  EXPECT_EQ(platform::AnsiToWide("abc", 3, small, 2), 0) << "a buffer that is too small fails";
}

TEST(TextConversion, EveryByteStringSurvivesTheRoundTrip) {
  std::vector<std::string> names = {"\xFF",         "x\xFF/kitbase.dll", "\xC3",        "\xC3\xA9\xC3",
                                    "\xED\xB3\xBF", "\xF4\x90\x80\x80",  "\xEF\xBF\xBD"};
  std::string every_byte;
  for (int byte = 1; byte < 256; ++byte)
    every_byte += static_cast<char>(byte);
  names.push_back(every_byte);
  std::uint32_t seed = 12345;
  for (int n = 0; n < 200; ++n) {
    std::string random(1 + n % 17, '\0');
    for (char& c : random) {
      seed = seed * 1103515245u + 12345u;
      c = static_cast<char>(1 + (seed >> 16) % 255);
    }
    names.push_back(random);
  }
  for (const std::string& name : names) {
    const std::wstring wide = Wide(name);
    const int needed = platform::WideToAnsi(wide.data(), static_cast<int>(wide.size()), nullptr, 0);
    std::string back(static_cast<std::size_t>(needed), '\0');
    ASSERT_EQ(platform::WideToAnsi(wide.data(), static_cast<int>(wide.size()), back.data(), needed), needed);
    EXPECT_EQ(back, name);
  }
  // A real U+FFFD stays what it is, and a surrogate that no byte escapes still cannot be written.
  EXPECT_EQ(Wide("\xEF\xBF\xBD"), L"\uFFFD");
}

TEST(TextConversion, WideToAnsiReportsTheNeededSizeAndFailsWhenShort) {
  const std::wstring text = L"日志 log";
  EXPECT_EQ(platform::WideToAnsi(text.data(), static_cast<int>(text.size()), nullptr, 0), 10);
  char out[16] = {};
  ASSERT_EQ(platform::WideToAnsi(text.data(), static_cast<int>(text.size()), out, 16), 10);
  EXPECT_EQ(std::string(out, 10), "\xE6\x97\xA5\xE5\xBF\x97 log");
  EXPECT_EQ(platform::WideToAnsi(text.data(), static_cast<int>(text.size()), out, 9), 0);
  const wchar_t lone_surrogate[] = {static_cast<wchar_t>(0xD800)};
  ASSERT_EQ(platform::WideToAnsi(lone_surrogate, 1, out, 16), 3);
  EXPECT_EQ(std::string(out, 3), "\xEF\xBF\xBD");
}

TEST(Paths, AppendCombineAndRemoveFileSpec) {
  struct Case {
    const wchar_t* path;
    const wchar_t* more;
    const wchar_t* appended;
  } appends[] = {
      {L"/home/u/.config", L"Vistrel\\Log\\tidyhand.log", L"/home/u/.config/Vistrel/Log/tidyhand.log"},
      {L"/home/u/.config/", L"kitbase.dll", L"/home/u/.config/kitbase.dll"},
      {L"", L"Vistrel\\Log\\tidyhand.log", L"Vistrel/Log/tidyhand.log"},
      {L"/opt", L"\\kitbase.dll", L"/opt/kitbase.dll"},
  };
  for (const Case& c : appends) {
    wchar_t buffer[platform::kMaxPath] = {};
    std::wcscpy(buffer, c.path);
    EXPECT_TRUE(platform::AppendPath(buffer, c.more));
    EXPECT_STREQ(buffer, c.appended);
  }

  wchar_t buffer[platform::kMaxPath] = L"/home/u/.config";
  EXPECT_TRUE(platform::CombinePath(buffer, buffer, L"Vistrel\\config.ini"));
  EXPECT_STREQ(buffer, L"/home/u/.config/Vistrel/config.ini");
  EXPECT_TRUE(platform::CombinePath(buffer, L"/ignored", L"/abs/file"));
  EXPECT_STREQ(buffer, L"/abs/file");
  EXPECT_TRUE(platform::CombinePath(buffer, L"", L"vrhelper.exe"));
  EXPECT_STREQ(buffer, L"vrhelper.exe");

  struct Removal {
    const wchar_t* path;
    const wchar_t* left;
    bool removed;
  } removals[] = {
      {L"/opt/v/bin/tidyhand", L"/opt/v/bin", true},
      {L"/tidyhand", L"/", true},
      {L"/", L"/", false},
      {L"tidyhand", L"", true},
      {L"", L"", false},
  };
  for (const Removal& r : removals) {
    wchar_t path[platform::kMaxPath] = {};
    std::wcscpy(path, r.path);
    EXPECT_EQ(platform::RemoveFileSpec(path), r.removed) << r.path;
    EXPECT_STREQ(path, r.left) << r.path;
  }
}

TEST(Paths, APathThatWouldNotFitIsRefusedNeverCut) {
  const std::wstring folder = L"/" + std::wstring(250, L'd');
  wchar_t buffer[platform::kMaxPath] = {};
  std::wcscpy(buffer, folder.c_str());
  EXPECT_FALSE(platform::AppendPath(buffer, L"Vistrel\\config.ini"));
  EXPECT_EQ(buffer, folder) << "left unchanged";
  EXPECT_FALSE(platform::CombinePath(buffer, folder.c_str(), L"Vistrel\\config.ini"));
  EXPECT_STREQ(buffer, L"");
}

TEST(Paths, ApplicationDataFolderFollowsTheDesktopsConfigurationFolder) {
  struct Case {
    std::optional<std::string> config_home;
    std::optional<std::string> home;
    long result;
    const wchar_t* folder;
  } cases[] = {
      {"/xdg/config", "/home/u", 0, L"/xdg/config"},
      {"relative/config", "/home/u", 0, L"/home/u/.config"},
      {std::nullopt, "/home/u/", 0, L"/home/u/.config"},
      {"", "/home/u", 0, L"/home/u/.config"},
      {std::nullopt, std::nullopt, -1, L"untouched"},
      {std::nullopt, "", -1, L"untouched"},
  };
  for (const Case& c : cases) {
    ScopedEnv config_home("XDG_CONFIG_HOME", c.config_home);
    ScopedEnv home("HOME", c.home);
    wchar_t buffer[platform::kMaxPath] = L"untouched";
    const long result = platform::GetAppDataFolder(buffer);
    EXPECT_EQ(result < 0 ? -1 : 0, c.result);
    EXPECT_STREQ(buffer, c.folder);
  }
}

TEST(Paths, FindTextNoCase) {
  const wchar_t* text = L"x --SET_LOG_LEV=2 y";
  EXPECT_EQ(platform::FindTextNoCase(text, L"--set_log_lev=2"), text + 2);
  EXPECT_EQ(platform::FindTextNoCase(text, L"--set_log_lev=3"), nullptr);
  EXPECT_EQ(platform::FindTextNoCase(nullptr, L"a"), nullptr);
}

TEST(Files, DeleteRemovesALinkItselfAndNeverAFolder) {
  TempDir dir;
  testing_support::WriteFile(dir / "target.ini", "keep");
  std::filesystem::create_symlink(dir / "target.ini", dir / "config.ini");
  std::filesystem::create_directory(dir / "folder");
  EXPECT_TRUE(platform::DeleteFileAt((dir / "config.ini").wstring().c_str()));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "config.ini")));
  EXPECT_EQ(testing_support::ReadFile(dir / "target.ini"), "keep");
  EXPECT_FALSE(platform::DeleteFileAt((dir / "folder").wstring().c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
  EXPECT_FALSE(platform::DeleteFileAt((dir / "missing").wstring().c_str()));
}

TEST(Files, AFileOpenForAppendingCannotBeDeletedUntilItsLastHolderCloses) {
  TempDir dir;
  const std::wstring log = (dir / "a.log").wstring();
  int first = -1;
  int second = -1;
  ASSERT_EQ(platform::OpenForAppend(log.c_str(), &first), 0);
  ASSERT_EQ(platform::OpenForAppend(log.c_str(), &second), 0) << "openers share the file";
  for (int holder : {first, second}) {
    EXPECT_FALSE(platform::DeleteFileAt(log.c_str()));
    EXPECT_EQ(platform::LastErrorCode(), platform::kFileInUseError);
    EXPECT_EQ(platform::UnlinkFile(log.c_str()), -1);
    EXPECT_EQ(platform::LastErrorCode(), platform::kFileInUseError);
    EXPECT_TRUE(std::filesystem::exists(dir / "a.log"));
    platform::CloseFile(holder);
  }
  EXPECT_TRUE(platform::DeleteFileAt(log.c_str())) << "with no holder left";
  EXPECT_FALSE(std::filesystem::exists(dir / "a.log"));
}

// Any user who may read a file can lock it; such a lock neither keeps the file from being deleted
// nor holds an opener up.
TEST(Files, AnotherUsersLockNeitherKeepsAFileNorHoldsAnOpenerUp) {
  if (::getuid() != 0)
    GTEST_SKIP() << "needs root, to lock the file as another user";
  TempDir dir;
  std::filesystem::permissions(dir.path(),
                               std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                   std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                   std::filesystem::perms::others_exec);
  const std::filesystem::path file = dir / "config.ini";
  struct Case {
    const char* lock;
    bool kept_while_open;  // this user's descriptor still keeps the file
  } cases[] = {
      {"-s", true},
      // The opener does without its own lock then: the file is written, but no longer kept.
      {"-x", false},
  };
  for (const Case& c : cases) {
    const char* mode = c.lock;
    SCOPED_TRACE(mode);
    testing_support::WriteFile(file, "[view]\n");
    std::filesystem::permissions(
        file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    struct stat info;
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    testing_support::Background locker({"/usr/bin/setpriv", "--reuid=61236", "--regid=61236",
                                        "--clear-groups", "/usr/bin/flock", mode, file.string(), "/bin/sleep",
                                        "60"});
    ASSERT_TRUE(testing_support::WaitUntil(
        [&] {
          return testing_support::ReadFile("/proc/locks").find(":" + std::to_string(info.st_ino) + " ") !=
                 std::string::npos;
        },
        std::chrono::seconds(10)));
    int fd = -1;
    EXPECT_EQ(platform::OpenForAppend(file.wstring().c_str(), &fd), 0) << "opened at once, without waiting";
    if (c.kept_while_open) {
      EXPECT_FALSE(platform::DeleteFileAt(file.wstring().c_str())) << "while this user holds it, it stays";
      platform::CloseFile(fd);
    }
    EXPECT_TRUE(platform::DeleteFileAt(file.wstring().c_str())) << "the other user's lock does not keep it";
    if (!c.kept_while_open)
      platform::CloseFile(fd);
  }
}

TEST(Files, OnlyAPlainFileIsOpenedForAppendingAndNothingWaits) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "folder");
  for (const std::filesystem::path& path :
       {dir / "fifo", dir / "folder", std::filesystem::path("/dev/null")}) {
    int fd = 0;
    EXPECT_NE(platform::OpenForAppend(path.wstring().c_str(), &fd), 0) << path;
    EXPECT_EQ(fd, -1);
  }
  // Nor is a FIFO in a file's place ever opened to be deleted: it goes itself.
  EXPECT_TRUE(platform::DeleteFileAt((dir / "fifo").wstring().c_str()));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "fifo")));
}

TEST(CommandLine, SplitsAsAWindowsProgramSeesIt) {
  using Words = std::vector<std::wstring>;
  struct Case {
    const wchar_t* line;
    Words words;
  } cases[] = {
      {L"\"/opt/my apps/vrhelper.exe\" ", {L"/opt/my apps/vrhelper.exe"}},
      {L"\"/opt/a\\\"b\" x", {L"/opt/a\\", L"b x"}},  // no backslash rule in the program name
      {L"/bin/prog a  b\tc", {L"/bin/prog", L"a", L"b", L"c"}},
      {L"p \"a b\" c", {L"p", L"a b", L"c"}},
      {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},      // 2n+1 backslashes: n and a literal quote
      {L"p \"a\\\\\" b", {L"p", L"a\\", L"b"}},  // 2n backslashes: n, and the quote closes
      {L"p a\\b\\\\c", {L"p", L"a\\b\\\\c"}},    // backslashes before anything else are literal
      {L"p \"a\"\"b\"", {L"p", L"a\"b"}},        // two quotes inside quotes: a literal one
      {L"p \"\"", {L"p", L""}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::posix::SplitCommandLine(c.line), c.words) << c.line;
}

class NamedMutexTest : public testing::Test {
 protected:
  // A name no other test or run uses.
  std::wstring name_ = L"TIDYHANDTEST" + std::to_wstring(::getpid()) +
                       platform::ToWide(testing::UnitTest::GetInstance()->current_test_info()->name());
};

// Runs `body` in a forked child and returns its exit code, so that a test can close what a child
// must not keep without touching the test program.
template <typename Body>
int InChild(Body body) {
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(body());
  return platform::posix::WaitForExitCode(child);
}

TEST(Spawn, TheChildHasTheNullDeviceOrItsOutputOnZeroToTwoAndNothingElseEvenWhenWeHadNone) {
  TempDir dir;
  const auto result = dir / "result";
  // Our own 0 to 2 closed: the output file opened next is 0, a leaked descriptor 1, and the spawn's
  // own pipe takes 2.
  const int code = InChild([&] {
    ::close(0);
    ::close(1);
    ::close(2);
    const int output = ::open(result.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int leaked = ::open("/dev/null", O_RDONLY);  // without close-on-exec
    if (output != 0 || leaked != 1)
      return 10;
    const platform::posix::ExecWords argv(
        {"/bin/sh", "-c",
         "for fd in 3 4 5 6 7 8 9; do [ -e /proc/$$/fd/$fd ] && exit 3; done; "
         "[ \"$(readlink /proc/$$/fd/0)\" = /dev/null ] || exit 4; "
         "echo out; echo err >&2"});
    platform::posix::SpawnRequest request;
    request.program_path = "/bin/sh";
    request.argv = argv.get();
    request.output_fd = output;
    return platform::posix::WaitForExitCode(platform::posix::Spawn(request));
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(testing_support::ReadFile(result), "out\nerr\n");
}

TEST(Spawn, SaysWhyAProgramDidNotStart) {
  TempDir dir;
  testing_support::WriteFile(dir / "data", "not a program");
  const std::string data = (dir / "data").string();
  const platform::posix::ExecWords argv({"/bin/true"});
  struct Case {
    const char* program;
    const char* folder;
    int error;
  } cases[] = {
      {"/nonexistent/program", nullptr, ENOENT},
      {"/bin/true", "/nonexistent/folder", ENOENT},
      {data.c_str(), nullptr, EACCES},
  };
  for (const Case& c : cases) {
    platform::posix::SpawnRequest request;
    request.program_path = c.program;
    request.argv = argv.get();
    request.folder = c.folder;
    int error = 0;
    EXPECT_EQ(platform::posix::Spawn(request, &error), -1) << c.program;
    EXPECT_EQ(error, c.error) << c.program;
  }
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a failed start leaves no child behind";
  EXPECT_EQ(errno, ECHILD);
}

TEST(Spawn, WithoutCloseRangeTheListOfOpenDescriptorsIsMarked) {
  const int code = InChild([] {
    const int first = ::open("/dev/null", O_RDONLY);
    const int second = ::dup2(first, 200);
    if (first < 3 || second != 200 || !platform::posix::MarkCloseOnExecFromProcList())
      return 1;
    for (int fd : {first, second}) {
      if ((::fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0)
        return 2;
    }
    for (int fd : {0, 1, 2}) {
      const int flags = ::fcntl(fd, F_GETFD);
      if (flags >= 0 && (flags & FD_CLOEXEC) != 0)
        return 3;
    }
    return 0;
  });
  EXPECT_EQ(code, 0);
}

TEST_F(NamedMutexTest, ExistsWhileSomeHandleIsOpenAndOnlyTheCreatorOwnsIt) {
  bool created = false;
  auto first = platform::NamedMutex::CreateOwned(name_, &created);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(created);
  auto second = platform::NamedMutex::CreateOwned(name_, &created);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(created);

  std::atomic<int> outcome{-1};
  std::thread([&] { outcome = static_cast<int>(second->TryAcquire()); }).join();
  EXPECT_EQ(outcome, static_cast<int>(platform::WaitOutcome::kBusy)) << "the creator's thread owns it";
  EXPECT_TRUE(first->Release());
  std::thread([&] {
    outcome = static_cast<int>(second->TryAcquire());
    second->Release();
  }).join();
  EXPECT_EQ(outcome, static_cast<int>(platform::WaitOutcome::kOwned));

  first.reset();
  second.reset();
  // The file stays behind, but with no handle open the next one creates the mutex anew.
  auto third = platform::NamedMutex::CreateOwned(name_, &created);
  ASSERT_NE(third, nullptr);
  EXPECT_TRUE(created);
  third->Release();
}

TEST_F(NamedMutexTest, OwnershipIsPerThreadReentrantAndAbandonedWhenTheOwnerEnds) {
  bool created = false;
  auto mutex = platform::NamedMutex::CreateOwned(name_, &created);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(mutex->TryAcquire(), platform::WaitOutcome::kOwned) << "re-entrant";
  EXPECT_TRUE(mutex->Release());
  EXPECT_TRUE(mutex->Release());

  std::thread([&] { EXPECT_EQ(mutex->Acquire(), platform::WaitOutcome::kOwned); }).join();
  // The thread ended while it owned the mutex.
  EXPECT_EQ(mutex->TryAcquire(), platform::WaitOutcome::kAbandoned);
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(mutex->TryAcquire(), platform::WaitOutcome::kOwned);
  EXPECT_TRUE(mutex->Release());
}

TEST_F(NamedMutexTest, ARuntimeFolderThatIsALinkOrOpenToOthersIsPassedOverForTheNextPlace) {
  TempDir dir;
  std::filesystem::create_directory(dir / "private");
  ::chmod((dir / "private").c_str(), 0700);
  std::filesystem::create_directory_symlink(dir / "private", dir / "link");
  std::filesystem::create_directory(dir / "open");
  ::chmod((dir / "open").c_str(), 0777);
  std::vector<std::string> refused = {"link", "open"};
  if (::getuid() == 0) {
    std::filesystem::create_directory(dir / "others");
    ::chmod((dir / "others").c_str(), 0700);
    ASSERT_EQ(::chown((dir / "others").c_str(), 65534, 65534), 0);
    refused.push_back("others");
  }
  const auto count = [](const std::filesystem::path& folder) {
    return std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator());
  };
  bool created = false;
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", (dir / "private").string());
    EXPECT_NE(platform::NamedMutex::CreateOwned(name_, &created), nullptr);
    EXPECT_EQ(count(dir / "private"), 1) << "the handle file lies in the runtime folder";
  }
  for (const std::string& folder : refused) {
    const auto before = count(dir / folder);
    ScopedEnv runtime("XDG_RUNTIME_DIR", (dir / folder).string());
    auto mutex = platform::NamedMutex::CreateOwned(name_ + L"x", &created);
    ASSERT_NE(mutex, nullptr) << folder << ": the next place in the chain serves";
    EXPECT_TRUE(created);
    // Every process of the user walks the same chain, so a second handle finds the same mutex.
    auto second = platform::NamedMutex::CreateOwned(name_ + L"x", &created);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(created) << folder;
    EXPECT_EQ(count(dir / folder), before) << folder << " holds nothing of it";
    mutex->Release();
  }
  EXPECT_EQ(count(dir / "private"), 1);
}

}  // namespace
