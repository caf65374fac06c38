// The logging library's costs, each beside the baseline it is judged against in the same run:
//   a statement below the threshold against one lock and unlock of the logger's lock;
//   a statement written to the file against spdlog with a file sink flushed after every line, and
//   against a loop of bare write() calls of a preformatted line of the same length;
//   four processes on one file against one.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "logutils/logger.h"
#include "logutils/logger_impl.h"
#include "platform/sync.h"

namespace {

std::atomic<long> g_allocations{0};

std::filesystem::path Folder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "tidyhand-bench-XXXXXX").string();
    return std::filesystem::path(mkdtemp(pattern.data()));
  }();
  return folder;
}

// The statement text every written benchmark logs, and the line it becomes in the file.
constexpr const char* kText = "StartHelper launched the optimizer helper";
std::string FileLine() {
  // "MM-DD hh:mm:ss.mmm [  pid][  tid]" + "[I][  NN][log_bench] " + text + CR LF
  return std::string(33, 'x') + "[I][  42][log_bench] " + kText + "\r\n";
}

LogUtils::LoggerImpl* StartedLogger(const std::string& name) {
  const auto path = Folder() / name;
  std::filesystem::remove(path);
  std::ofstream(path.string() + ".on");
  auto* logger = new LogUtils::LoggerImpl();
  logger->Start(path.wstring().c_str(), L"", 0, 0, LogUtils::LoggerImpl::kDefaultMaxSize);
  return logger;
}

// One statement, exactly as the statement form writes it, against `logger`.
void Statement(LogUtils::Logger* logger) {
  if (logger->IsEnabled(1)) {
    LogUtils::LogStream stream("[I]", __FILE__, 42);
    stream << kText;
    logger->Log(stream);
  }
}

void BM_LoggerLockUnlock(benchmark::State& state) {
  platform::CriticalSection lock;
  for (auto _ : state) {
    lock.Enter();
    lock.Leave();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LoggerLockUnlock);

void BM_StatementBelowThreshold(benchmark::State& state) {
  const long before = g_allocations.load();
  for (auto _ : state) {
    LOGUTILS_INFO(kText);
    benchmark::ClobberMemory();
  }
  state.counters["allocations"] = static_cast<double>(g_allocations.load() - before);
}
BENCHMARK(BM_StatementBelowThreshold);

void BM_StatementToFile(benchmark::State& state) {
  LogUtils::LoggerImpl* logger = StartedLogger("statements.log");
  for (auto _ : state)
    Statement(logger);
  state.SetItemsProcessed(state.iterations());
  state.counters["line_bytes"] = static_cast<double>(FileLine().size());
}
BENCHMARK(BM_StatementToFile);

void BM_SpdlogFlushedFileSink(benchmark::State& state) {
  const auto path = Folder() / "spdlog.log";
  std::filesystem::remove(path);
  auto logger = spdlog::basic_logger_mt("bench", path.string());
  // The same line: a prefix of the same shape and length, the same text, a line end of two bytes.
  logger->set_pattern("%m-%d %H:%M:%S.%e [%5P][%5t][I][  42][log_bench] %v\r",
                      spdlog::pattern_time_type::local);
  logger->flush_on(spdlog::level::trace);
  for (auto _ : state)
    logger->info(kText);
  state.SetItemsProcessed(state.iterations());
  spdlog::drop("bench");
}
BENCHMARK(BM_SpdlogFlushedFileSink);

void BM_BareWrite(benchmark::State& state) {
  const auto path = Folder() / "bare.log";
  std::filesystem::remove(path);
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  const std::string line = FileLine();
  for (auto _ : state)
    benchmark::DoNotOptimize(write(fd, line.data(), line.size()));
  close(fd);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareWrite);

// `processes` writers, each with its own logger on one file, `lines` statements each.
void BM_ProcessesOnOneFile(benchmark::State& state) {
  const int processes = static_cast<int>(state.range(0));
  constexpr int kLines = 20000;
  for (auto _ : state) {
    const auto path = Folder() / "shared.log";
    std::filesystem::remove(path);
    std::ofstream(path.string() + ".on");
    for (int p = 0; p < processes; ++p) {
      if (fork() == 0) {
        LogUtils::LoggerImpl logger;
        logger.Start(path.wstring().c_str(), L"", 0, 0, LogUtils::LoggerImpl::kDefaultMaxSize);
        for (int i = 0; i < kLines; ++i)
          Statement(&logger);
        logger.End();
        _exit(0);
      }
    }
    for (int p = 0; p < processes; ++p)
      wait(nullptr);
  }
  state.SetItemsProcessed(state.iterations() * processes * kLines);
}
BENCHMARK(BM_ProcessesOnOneFile)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// Counts allocations, so that the statement below the threshold shows that it makes none. The
// replacements pair malloc with free, which the compiler cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size))
    return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

BENCHMARK_MAIN();
