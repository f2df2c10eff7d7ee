// The machine's printers: listing them, creating one product printer and
// deleting one printer.
#pragma once

#include "run/install_state.h"
#include "run/printer_list.h"

constexpr char16_t ProductPortName[] = u"Corvane:";

// Fills the list with the local and connected printers; empty on failure.
void ListPrinters(PrinterList& list);
// Thin wrappers: the spooler's result, its last error left in place.
win::HANDLE AddLocalPrinter(win::PRINTER_INFO_2W& printer);
bool PurgeAndDeletePrinter(win::HANDLE printer);
bool ClosePrinterChecked(win::HANDLE printer);

// The printer's level-2 record in a global block the caller frees, or null.
win::PRINTER_INFO_2W* GetPrinterInfo(win::HANDLE printer);

void DeletePrinterQueue(InstallState& state, const char16_t* name);
// Adds a product printer; the caller closes the handle. Null on failure.
win::HANDLE AddPrinterQueue(InstallState& state, const char16_t* name);
