// The main of the test programs that link the program's own entry and commands. They are linked
// with --wrap=main, so the system's start-up calls this function, and the program's main, linked in
// unchanged, stays there as __real_main.
#include "tests/support/run_tests.h"

extern "C" int __wrap_main(int argc, char** argv) {
  return RunTests(argc, argv);
}
