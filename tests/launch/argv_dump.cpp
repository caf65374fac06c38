// A child for the launcher tests. It writes to the file named by $DUMP_FILE, one item a line:
//   arg <each argument>, cwd <folder>, mark <$LAUNCH_MARK>, fd <each open descriptor> <its target>,
//   session <own|inherited>, sigblk <blocked signals>, sigign <ignored signals> (both in hex, as
//   the kernel shows them), image <size of the running program's file>, then done
// waiting before "done" $SLEEP_MS milliseconds, and then as long as the file $HOLD_FILE exists (at
// most 60000 rounds of 10 ms).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

// The value of `field` in /proc/self/status.
std::string StatusField(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0)
      return line.substr(line.find_first_not_of(" \t", field.size() + 1));
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  const char* dump = std::getenv("DUMP_FILE");
  if (dump == nullptr)
    return 2;
  std::string text;
  for (int i = 0; i < argc; ++i)
    text += std::string("arg ") + argv[i] + "\n";
  text += "cwd " + std::filesystem::current_path().string() + "\n";
  const char* mark = std::getenv("LAUNCH_MARK");
  text += std::string("mark ") + (mark != nullptr ? mark : "") + "\n";
  DIR* fds = opendir("/proc/self/fd");
  const int own = dirfd(fds);
  while (dirent* entry = readdir(fds)) {
    if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
      continue;
    char target[4096] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    text += std::string("fd ") + entry->d_name + " " + (length > 0 ? target : "?") + "\n";
  }
  closedir(fds);
  text += std::string("session ") + (getsid(0) == getpid() ? "own" : "inherited") + "\n";
  text += "sigblk " + StatusField("SigBlk") + "\n";
  text += "sigign " + StatusField("SigIgn") + "\n";
  struct stat image = {};
  stat("/proc/self/exe", &image);
  text += "image " + std::to_string(image.st_size) + "\n";
  std::ofstream(dump, std::ios::app) << text;
  if (const char* sleep_ms = std::getenv("SLEEP_MS")) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep_ms)));
  }
  if (const char* hold = std::getenv("HOLD_FILE")) {
    for (int round = 0; round < 60000 && std::filesystem::exists(hold); ++round)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ofstream(dump, std::ios::app) << "done\n";
  return 0;
}
