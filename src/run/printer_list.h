// The machine's printers as one enumeration left them: level-2 records and
// the strings they point to, all in one global block.
#pragma once

#include "platform/platform.h"

struct PrinterList {
  win::PRINTER_INFO_2W* entries;  // global block; null when empty
  win::DWORD count;
};

void ReleasePrinterList(PrinterList& list);
// A connection to a printer of another computer ("\\SERVER\NAME"): a local
// printer's name holds no backslash.
bool IsConnection(const win::PRINTER_INFO_2W& printer);
