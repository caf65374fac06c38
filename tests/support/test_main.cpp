// The main of every test program.
#include "tests/support/run_tests.h"

int main(int argc, char** argv) {
  return RunTests(argc, argv);
}
