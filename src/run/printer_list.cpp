#include "run/printer_list.h"

#include "util/text_compare.h"

void ReleasePrinterList(PrinterList& list) {
  win::GlobalFree(list.entries);
  list.entries = nullptr;
  list.count = 0;
}

win::PRINTER_INFO_2W* FindPrinter(const PrinterList& list, const char16_t* name) {
  for (win::DWORD i = 0; i < list.count; ++i)
    if (SameText(list.entries[i].pPrinterName, name)) return &list.entries[i];
  return nullptr;
}

bool IsConnection(const win::PRINTER_INFO_2W& printer) {
  return printer.pPrinterName && printer.pPrinterName[0] == u'\\' && printer.pPrinterName[1] == u'\\';
}

bool IsOwnPrinter(const win::PRINTER_INFO_2W& printer) { return IsProductPrinter(printer) && !IsConnection(printer); }

bool IsProductPrinter(const win::PRINTER_INFO_2W& printer) {
  return SameText(printer.pDriverName, ProductDriverName);
}
