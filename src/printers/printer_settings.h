// Carrying each product printer and its settings key name across a reinstall:
// remembered before the printer is deleted, written back when it is re-created.
#pragma once

#include "run/install_state.h"

// Remembers the printer with its settings key name, empty when it has none.
// False, with the cause as the thread's last error, when that could not be
// found out or kept.
bool RememberPrinter(InstallState& state, win::PRINTER_INFO_2W& entry);
// Deletes every product printer of the snapshot, each after remembering it.
// A reinstall keeps in place, with an error, one it could not remember.
void DeleteAllPrinterQueues(InstallState& state);
void RestorePrinters(InstallState& state);
// Whether the user's settings key of that name is there.
bool SettingsKeyExists(const char* name);
// Writes the name as plain printer data and under "DsUser"; true when the
// "DsUser" write succeeded.
bool WriteSettingsKeyName(win::HANDLE printer, const char* name);
// Reads the name into `buffer` (SettingsKeyCapacity bytes); empty when absent.
const char* ReadSettingsKeyName(win::HANDLE printer, char* buffer);
// The same, giving ERROR_SUCCESS when it is known whether there is a name,
// else the status of the read that failed.
win::DWORD ReadSettingsKeyNameStatus(win::HANDLE printer, char* buffer);
