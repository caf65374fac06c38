// A child for the launcher tests. It writes to the file named by $DUMP_FILE, one item a line:
//   arg <each argument>, cwd <folder>, mark <$LAUNCH_MARK>, fd <each open descriptor>, done
// sleeping $SLEEP_MS milliseconds before "done".
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

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
    text += std::string("fd ") + entry->d_name + "\n";
  }
  closedir(fds);
  std::ofstream(dump, std::ios::app) << text;
  if (const char* sleep_ms = std::getenv("SLEEP_MS")) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep_ms)));
  }
  std::ofstream(dump, std::ios::app) << "done\n";
  return 0;
}
