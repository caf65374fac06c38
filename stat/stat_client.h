// The statistics client: the product's statistics library "kitbase.dll", loaded at run time, one
// session per run and the run's events.
#pragma once

#include <string>

#include "platform/module.h"

// The loaded statistics library. Found once (a library of that name already loaded, else the one
// beside the executable, else the one in the folder above) and kept for the life of the process.
// When it cannot be loaded the process ends at once with exit code 0, running no exit handler.
platform::ModuleHandle LoadStatLibrary();

// Opens the statistics session, once until the next CloseStatSession.
void OpenStatSession();

// Closes the statistics session, letting pending reports complete; once until the next
// OpenStatSession. Runs by itself at normal process exit.
void CloseStatSession();

// Reports the event `action` of the program `short_name`. Empty names report nothing.
void SendStatEvent(const std::wstring& short_name, const std::wstring& action);

// The open session: creating it starts the library's session, destroying it waits for its reports.
class StatSession {
 public:
  StatSession();
  ~StatSession();
  StatSession(const StatSession&) = delete;
  StatSession& operator=(const StatSession&) = delete;
};
