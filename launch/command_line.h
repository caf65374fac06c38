// How the launcher forms the command line it hands to the system; the launcher's own, and its
// tests'.
#pragma once

#include <cstddef>

// The command line LaunchProcess hands to the system, terminator included.
inline constexpr std::size_t kCommandLineUnits = 2048;

// Formats the command line for `path` and `arguments` (may be null) into `line`: the path in
// quotes, unescaped, one blank, and the arguments unchanged. False when it would not fit.
bool FormatCommandLine(const wchar_t* path, const wchar_t* arguments, wchar_t (&line)[kCommandLineUnits]);

// Whether the command line that FormatCommandLine makes gives `path` back unchanged as its first
// word. The system takes a quoted first word up to the next quote, so a path that holds a quote
// would end early there and name another program.
bool CommandLineCarries(const wchar_t* path);
