// Printers that a reinstall parks on "file:" so that the spooler lets the
// old monitor go, journalled before they move so that a run cut off before
// they are back, or one whose monitor cannot be added, loses none of them.
//
// The value "PrintersToMoveBack" of the product's machine key: per printer,
// its name and its port before it moved.
#pragma once

#include "run/install_state.h"
#include "spooler/journal_value.h"


// Journals every printer of the snapshot on the monitor's port, keeping the
// records the journal already holds. False, with the cause as the thread's
// last error, when it could not be read or written: then none may move.
bool JournalParkedPrinters(InstallState& state);
// Puts each journalled printer still parked back on its port, and keeps in
// the journal only those that could not be put back (and those the
// snapshot does not show); removes it when none is left.
void PutBackParkedPrinters(InstallState& state);
// Calls `each` with the name of every printer the journal holds, changing
// nothing; false, with the cause as the thread's last error, when it cannot
// be read.
bool ForEachParkedPrinter(void (*each)(void* context, const char16_t* name), void* context);
// Removes the journal: an uninstall's monitor and port are meant to go.
void RemoveParkedPrinterJournal();
