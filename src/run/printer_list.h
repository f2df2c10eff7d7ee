// The machine's printers as one enumeration left them: level-2 records and
// the strings they point to, all in one global block.
#pragma once

#include "platform/platform.h"

constexpr char16_t ProductDriverName[] = u"Corvane printer";

struct PrinterList {
  win::PRINTER_INFO_2W* entries;  // global block; null when empty
  win::DWORD count;
};

void ReleasePrinterList(PrinterList& list);
// The listed printer named exactly `name`, or null.
win::PRINTER_INFO_2W* FindPrinter(const PrinterList& list, const char16_t* name);
// A record of the product: its driver name is exactly "Corvane printer".
bool IsProductPrinter(const win::PRINTER_INFO_2W& printer);
// A connection to a printer of another computer ("\\SERVER\NAME"): a local
// printer's name holds no backslash.
bool IsConnection(const win::PRINTER_INFO_2W& printer);
// A product printer of this machine: another computer's printer is not this
// machine's to delete or to judge.
bool IsOwnPrinter(const win::PRINTER_INFO_2W& printer);
