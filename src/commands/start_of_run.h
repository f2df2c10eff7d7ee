// The start of an install or uninstall run: the record filled in with what
// the machine says.
#pragma once

#include "run/install_state.h"

// Initialises the caller's record: first log line, spooler check, platform
// names, directories. Never fails as a whole.
InstallState& CreateInstallState(InstallState& state, unsigned mode);
// The program's own folder, ending in its separator.
void FindModuleDir(InstallState& state);
// What the record needs of the machine after the spooler check: platform
// names, directories and the printer snapshot. Reads only.
void FindPlaces(InstallState& state, unsigned mode);
// Fills Printers and marks the default printer's record; run as SYSTEM,
// none is the default.
void MarkDefaultPrinter(InstallState& state);
