// A throwaway home folder for running the real programs end to end, with a stand-in zenity first on
// its PATH: the stand-in records the words of each question it is asked and answers with the exit
// status it is told (1, No, until told otherwise).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace testing_support {

class ThrowawayHome {
 public:
  ThrowawayHome();
  ThrowawayHome(const ThrowawayHome&) = delete;
  ThrowawayHome& operator=(const ThrowawayHome&) = delete;

  const std::filesystem::path& path() const { return home_.path(); }
  std::filesystem::path operator/(const std::string& part) const { return home_ / part; }
  // The viewer's folder in the home's application-data folder.
  std::filesystem::path Vistrel() const { return home_ / ".config/Vistrel"; }

  // The exit status of the stand-in's next answers: 0 Yes, 1 No, anything else "cannot be shown".
  void Answer(int status) const;
  // The words of each question asked so far, oldest first.
  std::vector<std::vector<std::string>> Asked() const;
  // Also appends the line "question" to `file` for each question, beside whatever else writes there.
  void AlsoRecordQuestionsIn(const std::filesystem::path& file) { events_ = file; }

  // The options for running a program in this home: its HOME, the stand-in first on PATH, a display
  // for the stand-in to "use", no XDG_CONFIG_HOME, the home as current folder, and the clock a
  // hundred times as fast unless `fast` is false.
  RunOptions Options(bool fast = true) const;

 private:
  TempDir home_;
  std::filesystem::path events_;
};

// Makes `folder` the current folder until the object goes, on every way out of the scope.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::filesystem::path& folder);
  ~ScopedCurrentFolder();
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

 private:
  std::filesystem::path old_;
};

}  // namespace testing_support
