#include "tests/support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace testing_support {

std::filesystem::path BinDir() {
  return TIDYHAND_BIN_DIR;
}
std::filesystem::path TestBinDir() {
  return TIDYHAND_TEST_BIN_DIR;
}
std::filesystem::path TestProgram(const std::string& name) {
  return TestBinDir() / (name + TIDYHAND_EXE_SUFFIX);
}

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, "tidyhand-test-%08x%08x", random(), random());
    const std::filesystem::path candidate = std::filesystem::temp_directory_path() / name;
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, error);
      path_ = candidate;
      return;
    }
  }
  std::abort();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& content) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

std::vector<std::string> SplitLines(const std::string& text, const std::string& separator) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + separator.size();
  }
  return lines;
}

void SleepFor(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

}  // namespace testing_support
