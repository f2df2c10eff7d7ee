// Carrying each product printer and its settings key name across a reinstall:
// remembered before the printer is deleted, written back when it is re-created.
#pragma once

#include "run/install_state.h"

// Bytes of the buffer a settings key name is read into, terminator included.
constexpr int SettingsKeyCapacity = 64;

void RememberPrinter(InstallState& state, win::PRINTER_INFO_2W& entry);
// Deletes every product printer of the snapshot, each after remembering it.
void DeleteAllPrinterQueues(InstallState& state);
void RestorePrinters(InstallState& state);
// Writes the name as plain printer data and under "DsUser"; true when the
// "DsUser" write succeeded.
bool WriteSettingsKeyName(win::HANDLE printer, const char* name);
// Reads the name into `buffer` (SettingsKeyCapacity bytes); empty when absent.
const char* ReadSettingsKeyName(win::HANDLE printer, char* buffer);
// The printer's level-2 record in a global block the caller frees, or null.
win::PRINTER_INFO_2W* GetPrinterInfo(win::HANDLE printer);
