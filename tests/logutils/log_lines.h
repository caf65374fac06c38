// Reading a log file back: its lines, and their statements without the time and id prefix.
#pragma once

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace testing_support {

// "MM-DD hh:mm:ss.mmm [  pid][  tid]", as every line of the log begins.
inline const std::regex& LinePrefix() {
  static const std::regex prefix(
      R"(^(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{3}) \[ *(-?\d+)\]\[ *(-?\d+)\])");
  return prefix;
}

// The lines of `file`, each without its CR LF. A file whose last line has no CR LF keeps it as a
// line of its own, so that a torn line shows.
inline std::vector<std::string> LogLines(const std::filesystem::path& file) {
  return SplitLines(ReadFile(file), "\r\n");
}

// The statements of `file`: each line without its prefix.
inline std::vector<std::string> LogStatements(const std::filesystem::path& file) {
  std::vector<std::string> statements;
  for (const std::string& line : LogLines(file)) {
    std::smatch match;
    statements.push_back(std::regex_search(line, match, LinePrefix()) ? match.suffix().str()
                                                                      : "<torn>" + line);
  }
  return statements;
}

}  // namespace testing_support
