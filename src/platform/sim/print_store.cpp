#include "platform/sim/print_store.h"

#include <cstring>

namespace sim {

namespace {

std::u16string DriversKey(std::u16string_view environment, DWORD version) {
  return std::u16string(PrintKey) + u"\\Environments\\" + std::u16string(environment) +
         u"\\Drivers\\Version-" + (version == 3 ? u"3" : version == 2 ? u"2" : u"4");
}

DWORD Dword(Machine& m, std::u16string_view path, std::u16string_view name) {
  const RegistryValue* value = m.FindValue(win::HKEY_LOCAL_MACHINE, path, name);
  DWORD result = 0;
  if (value && value->data.size() >= 4) std::memcpy(&result, value->data.data(), 4);
  return result;
}

std::vector<std::u16string> SubkeyNames(Machine& m, std::u16string_view path) {
  std::vector<std::u16string> names;
  if (RegistryKey* key = m.FindKey(win::HKEY_LOCAL_MACHINE, path))
    for (const auto& [upper, sub] : key->subkeys) names.push_back(sub->name);
  return names;
}

bool SameNoCase(std::u16string_view a, std::u16string_view b) { return ToUpperAscii(a) == ToUpperAscii(b); }

}  // namespace

std::u16string EnvironmentFolder(std::u16string_view environment) {
  if (SameNoCase(environment, u"Windows x64")) return u"x64";
  if (SameNoCase(environment, u"Windows NT x86")) return u"W32X86";
  return {};
}

std::u16string DriverVersionDir(Machine& m, std::u16string_view environment, DWORD version) {
  return m.driverRoot + u"\\" + EnvironmentFolder(environment) + u"\\" +
         static_cast<char16_t>(u'0' + version);
}

std::vector<std::u16string> MonitorNames(Machine& m) { return SubkeyNames(m, MonitorsKey); }

bool MonitorRegistered(Machine& m, std::u16string_view name) {
  return m.FindKey(win::HKEY_LOCAL_MACHINE, std::u16string(MonitorsKey) + u"\\" + std::u16string(name));
}

std::u16string MonitorDll(Machine& m, std::u16string_view name) {
  return m.String(win::HKEY_LOCAL_MACHINE, std::u16string(MonitorsKey) + u"\\" + std::u16string(name),
                  u"Driver");
}

std::u16string MonitorFilePath(Machine& m, std::u16string_view dll) {
  const auto slash = dll.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? m.systemDir + u"\\" + std::u16string(dll) : std::u16string(dll);
}

void RegisterMonitor(Machine& m, std::u16string_view name, std::u16string_view dll,
                     const std::vector<std::u16string>& ports) {
  const std::u16string key = std::u16string(MonitorsKey) + u"\\" + std::u16string(name);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Driver", dll);
  for (const auto& port : ports) m.CreateKey(win::HKEY_LOCAL_MACHINE, key + u"\\Ports\\" + port);
}

std::vector<std::u16string> MonitorPorts(Machine& m, std::u16string_view name) {
  if (SameNoCase(name, LocalPortMonitor)) {
    std::vector<std::u16string> ports;
    if (RegistryKey* key = m.FindKey(win::HKEY_LOCAL_MACHINE, LocalPortsKey))
      for (const auto& [upper, value] : key->values) ports.push_back(value.name);
    return ports;
  }
  return SubkeyNames(m, std::u16string(MonitorsKey) + u"\\" + std::u16string(name) + u"\\Ports");
}

bool PortExists(Machine& m, std::u16string_view port) {
  for (const auto& monitor : MonitorNames(m))
    for (const auto& p : MonitorPorts(m, monitor))
      if (SameNoCase(p, port)) return true;
  return false;
}

std::vector<DriverRecord> Drivers(Machine& m, std::u16string_view environment) {
  std::vector<DriverRecord> drivers;
  for (DWORD version : {2u, 3u, 4u}) {
    const std::u16string base = DriversKey(environment, version);
    for (const auto& name : SubkeyNames(m, base)) {
      const std::u16string key = base + u"\\" + name;
      DriverRecord d;
      d.name = name;
      d.environment = std::u16string(environment);
      d.version = Dword(m, key, u"Version");
      d.driverFile = m.String(win::HKEY_LOCAL_MACHINE, key, u"Driver");
      d.dataFile = m.String(win::HKEY_LOCAL_MACHINE, key, u"Data File");
      d.configFile = m.String(win::HKEY_LOCAL_MACHINE, key, u"Configuration File");
      d.helpFile = m.String(win::HKEY_LOCAL_MACHINE, key, u"Help File");
      d.helpFileGiven = m.FindValue(win::HKEY_LOCAL_MACHINE, key, u"Help File") != nullptr;
      d.manufacturer = m.String(win::HKEY_LOCAL_MACHINE, key, u"Manufacturer");
      d.provider = m.String(win::HKEY_LOCAL_MACHINE, key, u"Provider");
      d.oemUrl = m.String(win::HKEY_LOCAL_MACHINE, key, u"OEM Url");
      drivers.push_back(d);
    }
  }
  return drivers;
}

bool FindDriver(Machine& m, std::u16string_view environment, std::u16string_view name,
                DriverRecord& found) {
  for (const auto& d : Drivers(m, environment))
    if (SameNoCase(d.name, name)) {
      found = d;
      return true;
    }
  return false;
}

void RegisterDriver(Machine& m, const DriverRecord& d) {
  const std::u16string key = DriversKey(d.environment, d.version) + u"\\" + d.name;
  m.CreateKey(win::HKEY_LOCAL_MACHINE, key).values.clear();
  m.SetDword(win::HKEY_LOCAL_MACHINE, key, u"Version", d.version);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Driver", d.driverFile);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Data File", d.dataFile);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Configuration File", d.configFile);
  if (d.helpFileGiven) m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Help File", d.helpFile);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Manufacturer", d.manufacturer);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Provider", d.provider);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"OEM Url", d.oemUrl);
}

void RemoveDriver(Machine& m, std::u16string_view environment, std::u16string_view name) {
  for (DWORD version : {2u, 3u, 4u})
    m.hklm.Remove(DriversKey(environment, version) + u"\\" + std::u16string(name));
}

namespace {

constexpr char16_t WindowsKey[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr char16_t SpoolFolder[] = u"C:\\Windows\\system32\\spool\\PRINTERS";

// The spool files of a printer's jobs: the shadow file names the printer.
std::vector<std::u16string> JobFiles(Machine& m, std::u16string_view printer) {
  std::vector<std::u16string> jobs;
  const std::u16string prefix = Machine::Key(std::u16string(SpoolFolder) + u"\\");
  for (auto at = m.files.lower_bound(prefix); at != m.files.end() && at->first.rfind(prefix, 0) == 0; ++at) {
    const auto& [key, node] = *at;
    if (key.size() < 4 || key.substr(key.size() - 4) != u".SHD") continue;
    std::u16string owner(node.data.size() / 2, u'\0');
    std::memcpy(owner.data(), node.data.data(), owner.size() * 2);
    if (SameNoCase(owner, printer)) jobs.push_back(node.path.substr(0, node.path.size() - 4));
  }
  return jobs;
}

}  // namespace

std::u16string PrinterKey(std::u16string_view name) {
  return std::u16string(PrintersKey) + u"\\" + std::u16string(name);
}

std::u16string PrinterDataKey(std::u16string_view printer, std::u16string_view key) {
  return PrinterKey(printer) + u"\\" + (key.empty() ? u"PrinterDriverData" : std::u16string(key));
}

void AddJob(Machine& m, std::u16string_view printer) {
  std::u16string base;
  for (int n = 1; base.empty() || m.FindFile(base + u".SHD"); ++n) {
    const std::string digits = std::to_string(100000 + n).substr(1);
    base = std::u16string(SpoolFolder) + u"\\FP" + std::u16string(digits.begin(), digits.end());
  }
  std::vector<std::uint8_t> owner(printer.size() * 2);
  std::memcpy(owner.data(), printer.data(), owner.size());
  m.AddFile(base + u".SHD", std::move(owner));
  m.AddFile(base + u".SPL", std::vector<std::uint8_t>(4096, 0x1B));
}

int JobCount(Machine& m, std::u16string_view printer) { return static_cast<int>(JobFiles(m, printer).size()); }

void PurgeJobs(Machine& m, std::u16string_view printer) {
  for (const auto& job : JobFiles(m, printer)) {
    m.files.erase(Machine::Key(job + u".SHD"));
    m.files.erase(Machine::Key(job + u".SPL"));
  }
}

std::u16string DefaultPrinter(Machine& m) {
  const std::u16string device = m.String(win::HKEY_CURRENT_USER, WindowsKey, u"Device");
  return device.substr(0, device.find(u','));
}

void SetDefaultPrinter(Machine& m, std::u16string_view name) {
  if (name.empty()) {
    if (RegistryKey* key = m.FindKey(win::HKEY_CURRENT_USER, WindowsKey)) key->values.erase(u"DEVICE");
    return;
  }
  m.SetString(win::HKEY_CURRENT_USER, WindowsKey, u"Device", std::u16string(name) + u",winspool,Ne00:");
}

void RemovePrinter(Machine& m, std::u16string_view name) {
  PurgeJobs(m, name);
  if (SameNoCase(DefaultPrinter(m), name)) SetDefaultPrinter(m, u"");
  m.hklm.Remove(PrinterKey(name));
}

namespace {

PrinterRecord ReadPrinter(Machine& m, const std::u16string& key) {
  PrinterRecord p;
  p.name = m.String(win::HKEY_LOCAL_MACHINE, key, u"Name");
  p.driver = m.String(win::HKEY_LOCAL_MACHINE, key, u"Printer Driver");
  p.port = m.String(win::HKEY_LOCAL_MACHINE, key, u"Port");
  p.comment = m.String(win::HKEY_LOCAL_MACHINE, key, u"Description");
  p.location = m.String(win::HKEY_LOCAL_MACHINE, key, u"Location");
  p.attributes = Dword(m, key, u"Attributes");
  p.printProcessor = m.String(win::HKEY_LOCAL_MACHINE, key, u"Print Processor");
  p.status = Dword(m, key, u"Status");
  return p;
}

}  // namespace

std::vector<PrinterRecord> Printers(Machine& m) {
  std::vector<PrinterRecord> printers;
  for (const auto& name : SubkeyNames(m, PrintersKey)) printers.push_back(ReadPrinter(m, PrinterKey(name)));
  return printers;
}

namespace {

constexpr char16_t ConnectionsKey[] = u"Printers\\Connections";

}  // namespace

// A connection's key is its name with each backslash turned into a comma.
std::vector<PrinterRecord> Connections(Machine& m) {
  std::vector<PrinterRecord> connections;
  RegistryKey* key = m.FindKey(win::HKEY_CURRENT_USER, ConnectionsKey);
  if (!key) return connections;
  for (const auto& [upper, sub] : key->subkeys) {
    PrinterRecord p;
    p.name = sub->name;
    for (auto& c : p.name)
      if (c == u',') c = u'\\';
    const std::u16string path = std::u16string(ConnectionsKey) + u"\\" + sub->name;
    p.driver = m.String(win::HKEY_CURRENT_USER, path, u"Printer Driver");
    p.port = m.String(win::HKEY_CURRENT_USER, path, u"Port");
    connections.push_back(p);
  }
  return connections;
}

void AddConnection(Machine& m, std::u16string_view server, std::u16string_view share, std::u16string_view driver) {
  const std::u16string path =
      std::u16string(ConnectionsKey) + u"\\,," + std::u16string(server) + u"," + std::u16string(share);
  m.SetString(win::HKEY_CURRENT_USER, path, u"Printer Driver", driver);
  m.SetString(win::HKEY_CURRENT_USER, path, u"Port", u"\\\\" + std::u16string(server) + u"\\" + std::u16string(share));
}

// The spooler keeps a printer under a key of its name, so that it is found
// by that name alone, as a queue among thousands is on a print server. A
// backslash in a name would lead below a printer's key instead.
bool FindPrinter(Machine& m, std::u16string_view name, PrinterRecord& found) {
  if (name.empty() || name.find(u'\\') != std::u16string_view::npos) return false;
  const std::u16string key = PrinterKey(name);
  if (!m.FindKey(win::HKEY_LOCAL_MACHINE, key)) return false;
  PrinterRecord p = ReadPrinter(m, key);
  if (!SameNoCase(p.name, name)) return false;
  found = std::move(p);
  return true;
}

void WritePrinter(Machine& m, const PrinterRecord& p) {
  const std::u16string key = PrinterKey(p.name);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Name", p.name);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Printer Driver", p.driver);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Port", p.port);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Description", p.comment);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Location", p.location);
  m.SetString(win::HKEY_LOCAL_MACHINE, key, u"Print Processor", p.printProcessor);
  m.SetDword(win::HKEY_LOCAL_MACHINE, key, u"Attributes", p.attributes);
  m.SetDword(win::HKEY_LOCAL_MACHINE, key, u"Status", p.status);
}

bool SpoolerHoldsImage(Machine& m, std::u16string_view fileKey) {
  const Service* spooler = m.FindService(u"Spooler");
  if (!spooler || spooler->state == win::SERVICE_STOPPED) return false;
  for (const auto& monitor : MonitorNames(m)) {
    const std::u16string dll = MonitorDll(m, monitor);
    if (dll.empty() || SameNoCase(monitor, LocalPortMonitor)) continue;
    if (Machine::Key(m.FullPath(MonitorFilePath(m, dll))) == fileKey) return true;
  }
  return false;
}

void SetUpSpooler(Machine& m) {
  RegisterMonitor(m, LocalPortMonitor, u"localspl.dll", {});
  for (const char16_t* port : {u"LPT1:", u"LPT2:", u"LPT3:", u"COM1:", u"COM2:", u"COM3:", u"COM4:",
                               u"FILE:", u"PORTPROMPT:", u"nul:"})
    m.SetString(win::HKEY_LOCAL_MACHINE, LocalPortsKey, port, u"");
}

}  // namespace sim
