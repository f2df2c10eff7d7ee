// Registering, starting and stopping the tray companion "cortray.exe".
#pragma once

#include "run/install_state.h"

// Where the companion is registered for log-on (under HKEY_LOCAL_MACHINE).
constexpr char16_t RunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char16_t RunValue[] = u"CorvaneTray";

// Characters of the buffer the Run value is read into, terminator included.
constexpr win::DWORD RunValueCapacity = 264;

// Whether the program runs as SYSTEM: ERROR_SUCCESS with `system` set, or
// the error that kept it from being told.
win::DWORD RunsAsSystem(bool& system);
// Whether the program runs as SYSTEM, or cannot tell that it does not.
bool MayRunAsSystem();
// The program the Run value names, into `program` (RunValueCapacity
// characters), changing nothing: ERROR_SUCCESS for a whole path,
// ERROR_MORE_DATA for one too long, else the status of the failed read.
long ReadRegisteredTray(char16_t* program);
// The companion's path: "cortray.exe" in the parent of the installer's
// folder. The caller releases it.
WideString TrayProgramPath(const InstallState& state);
// Whether InstallTray registers and starts the companion: StartTray is set
// and the system is NT 6 or newer.
bool InstallsTray(const InstallState& state);
// Registers the companion for log-on when InstallsTray, and starts it when
// the program also runs in a user's session as a user other than SYSTEM.
void InstallTray(InstallState& state);
// Stops a running companion, deletes the program its Run value names (but
// not `keepFile`, which an install is about to start again) and removes
// the value. Gives the status of closing the Run key.
long StopTray(const char16_t* keepFile = nullptr);
