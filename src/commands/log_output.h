// Where the log of an install or uninstall run goes when the run ends: the
// log file, when the command line asked for one, and the log dialog.
#pragma once

#include "platform/platform.h"
#include "run/install_state.h"

struct LogOutput {
  win::HWND Owner = nullptr;  // owner of the dialog
  bool Quiet = false;         // the dialog never shows
  win::HANDLE File = win::INVALID_HANDLE_VALUE;  // created before the run began
};

// Writes the file first, so that it is complete even while a dialog waits.
void PresentLog(InstallState& state, const LogOutput& output);
