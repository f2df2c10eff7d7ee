// The journal of remembered printers: what a reinstall remembered of the
// product printers it deletes, kept on the machine until they are back, so
// that a run that ends half-way (killed, power lost) loses none of them.
//
// It is the value "PrintersToRestore" (REG_BINARY) of
// HKEY_LOCAL_MACHINE\Software\Brennock\Corvane: per printer, in the order
// they are re-created, five UTF-16 texts each ending with its zero: the
// name, the settings key name (one unit per byte of its 8-bit text), the
// comment, the location, and "1" for the default printer or "". One
// RegSetValueExW replaces it whole, so a run that ends while writing leaves
// either the old journal or the new one.
#pragma once

#include "run/install_state.h"

constexpr char16_t ProductMachineKey[] = u"Software\\Brennock\\Corvane";
constexpr char16_t PrinterJournalValue[] = u"PrintersToRestore";

// In a reinstall, writes what the run has remembered so far, together with
// the printers that a run that did not finish left in the journal; for a
// printer in both, the journal's record is kept, as it was taken before
// anything was deleted. Flushed. Logs nothing.
void JournalSavedPrinters(InstallState& state);
// How many printers a run that did not finish left in the journal; logs
// the number when there are any.
int FindUnfinishedRun(InstallState& state);
// Puts the journalled printers that no longer exist on SavedSettings, so
// that RestorePrinters brings them back: a printer remembered under the
// same name takes the journal's record. A printer still there (kept in
// place, or another maker's holding the name) is left alone.
void TakeOverJournal(InstallState& state);
// Removes the journal, if there is one, and flushes the removal.
void RemovePrinterJournal();
