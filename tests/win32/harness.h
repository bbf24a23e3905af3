// What every Windows test program shares.
#pragma once

#include <windows.h>

// A crash must never pass: wine's debugger would print a backtrace and let
// the process exit 0, so any unhandled exception ends the process with 99.
void InstallCrashFilter();
