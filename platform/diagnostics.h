// Diagnostics: the thread's last error, the system's message for an error, and the debugger output.
#pragma once

#include <string>

namespace platform {

// The calling thread's last error, as left by the most recent failed platform call.
int LastErrorCode();
void SetLastErrorCode(int code);

// The system's message for `code`, as the system words it (line breaks included). False when the
// system has no message for it.
bool SystemErrorMessage(int code, std::wstring* message);

// Sends `text` to the debugger output: a channel a developer can read, never the console.
void SendDebugText(const wchar_t* text);

}  // namespace platform
