// A printer snapshot laid out as the spooler lays out an enumeration: the
// records first, then their strings back to back in the same global block.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "run/printer_list.h"

struct SnapshotPrinter {
  std::u16string name, port, driver, comment, location;
};

inline PrinterList MakeSnapshot(const std::vector<SnapshotPrinter>& printers) {
  std::size_t bytes = printers.size() * sizeof(win::PRINTER_INFO_2W);
  for (const auto& p : printers)
    for (const auto* s : {&p.name, &p.port, &p.driver, &p.comment, &p.location}) bytes += (s->size() + 1) * 2;
  auto* block = static_cast<win::BYTE*>(win::GlobalAlloc(win::GPTR, bytes));
  auto* records = reinterpret_cast<win::PRINTER_INFO_2W*>(block);
  auto* strings = reinterpret_cast<char16_t*>(block + printers.size() * sizeof(win::PRINTER_INFO_2W));
  auto put = [&strings](const std::u16string& s) {
    char16_t* at = strings;
    std::memcpy(at, s.c_str(), (s.size() + 1) * 2);
    strings += s.size() + 1;
    return at;
  };
  for (std::size_t i = 0; i < printers.size(); ++i) {
    records[i].pPrinterName = put(printers[i].name);
    records[i].pPortName = put(printers[i].port);
    records[i].pDriverName = put(printers[i].driver);
    records[i].pComment = put(printers[i].comment);
    records[i].pLocation = put(printers[i].location);
  }
  return PrinterList{records, static_cast<win::DWORD>(printers.size())};
}
