// The log viewer: a modal dialog (template 101) showing a run's log in a
// read-only box, titled by whether errors were counted.
#pragma once

#include "run/install_state.h"
#include "platform/platform.h"

constexpr win::WORD LogDialogId = 101;
constexpr int LogEditId = 1001;
constexpr int LogTitleCapacity = 264;

// The dialog's title for the run so far, into a buffer of LogTitleCapacity.
void FormatLogTitle(const InstallState& state, char16_t* title);

win::INT_PTR LogDialogProc(win::HWND dialog, win::UINT message, win::WPARAM wParam,
                           win::LPARAM lParam);
// Shows the log when errors were counted or Shift is down right now.
void ShowLogIfNeeded(InstallState& state, win::HWND owner);
