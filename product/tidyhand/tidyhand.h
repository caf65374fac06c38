// tidyhand's maintenance commands.
#pragma once

#include <string>

// Asks the user whether to reset the viewer's configuration and, on Yes, deletes its configuration
// file. False only when the user said Yes and the file could not be deleted.
bool CleanConfig();

// Starts the viewer's optimizer helper from the executable's own folder, if its publisher is
// accepted, without waiting for it. True when the helper process was created.
bool StartHelper();

// The running executable's full path, or empty when it cannot be had.
std::wstring GetModulePath();

// Carries out the command line: the reset without any argument, else "--clean" and "--optimize"
// in the order given (in any letter case); every other argument is ignored.
void RunCommands(int argc, char* argv[]);
