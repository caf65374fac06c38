#include "stat/stat_client.h"

#include <atomic>
#include <cwchar>
#include <mutex>

#include "platform/paths.h"
#include "platform/process.h"

namespace {

constexpr const wchar_t* kLibraryName = L"kitbase.dll";
constexpr int kCompletionWaitMs = 2000;

// The library's exports, in its own calling convention.
using StartStatFunction = int(PLATFORM_STDCALL*)();
using SendStatUrlFunction = int(PLATFORM_STDCALL*)(const wchar_t*, const wchar_t*);
using WaitStatCompleteFunction = int(PLATFORM_STDCALL*)(int);

template <typename Function>
Function FindStatExport(const char* name) {
  return reinterpret_cast<Function>(platform::FindExport(LoadStatLibrary(), name));
}

// Runs its operation once until it is reset. An operation that throws leaves it un-run.
class ResettableOnce {
 public:
  template <typename Operation>
  void Call(Operation&& operation) {
    if (done_.load(std::memory_order_acquire))
      return;
    std::lock_guard<std::mutex> hold(running_);
    if (done_.load(std::memory_order_relaxed))
      return;
    operation();
    done_.store(true, std::memory_order_release);
  }
  void Reset() { done_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> done_{false};
  std::mutex running_;
};

platform::ModuleHandle g_library = nullptr;
std::atomic<StatSession*> g_session{nullptr};
ResettableOnce g_open_guard;
ResettableOnce g_close_guard;

// Closes the session at normal exit. It is constructed after the logger's creation lock (which is
// set up ahead of every ordinary static object), so it is destroyed before that lock.
struct StatExitRegistration {
  StatExitRegistration() = default;
  ~StatExitRegistration() { CloseStatSession(); }
} g_exit_registration;

}  // namespace

platform::ModuleHandle LoadStatLibrary() {
  if (g_library != nullptr)
    return g_library;
  g_library = platform::FindLoadedModule(kLibraryName);
  if (g_library != nullptr)
    return g_library;

  wchar_t executable[platform::kMaxPath] = {};
  if (platform::GetExecutablePath(executable, platform::kMaxPath) != 0 && executable[0] != L'\0') {
    wchar_t candidate[platform::kMaxPath] = {};
    std::wcscpy(candidate, executable);
    platform::RemoveFileSpec(candidate);
    platform::AppendPath(candidate, kLibraryName);
    if (!platform::PathExists(candidate)) {
      // Not beside the executable: the folder above it.
      platform::RemoveFileSpec(candidate);
      platform::RemoveFileSpec(candidate);
      platform::AppendPath(candidate, kLibraryName);
    }
    g_library = platform::LoadModule(candidate);
  }
  if (g_library == nullptr)
    platform::ExitProcessNow(0);
  return g_library;
}

StatSession::StatSession() {
  if (auto start = FindStatExport<StartStatFunction>("StartStat"))
    start();
}

StatSession::~StatSession() {
  if (auto wait = FindStatExport<WaitStatCompleteFunction>("WaitStatComplete"))
    wait(kCompletionWaitMs);
}

void OpenStatSession() {
  g_open_guard.Call([] {
    StatSession* session = new StatSession();
    std::atomic_thread_fence(std::memory_order_seq_cst);
    g_session.store(session, std::memory_order_relaxed);
    g_close_guard.Reset();
  });
}

void CloseStatSession() {
  g_close_guard.Call([] {
    if (StatSession* session = g_session.load(std::memory_order_acquire)) {
      delete session;
      g_session.store(nullptr, std::memory_order_release);
    }
    g_open_guard.Reset();
  });
}

void SendStatEvent(const std::wstring& short_name, const std::wstring& action) {
  if (short_name.empty() || action.empty())
    return;
  if (auto send = FindStatExport<SendStatUrlFunction>("SendStatUrl"))
    send(short_name.c_str(), action.c_str());
}
