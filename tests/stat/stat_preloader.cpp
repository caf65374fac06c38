// A program that has loaded a statistics library itself, from a folder the client never searches,
// before it opens a session: the client must use that one.
//   stat_preloader LIBRARY
#include <dlfcn.h>

#include <string>

#include "stat/stat_client.h"

int main(int argc, char** argv) {
  if (argc != 2 || dlopen(argv[1], RTLD_NOW) == nullptr)
    return 2;
  OpenStatSession();
  SendStatEvent(L"tyhand", L"run");
  return 0;
}
