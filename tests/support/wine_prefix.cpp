#include "tests/support/wine_prefix.h"

#include <chrono>

namespace testing_support {

WinePrefix::~WinePrefix() {
  RunProgram({"/usr/lib/wine/wineserver", "-k"}, Options());
}

RunOptions WinePrefix::Options() const {
  RunOptions options;
  options.env = {{"WINEPREFIX", folder_.path().string()},
                 {"WINEDEBUG", "-all"},
                 {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
  options.unset = {"DISPLAY", "WAYLAND_DISPLAY"};
  return options;
}

RunResult WinePrefix::Boot(RunOptions options) const {
  options.timeout = std::chrono::seconds(180);
  return RunProgram({kWine, "wineboot", "--init"}, options);
}

std::filesystem::path WinePrefix::Roaming() const {
  const std::filesystem::path users = folder_.path() / "drive_c/users";
  if (!std::filesystem::is_directory(users))
    return {};
  for (const auto& user : std::filesystem::directory_iterator(users)) {
    if (user.path().filename() != "Public")
      return user.path() / "AppData/Roaming";
  }
  return {};
}

}  // namespace testing_support
