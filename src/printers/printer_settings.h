// Carrying each product printer's settings key name across a reinstall:
// remembered before the printer is deleted, written back when it is re-created.
#pragma once

#include "core/install_state.h"

// Bytes of the buffer a settings key name is read into, terminator included.
constexpr int SettingsKeyCapacity = 64;

struct SavedPrinter {
  char* keyName;                 // global block; never empty
  win::PRINTER_INFO_2W* entry;   // the printer's record in Printers; not owned
  SavedPrinter* next;
};

void RememberPrinter(InstallState& state, win::PRINTER_INFO_2W& entry);
void RestorePrinters(InstallState& state);
// Writes the name as plain printer data and under "DsUser"; true when the
// "DsUser" write succeeded.
bool WriteSettingsKeyName(win::HANDLE printer, const char* name);
// Reads the name into `buffer` (SettingsKeyCapacity bytes); empty when absent.
const char* ReadSettingsKeyName(win::HANDLE printer, char* buffer);
// The printer's level-2 record in a global block the caller frees, or null.
win::PRINTER_INFO_2W* GetPrinterInfo(win::HANDLE printer);
// Frees every node with its key name.
void ReleaseSavedPrinters(SavedPrinter* head);
