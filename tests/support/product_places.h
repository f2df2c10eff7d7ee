// Where the product lands on the default simulated machine, and small
// readers for the log lines and the Session Manager's pending operations.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace places {

inline const std::u16string kSetupDir = u"C:\\Program Files\\Corvane\\Setup\\";
inline const std::u16string kTray = u"C:\\Program Files\\Corvane\\cortray.exe";
inline const std::u16string kSystemMonitor = u"C:\\Windows\\system32\\vexmon64.dll";
inline const std::u16string kDriverDir = u"C:\\Windows\\system32\\spool\\drivers\\x64\\";
inline const std::u16string kInstalledDriver = kDriverDir + u"3\\vexdrv64.dll";
inline constexpr char16_t kRunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char16_t kRunValue[] = u"CorvaneTray";

inline void SetPendingBytes(sim::Machine& m, std::vector<std::uint8_t> bytes) {
  m.SetValue(win::HKEY_LOCAL_MACHINE, sim::SessionManagerKey, sim::PendingOperationsValue, win::REG_MULTI_SZ,
             std::move(bytes));
}

inline void SetPending(sim::Machine& m, const std::vector<std::u16string>& strings) {
  SetPendingBytes(m, sim::MultiStringBytes(strings));
}

inline const sim::RegistryValue* Pending(sim::Machine& m) {
  return m.FindValue(win::HKEY_LOCAL_MACHINE, sim::SessionManagerKey, sim::PendingOperationsValue);
}

// The pending operations' bytes; none when there is no value.
inline std::vector<std::uint8_t> PendingData(sim::Machine& m) {
  return Pending(m) ? Pending(m)->data : std::vector<std::uint8_t>{};
}

inline const sim::RegistryValue* RunEntry(sim::Machine& m) {
  return m.FindValue(win::HKEY_LOCAL_MACHINE, kRunKey, kRunValue);
}

// A line without its indentation.
inline std::u16string Trimmed(const std::u16string& line) {
  const auto start = line.find_first_not_of(u' ');
  return start == std::u16string::npos ? u"" : line.substr(start);
}

inline bool HasTrimmedLine(const std::vector<std::u16string>& lines, const std::u16string& text) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::u16string& l) { return Trimmed(l) == text; });
}

// A file's bytes as text, or "<no file>".
inline std::string FileBytes(sim::Machine& m, std::u16string_view path) {
  const sim::FileNode* node = m.FindFile(path);
  return node ? std::string(node->data.begin(), node->data.end()) : "<no file>";
}

// Calls of one kind whose detail names `path`, without regard to case.
inline int CallsOn(const sim::Machine& m, const std::string& call, const std::u16string& path) {
  const std::u16string key = sim::ToUpperAscii(path);
  return static_cast<int>(std::count_if(m.journal.begin(), m.journal.end(), [&](const sim::JournalEntry& e) {
    return e.call == call && sim::ToUpperAscii(e.detail) == key;
  }));
}

// Where the first call of that name (and detail, when given) stands in the journal; -1 for none.
inline int FirstCall(const sim::Machine& m, const std::string& call, const std::u16string& detail = {}) {
  for (std::size_t i = 0; i < m.journal.size(); ++i)
    if (m.journal[i].call == call && (detail.empty() || m.journal[i].detail == detail)) return static_cast<int>(i);
  return -1;
}

// Calls of one kind whose detail holds `part`.
inline int CallsNaming(const sim::Machine& m, const std::string& call, std::u16string_view part) {
  return static_cast<int>(std::count_if(m.journal.begin(), m.journal.end(), [&](const sim::JournalEntry& e) {
    return e.call == call && e.detail.find(part) != std::u16string::npos;
  }));
}

}  // namespace places
