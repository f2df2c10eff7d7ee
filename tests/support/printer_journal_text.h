// The journal of remembered printers as a test writes and reads it on a
// simulated machine: five texts per printer (name, settings key name,
// comment, location, "1" for the default).
#pragma once

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "printers/printer_journal.h"

using JournalRecord = std::array<std::u16string, 5>;

inline std::vector<std::uint8_t> JournalBytes(const std::vector<JournalRecord>& records) {
  std::vector<std::uint8_t> bytes;
  for (const auto& record : records)
    for (const auto& text : record) {
      const auto one = sim::StringBytes(text);
      bytes.insert(bytes.end(), one.begin(), one.end());
    }
  return bytes;
}

inline void LeaveJournal(sim::Machine& m, const std::vector<JournalRecord>& records) {
  m.SetValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, PrinterJournalValue, win::REG_BINARY, JournalBytes(records));
}

inline const sim::RegistryValue* JournalValue(sim::Machine& m) {
  return m.FindValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, PrinterJournalValue);
}

// The records of the journal on the machine; none when there is none.
inline std::vector<JournalRecord> JournalRecords(sim::Machine& m) {
  std::vector<JournalRecord> records;
  const sim::RegistryValue* value = JournalValue(m);
  if (!value) return records;
  std::u16string units(value->data.size() / 2, u'\0');
  std::memcpy(units.data(), value->data.data(), units.size() * 2);
  std::vector<std::u16string> texts;
  for (std::size_t at = 0; at < units.size();) {
    const std::size_t end = units.find(u'\0', at);
    texts.push_back(units.substr(at, end - at));
    at = end == std::u16string::npos ? units.size() : end + 1;
  }
  for (std::size_t i = 0; i + 5 <= texts.size(); i += 5)
    records.push_back({texts[i], texts[i + 1], texts[i + 2], texts[i + 3], texts[i + 4]});
  return records;
}
