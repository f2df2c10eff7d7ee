// Registering, starting and stopping the tray companion "cortray.exe".
#pragma once

#include "run/install_state.h"

// Where the companion is registered for log-on (HKEY_CURRENT_USER), the
// mutex it holds while it runs and the class of its window.
constexpr char16_t RunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char16_t RunValue[] = u"CorvaneTray";
constexpr char MutexName[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
constexpr char16_t WindowClass[] = u"kvs::{05759F8E-103D-41B6-8A61-EFAA89516692}";

// The companion's path: "cortray.exe" in the parent of the installer's
// folder. The caller releases it.
WideString TrayProgramPath(const InstallState& state);
// Whether InstallTray registers and starts the companion: StartTray is set
// and the system is NT 6 or newer.
bool InstallsTray(const InstallState& state);
// Registers the companion for log-on and starts it when InstallsTray.
void InstallTray(InstallState& state);
// Stops a running companion, deletes the program its Run value names (but
// not `keepFile`, which an install is about to start again) and removes
// the value. Gives the status of closing the Run key.
long StopTray(const char16_t* keepFile = nullptr);
