#include "platform/sim/tool/summary.h"

#include <algorithm>
#include <set>
#include <sstream>

#include "platform/sim/error_texts.h"
#include "platform/sim/print_store.h"
#include "spooler/companion_files.h"

namespace simtool {

namespace {

using sim::Utf8;

constexpr char16_t RunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char16_t RunValue[] = u"CorvaneTray";
constexpr char16_t SetupFileName[] = u"corvane-setup.exe";

std::string Quoted(std::u16string_view text) { return "\"" + Utf8(text) + "\""; }

std::string StateName(win::DWORD state) {
  switch (state) {
    case win::SERVICE_STOPPED: return "stopped";
    case win::SERVICE_START_PENDING: return "starting";
    case win::SERVICE_STOP_PENDING: return "stopping";
    case win::SERVICE_RUNNING: return "running";
    default: return "in state " + std::to_string(state);
  }
}

std::string ErrorName(win::DWORD code) {
  const char16_t* text = sim::SystemErrorText(code);
  std::string out = std::to_string(code);
  if (!text) return out;
  std::string line = Utf8(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return out + " (" + line + ")";
}

// " (build N)", " (no version)" or " (missing)" for a file on the machine.
std::string BuildOf(sim::Machine& m, const std::u16string& path) {
  const sim::FileNode* node = m.FindFile(path);
  if (!node || node->directory) return " (missing)";
  const auto build = sim::FileBuild(node->data);
  std::string out = build ? " (build " + std::to_string(*build) + ")" : " (no version)";
  if (node->attributes & win::FILE_ATTRIBUTE_READONLY) out += " read-only";
  return out;
}

std::string Join(const std::vector<std::u16string>& items) {
  std::string out;
  for (const auto& item : items) out += (out.empty() ? "" : ", ") + Utf8(item);
  return out.empty() ? "none" : out;
}

// The "SubKey" printer data, plain or under a key, as a reader sees it.
std::string SettingsKey(sim::Machine& m, const std::u16string& printer, const std::u16string& key) {
  const sim::RegistryValue* value =
      m.FindValue(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(printer, key), u"SubKey");
  if (!value) return "none";
  if (value->type != win::REG_SZ) return "a value of type " + std::to_string(value->type);
  return Quoted(m.String(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(printer, key), u"SubKey"));
}

std::string Duration(std::uint64_t ms) { return std::to_string(ms) + " ms"; }

std::string Times(int n) { return n == 1 ? "once" : std::to_string(n) + " times"; }

void Spooler(std::ostringstream& out, sim::Machine& m) {
  const sim::Service* s = m.FindService(u"Spooler");
  if (!s) {
    out << "Spooler: no such service\n";
    return;
  }
  out << "Spooler: " << StateName(s->state) << "; a stop takes " << Duration(s->stopDelayMs) << ", a start "
      << Duration(s->startDelayMs);
  if (s->stopHangs) out << "; stopping hangs";
  if (s->startHangs) out << "; starting hangs";
  if (s->startError) out << "; refuses to start with error " << ErrorName(s->startError);
  out << "\n";
}

void Monitors(std::ostringstream& out, sim::Machine& m) {
  out << "\nPort monitors\n";
  for (const auto& name : sim::MonitorNames(m)) {
    const std::u16string dll = sim::MonitorDll(m, name);
    out << "  " << Utf8(name) << "\n    DLL " << (dll.empty() ? "none" : Utf8(dll));
    // The local port monitor is part of the spooler itself.
    if (!dll.empty() && sim::ToUpperAscii(name) != sim::ToUpperAscii(sim::LocalPortMonitor))
      out << BuildOf(m, m.systemDir + u"\\" + dll);
    out << "\n    ports " << Join(sim::MonitorPorts(m, name)) << "\n";
  }
}

void Drivers(std::ostringstream& out, sim::Machine& m) {
  out << "\nPrinter drivers\n";
  bool any = false;
  for (const char16_t* environment : {EnvironmentX64, EnvironmentX86}) {
    for (const auto& d : sim::Drivers(m, environment)) {
      any = true;
      const std::u16string dir = sim::DriverVersionDir(m, d.environment, d.version) + u"\\";
      out << "  " << Utf8(d.name) << " (" << Utf8(d.environment) << ", version " << d.version << ")\n";
      for (const auto& [role, file] : {std::pair{"driver", d.driverFile}, std::pair{"data", d.dataFile},
                                       std::pair{"configuration", d.configFile}, std::pair{"help", d.helpFile}})
        if (!file.empty()) out << "    " << role << ": " << Utf8(dir + file) << BuildOf(m, dir + file) << "\n";
    }
  }
  if (!any) out << "  none\n";
}

void Printers(std::ostringstream& out, sim::Machine& m) {
  out << "\nPrinters (* the default)\n";
  const std::u16string fallback = sim::DefaultPrinter(m);
  const auto printers = sim::Printers(m);
  for (const auto& p : printers) {
    const bool isDefault = sim::ToUpperAscii(p.name) == sim::ToUpperAscii(fallback);
    out << (isDefault ? "  * " : "    ") << Utf8(p.name) << "\n";
    out << "      port " << Utf8(p.port) << ", driver " << Utf8(p.driver) << "\n";
    out << "      comment " << Quoted(p.comment) << ", location " << Quoted(p.location) << "\n";
    out << "      SubKey " << SettingsKey(m, p.name, u"") << ", DsUser SubKey " << SettingsKey(m, p.name, u"DsUser")
        << "\n";
    out << "      jobs queued: " << sim::JobCount(m, p.name);
    if (p.status & win::PRINTER_STATUS_PENDING_DELETION) out << ", pending deletion";
    out << "\n";
  }
  if (printers.empty()) out << "  none\n";
  const auto connections = sim::Connections(m);
  for (const auto& c : connections) out << "  connection " << Utf8(c.name) << ", driver " << Utf8(c.driver) << "\n";
  auto isFallback = [&](const sim::PrinterRecord& p) { return sim::ToUpperAscii(p.name) == sim::ToUpperAscii(fallback); };
  if (!fallback.empty() && std::none_of(printers.begin(), printers.end(), isFallback) &&
      std::none_of(connections.begin(), connections.end(), isFallback))
    out << "  the default printer " << Quoted(fallback) << " does not exist\n";
}

void Tray(std::ostringstream& out, sim::Machine& m) {
  out << "\nTray companion\n";
  const sim::RegistryValue* run = m.FindValue(win::HKEY_LOCAL_MACHINE, RunKey, RunValue);
  out << "  Run value " << Utf8(RunValue) << ": "
      << (run ? Utf8(m.String(win::HKEY_LOCAL_MACHINE, RunKey, RunValue)) : std::string("none")) << "\n";
  const sim::Companion& c = m.companion;
  if (c.running)
    out << "  running from " << Utf8(c.image) << " in session " << c.session << (c.asSystem ? " as SYSTEM" : "")
        << (c.window ? ", its window open" : ", its window not open yet") << "\n";
  else
    out << "  not running\n";
  const sim::CompanionBehaviour& b = m.companionBehaviour;
  out << "  started " << Times(c.starts) << ", asked to end " << Times(c.exitRequests) << "; its window appears "
      << Duration(b.windowDelayMs) << " after a start; "
      << (b.ignoresExitRequest ? std::string("it ignores the request to end")
                               : "it ends " + Duration(b.exitDelayMs) + " after the request to end")
      << (b.abandonsMutex ? ", without releasing its mutex" : "") << "\n";
}

void Pending(std::ostringstream& out, sim::Machine& m) {
  out << "\nPending file operations (carried out at the next reboot)\n";
  const auto operations = sim::PendingOperations(m);
  auto plain = [](std::u16string path) {
    if (!path.empty() && path[0] == u'!') path.erase(0, 1);
    return Utf8(path.rfind(u"\\??\\", 0) == 0 ? path.substr(4) : path);
  };
  for (const auto& [source, target] : operations) {
    if (target.empty())
      out << "  delete " << plain(source) << "\n";
    else
      out << "  move " << plain(source) << " to " << plain(target) << (target[0] == u'!' ? ", replacing it" : "")
          << "\n";
  }
  if (operations.empty()) out << "  none\n";
}

void ProductFiles(std::ostringstream& out, sim::Machine& m) {
  out << "\nProduct files\n";
  std::set<std::u16string> names;
  for (const char16_t* name : {MonitorFile64, MonitorFile32, DriverFile64, DriverFile32, UiFile64, UiFile32,
                               HelpFileName, TrayFileName, SetupFileName})
    names.insert(sim::ToUpperAscii(name));
  bool any = false;
  for (const auto& [key, node] : m.files) {
    if (node.directory || !names.count(key.substr(key.rfind(u'\\') + 1))) continue;
    any = true;
    out << "  " << Utf8(node.path) << BuildOf(m, node.path) << "\n";
  }
  if (!any) out << "  none\n";
}

void Holds(std::ostringstream& out, sim::Machine& m) {
  out << "\nHeld files\n";
  for (const auto& h : m.holds) {
    const sim::FileNode* node = m.FindFile(h.key);
    out << "  " << Utf8(node ? node->path : h.key) << " by " << h.holder << ", sharing";
    const char* shares[] = {" read", " write", " delete"};
    bool shared = false;
    for (int bit = 0; bit < 3; ++bit)
      if (h.share & (1u << bit)) {
        out << shares[bit];
        shared = true;
      }
    if (!shared) out << " nothing";
    if (h.image) out << ", a running program";
    if (h.untilMs == UINT64_MAX)
      out << ", until released\n";
    else
      out << ", " << Duration(h.untilMs > m.nowMs ? h.untilMs - m.nowMs : 0) << " more\n";
  }
  if (m.holds.empty()) out << "  none\n";
}

void Faults(std::ostringstream& out, sim::Machine& m) {
  out << "\nArmed faults\n";
  bool any = false;
  for (const auto& f : m.faults) {
    if (f.count == 0) continue;
    any = true;
    if (f.kill)
      out << "  " << f.call << " kills the program";
    else
      out << "  " << f.call << " fails with " << ErrorName(f.error ? f.error : win::ERROR_INVALID_FUNCTION) << ", "
          << (f.count < 0 ? std::string("every time") : Times(f.count));
    if (f.skip) out << ", after " << f.skip << " more calls";
    if (!f.match.empty()) out << ", for calls naming " << Quoted(f.match);
    out << "\n";
  }
  if (m.killAtCall) {
    any = true;
    out << "  the next run is killed at its platform call " << m.killAtCall << "\n";
  }
  if (!any) out << "  none\n";
}

void Windows(std::ostringstream& out, sim::Machine& m) {
  bool any = false;
  for (const auto& w : m.windows) {
    if (!w->alive || w->role != sim::WindowRole::Help) continue;
    if (!any) out << "\nHelp windows\n";
    any = true;
    out << "  " << Quoted(w->title) << " "
        << (w->closes ? "closes " + Duration(w->closeDelayMs) + " after a close request" : std::string("never closes"))
        << "\n";
  }
}

std::string EventText(sim::Machine& m, const sim::TimedEvent& e) {
  switch (e.kind) {
    case sim::TimedEvent::Kind::ServiceState:
      return Utf8(e.name) + " becomes " + StateName(e.to);
    case sim::TimedEvent::Kind::HoldRelease: {
      const sim::FileNode* node = m.FindFile(e.name);
      return Utf8(node ? node->path : e.name) + " is released";
    }
    case sim::TimedEvent::Kind::CompanionWindow:
      return "the tray companion's window appears";
    case sim::TimedEvent::Kind::CompanionExit:
      return "the tray companion ends";
    case sim::TimedEvent::Kind::WindowClose:
      return "a help window closes";
  }
  return {};
}

void Events(std::ostringstream& out, sim::Machine& m) {
  if (m.events.empty()) return;
  std::vector<sim::TimedEvent> events = m.events;
  std::sort(events.begin(), events.end(), sim::Earlier);
  out << "\nComing\n";
  for (const auto& e : events) out << "  in " << Duration(e.atMs - std::min(e.atMs, m.nowMs)) << ": " << EventText(m, e) << "\n";
}

}  // namespace

std::string Summary(sim::Machine& m) {
  std::ostringstream out;
  out << "Clock: " << Duration(m.nowMs) << " of virtual time\n";
  out << "Windows " << m.osMajor << "." << m.osMinor << " build " << m.osBuild << "; Shift "
      << (m.shiftHeld ? "held down" : "up") << "; runs start in session " << m.session
      << (m.runsAsSystem ? " as SYSTEM" : " as the user") << "\n";
  Spooler(out, m);
  Monitors(out, m);
  Drivers(out, m);
  Printers(out, m);
  Tray(out, m);
  Pending(out, m);
  ProductFiles(out, m);
  Holds(out, m);
  Faults(out, m);
  Windows(out, m);
  Events(out, m);
  return out.str();
}

}  // namespace simtool
