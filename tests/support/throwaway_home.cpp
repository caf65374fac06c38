#include "tests/support/throwaway_home.h"

namespace testing_support {

ThrowawayHome::ThrowawayHome() {
  WriteFile(home_ / "bin/zenity",
            "#!/bin/sh\n"
            "for word in \"$@\"; do printf '%s\\n' \"$word\" >> \"$ZENITY_RECORD\"; done\n"
            "echo '--end--' >> \"$ZENITY_RECORD\"\n"
            "[ -z \"$ZENITY_EVENTS\" ] || echo question >> \"$ZENITY_EVENTS\"\n"
            "exit \"$(cat \"$ZENITY_ANSWER\")\"\n");
  std::filesystem::permissions(home_ / "bin/zenity", std::filesystem::perms::owner_all);
  Answer(1);
}

void ThrowawayHome::Answer(int status) const {
  WriteFile(home_ / "answer", std::to_string(status));
}

std::vector<std::vector<std::string>> ThrowawayHome::Asked() const {
  if (!std::filesystem::exists(home_ / "asked"))
    return {};
  std::vector<std::vector<std::string>> asked(1);
  for (const std::string& word : SplitLines(ReadFile(home_ / "asked"))) {
    if (word == "--end--") {
      asked.emplace_back();
    } else {
      asked.back().push_back(word);
    }
  }
  asked.pop_back();
  return asked;
}

RunOptions ThrowawayHome::Options(bool fast) const {
  RunOptions options;
  options.env = {{"HOME", home_.path().string()},
                 {"PATH", (home_ / "bin").string() + ":/usr/bin:/bin"},
                 {"DISPLAY", ":99"},
                 {"ZENITY_RECORD", (home_ / "asked").string()},
                 {"ZENITY_ANSWER", (home_ / "answer").string()}};
  if (!events_.empty())
    options.env["ZENITY_EVENTS"] = events_.string();
  options.unset = {"XDG_CONFIG_HOME", "WAYLAND_DISPLAY"};
  options.cwd = home_.path();
  options.fast_clock = fast;
  return options;
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::filesystem::path& folder)
    : old_(std::filesystem::current_path()) {
  std::filesystem::current_path(folder);
}

ScopedCurrentFolder::~ScopedCurrentFolder() {
  std::error_code ignored;
  std::filesystem::current_path(old_, ignored);
}

}  // namespace testing_support
