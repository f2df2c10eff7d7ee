// The journal of remembered printers: what a reinstall remembered of the
// product printers it deletes, kept on the machine until they are back, so
// that a run that ends half-way (killed, power lost) or fails to bring one
// back loses none of them.
//
// It is the value "PrintersToRestore" of the product's machine key: per
// printer, in the order they are re-created, five texts: the name, the
// settings key name (one unit per byte of its 8-bit text; empty for a
// printer without one), the comment, the location, and "1" for the default
// printer or "". A run reads it once, at its start, and keeps it with its
// record.
#pragma once

#include "run/install_state.h"
#include "spooler/journal_value.h"


// In a reinstall, writes what the run has remembered, together with the
// printers the journal already holds; for a printer in both, the journal's
// record is kept, as it was taken before anything was deleted. False, with
// the cause as the thread's last error, when the journal could not be
// written: then nothing may be deleted. Logs nothing.
bool JournalSavedPrinters(InstallState& state);
// Reads the journal into the run's record: how many printers a run that
// did not finish left in it, logged when there are any; -1, with the cause
// as the thread's last error, when the journal is there but cannot be read.
int FindUnfinishedRun(InstallState& state);
void LogUnreadableJournal(InstallState& state);
// Puts the journalled printers that no longer exist on SavedSettings, so
// that RestorePrinters brings them back: a printer remembered under the
// same name takes the journal's record. A product printer still there was
// kept in place; a name another maker's printer holds is logged, and its
// record waits in the journal for the name to be free.
void TakeOverJournal(InstallState& state);
// Keeps in the journal only the printers that are not back, and removes it
// when every one is.
void SettlePrinterJournal(InstallState& state);
// Calls `each` with the name of every printer the run's journal holds, in
// the order they are re-created.
void ForEachJournalledPrinter(const InstallState& state, void (*each)(void* context, const char16_t* name),
                              void* context);
// Removes the journal, if there is one: an uninstall's printers are meant to go.
void RemovePrinterJournal();
