#include "run/printer_list.h"

void ReleasePrinterList(PrinterList& list) {
  win::GlobalFree(list.entries);
  list.entries = nullptr;
  list.count = 0;
}
