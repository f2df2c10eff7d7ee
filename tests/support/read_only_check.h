// "check" on a machine a test left behind: it must change nothing of what
// the machine keeps, byte for byte (the clock aside), start nothing and
// show no window.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "commands/entry.h"
#include "platform/sim/machine_text.h"
#include "platform/sim/registry_text.h"

namespace read_only {

// Everything a run could change on the machine: the registry, every file's
// bytes (but those of `except`) and every fact machine.txt keeps but the clock's.
inline std::string WholeState(const sim::Machine& m, std::u16string_view except = {}) {
  std::string error, text = sim::RegistryText(m, error) + sim::MachineText(m, {});
  const auto clock = text.find("\nclock ");
  if (clock != std::string::npos) text.erase(clock, text.find('\n', clock + 1) - clock);
  for (const auto& [key, node] : m.files)
    if (except.empty() || key != sim::Machine::Key(except))
      text +=
          sim::Utf8(key) + (node.directory ? "/" : "") + "=" + std::string(node.data.begin(), node.data.end()) + "\n";
  return text;
}

// Runs "check" the way a detection script does: what it changed ("" for
// nothing), its exit code into `code`, its report then in m.standardOutput.
// Faults and call costs a test armed are the test's, not the machine's:
// they go first.
inline std::string WhatCheckChanged(sim::Machine& m, int& code) {
  m.faults.clear();
  m.killAtCall = 0;
  m.callCostMs.clear();
  m.standardOutput.clear();
  const std::string before = WholeState(m);
  const auto dialogs = m.dialogs.size(), started = m.processesStarted.size(), handles = m.handles.size();
  m.commandLine = u"\"" + m.modulePath + u"\" check /quiet";
  code = CorvaneEntry(reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000}));
  if (WholeState(m) != before) return "check changed the machine";
  if (m.dialogs.size() != dialogs || m.processesStarted.size() != started) return "check showed a window or started a program";
  return m.handles.size() == handles ? "" : "check left handles open";
}

inline int CheckChangesNothing(sim::Machine& m) {
  int code = -1;
  EXPECT_EQ(WhatCheckChanged(m, code), "");
  return code;
}

// The names of the findings a report gives, in order, Info lines aside.
inline std::vector<std::string> FindingNames(const std::string& report) {
  std::vector<std::string> names;
  for (std::size_t at = 0; at < report.size();) {
    const std::size_t end = report.find("\r\n", at), colon = report.find(':', at);
    const std::string name = report.substr(at, std::min(colon, end) - at);
    if (name != "Info") names.push_back(name);
    at = end == std::string::npos ? report.size() : end + 2;
  }
  return names;
}

}  // namespace read_only
