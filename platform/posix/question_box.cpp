#include "platform/question_box.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/posix/spawn.h"

namespace platform {
namespace {

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

// The full path of the executable `name` in a folder of PATH, or empty.
std::string FindOnPath(const char* name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr)
    return {};
  std::string folders = path;
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos)
      end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    if (!folder.empty() && folder[0] == '/') {
      const std::string candidate = folder + "/" + name;
      struct stat info;
      if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
          ::access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return {};
}

// Runs `words` with no console of its own and returns its exit status, or -1 when it did not end
// normally.
int RunQuietly(std::vector<std::string> words) {
  const posix::ExecWords argv(std::move(words));
  posix::SpawnRequest request;
  request.program_path = argv.get()[0];
  request.argv = argv.get();
  const pid_t pid = posix::Spawn(request);
  return pid > 0 ? posix::WaitForExitCode(pid) : -1;
}

}  // namespace

int AskYesNo(const wchar_t* text, const wchar_t* caption) {
  // The desktop's own dialog programs draw the box: zenity, else kdialog.
  if (!HasDisplay())
    return 0;
  const std::string narrow_text = ToNarrow(text);
  const std::string narrow_caption = ToNarrow(caption);
  std::vector<std::string> words;
  if (std::string zenity = FindOnPath("zenity"); !zenity.empty()) {
    // --question shows Yes and No with a question-mark icon; Yes is the default button.
    words = {zenity, "--question", "--no-markup", "--text=" + narrow_text, "--title=" + narrow_caption};
  } else if (std::string kdialog = FindOnPath("kdialog"); !kdialog.empty()) {
    words = {kdialog, "--title", narrow_caption, "--yesno", narrow_text};
  } else {
    return 0;
  }
  switch (RunQuietly(std::move(words))) {
    case 0:
      return kAnswerYes;
    case 1:
      return kAnswerNo;
    default:
      return 0;
  }
}

}  // namespace platform
