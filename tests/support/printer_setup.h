// Printers set up on a simulated machine as the product's other programs
// would leave them.
#pragma once

#include <string>

#include "platform/sim/ansi_codepage.h"
#include "platform/sim/print_store.h"

// A "SubKey" value, plain (key empty) or under a printer data key.
inline void SetSettingsKey(sim::Machine& m, const std::u16string& printer, const std::u16string& key,
                           const std::string& name, win::DWORD type = win::REG_SZ) {
  std::vector<std::uint8_t> bytes(name.begin(), name.end());
  bytes.push_back(0);
  if (type == win::REG_SZ) bytes = sim::StoredFromAnsi(bytes);
  m.SetValue(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(printer, key), u"SubKey", type, std::move(bytes));
}

// The "SubKey" value as the program would read it back, or "<none>".
inline std::string SettingsKey(sim::Machine& m, const std::u16string& printer, const std::u16string& key) {
  const sim::RegistryValue* value =
      m.FindValue(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(printer, key), u"SubKey");
  if (!value || value->type != win::REG_SZ) return "<none>";
  const auto ansi = sim::AnsiFromStored(value->data);
  return std::string(ansi.begin(), std::find(ansi.begin(), ansi.end(), 0));
}

inline void AddProductPrinter(sim::Machine& m, const std::u16string& name, const std::u16string& comment = u"",
                              const std::u16string& location = u"", const std::u16string& port = u"Corvane:") {
  sim::WritePrinter(m, {name, u"Corvane printer", port, comment, location, 0});
}

// The printer's record, or one named "<none>" when there is no such printer.
inline sim::PrinterRecord PrinterNamed(sim::Machine& m, std::u16string_view name) {
  sim::PrinterRecord record;
  if (!sim::FindPrinter(m, name, record)) record.name = u"<none>";
  return record;
}
