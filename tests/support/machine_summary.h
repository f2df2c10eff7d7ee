// What the product owns on a simulated machine, one line per item, so that a
// table of runs can state the state it expects as a few lines of text.
#pragma once

#include <sstream>
#include <string>

#include "platform/sim/print_store.h"
#include "printer_setup.h"
#include "printers/printer_journal.h"
#include "product_places.h"

namespace summary {

inline std::string FileBuild(sim::Machine& m, const std::u16string& path) {
  const sim::FileNode* node = m.FindFile(path);
  if (!node || node->directory) return "missing";
  const auto build = sim::FileBuild(node->data);
  return build ? std::to_string(*build) : "unversioned";
}

// monitor DLL build / driver files and their builds / product printers (name
// port settings comment location, "*" for the default) / other printers by
// name and port / run value / companion with its starts and exit requests
// (unless `counts` is false) / a missing tray program / every pending
// operation / journal / parked printers' record / spooler unless running.
inline std::string Of(sim::Machine& m, bool counts = true) {
  std::ostringstream out;
  if (sim::MonitorRegistered(m, u"Corvane:")) {
    const std::u16string dll = sim::MonitorDll(m, u"Corvane:");
    out << "monitor " << sim::Utf8(dll) << " " << FileBuild(m, m.systemDir + u"\\" + dll) << "\n";
  }
  sim::DriverRecord d;
  if (sim::FindDriver(m, u"Windows x64", u"Corvane printer", d)) {
    const std::u16string dir = sim::DriverVersionDir(m, u"Windows x64", d.version) + u"\\";
    out << "driver " << d.version;
    for (const auto* file : {&d.driverFile, &d.dataFile, &d.configFile, &d.helpFile})
      out << " " << sim::Utf8(*file) << ":" << FileBuild(m, dir + *file);
    out << "\n";
  }
  const std::u16string defaultPrinter = sim::DefaultPrinter(m);
  for (const auto& p : sim::Printers(m)) {
    out << (p.name == defaultPrinter ? "*" : "") << "printer " << sim::Utf8(p.name) << " " << sim::Utf8(p.port);
    if (p.driver == u"Corvane printer")
      out << " " << SettingsKey(m, p.name, u"") << "/" << SettingsKey(m, p.name, u"DsUser") << " \""
          << sim::Utf8(p.comment) << "\" \"" << sim::Utf8(p.location) << "\"";
    else
      out << " by " << sim::Utf8(p.driver);
    out << "\n";
  }
  if (places::RunEntry(m))
    out << "run " << sim::Utf8(m.String(win::HKEY_LOCAL_MACHINE, places::kRunKey, places::kRunValue)) << "\n";
  if (m.companion.starts)
    out << "companion " << (m.companion.running ? "running " : "ended ") << sim::Utf8(m.companion.image)
        << (counts ? " started " + std::to_string(m.companion.starts) + " asked " +
                         std::to_string(m.companion.exitRequests)
                   : "")
        << "\n";
  if (!m.FindFile(places::kTray)) out << "no tray program\n";
  for (const auto& [from, to] : sim::PendingOperations(m))
    out << "pending " << sim::Utf8(from) << " -> " << sim::Utf8(to) << "\n";
  if (m.FindValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, PrinterJournalValue)) out << "journal\n";
  if (m.FindValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, ParkedPrintersValue)) out << "parked\n";
  if (!m.SpoolerRunning()) out << "spooler not running\n";
  return out.str();
}

// The product as a clean install leaves it on the default machine.
inline const std::string kMonitor = "monitor vexmon64.dll 2620\n";
inline const std::string kDriver =
    "driver 3 vexdrv64.dll:2620 vexdrv64.dll:2620 vexui64.dll:2620 vexhelp.chm:unversioned\n";
inline const std::string kCorvane = "printer Corvane Corvane: <none>/<none> \"\" \"\"\n";
inline const std::string kRun = "run \"C:\\Program Files\\Corvane\\cortray.exe\"\n";
inline const std::string kTray = kRun + "companion running C:\\Program Files\\Corvane\\cortray.exe started 1 asked 0\n";
inline const std::string kInstalled = kMonitor + kDriver + kCorvane + kTray;

}  // namespace summary
