// The body of every test program's main.
#pragma once

int RunTests(int argc, char** argv);
