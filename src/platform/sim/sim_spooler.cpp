// The print spooler of the simulated machine. It answers only while its
// service runs, as the real spooler's RPC interface does, and refuses what
// Windows refuses with Windows' error codes.
#include <cstring>
#include <memory>

#include "platform/sim/machine.h"
#include "platform/sim/print_store.h"
#include "platform/sim/spooler_calls.h"

namespace {

using namespace win;
using sim::BaseName;
using sim::EnvironmentOf;
using sim::HandleKind;
using sim::HandleObject;
using sim::RecordPacker;
using sim::Refuse;
using sim::Given;
using sim::Number;
using sim::Text;

// Windows x64 runs no kernel-mode (version 2) printer drivers.
constexpr DWORD ERROR_KM_DRIVER_BLOCKED = 1930;

// The members of a driver record that its level has, as passed.
sim::CallArguments DriverArguments(DWORD level, const DRIVER_INFO_6W* info) {
  if (!info || level < 2 || level > 6 || level == 5) return {};
  sim::CallArguments args = {{"cVersion", Number(info->cVersion)},     {"pName", Given(info->pName)},
                             {"pEnvironment", Given(info->pEnvironment)}, {"pDriverPath", Given(info->pDriverPath)},
                             {"pDataFile", Given(info->pDataFile)},    {"pConfigFile", Given(info->pConfigFile)}};
  if (level == 2) return args;
  args["pHelpFile"] = Given(info->pHelpFile);
  args["pDependentFiles"] = Given(info->pDependentFiles);
  args["pMonitorName"] = Given(info->pMonitorName);
  args["pDefaultDataType"] = Given(info->pDefaultDataType);
  if (level == 3) return args;
  args["pszzPreviousNames"] = Given(info->pszzPreviousNames);
  if (level == 4) return args;
  args["ftDriverDate"] =
      Number(info->ftDriverDate.dwLowDateTime | std::uint64_t{info->ftDriverDate.dwHighDateTime} << 32);
  args["dwlDriverVersion"] = Number(info->dwlDriverVersion);
  args["pszMfgName"] = Given(info->pszMfgName);
  args["pszOEMUrl"] = Given(info->pszOEMUrl);
  args["pszHardwareID"] = Given(info->pszHardwareID);
  args["pszProvider"] = Given(info->pszProvider);
  return args;
}

// Driver records of the levels the spooler serves; strings measured, then
// written when `write` is set.
struct DriverStrings {
  std::u16string name, environment, driver, data, config, help, manufacturer, provider, oemUrl;
};

DriverStrings StringsOf(sim::Machine& m, const sim::DriverRecord& d) {
  const std::u16string dir = sim::DriverVersionDir(m, d.environment, d.version) + u"\\";
  auto full = [&](const std::u16string& file) { return file.empty() ? file : dir + file; };
  return {d.name,          d.environment,    full(d.driverFile), full(d.dataFile), full(d.configFile),
          full(d.helpFile), d.manufacturer, d.provider,         d.oemUrl};
}

std::size_t DriverRecordBytes(DWORD level) {
  switch (level) {
    case 1: return sizeof(DRIVER_INFO_1W);
    case 2: return sizeof(DRIVER_INFO_2W);
    case 3: return sizeof(DRIVER_INFO_3W);
    case 4: return sizeof(DRIVER_INFO_4W);
    case 5: return sizeof(DRIVER_INFO_5W);
    case 6: return sizeof(DRIVER_INFO_6W);
    default: return 0;
  }
}

void MeasureDriver(RecordPacker& packer, DWORD level, const DriverStrings& s) {
  packer.Measure(s.name);
  if (level == 1) return;
  for (const auto* t : {&s.environment, &s.driver, &s.data, &s.config}) packer.Measure(*t);
  if (level == 5 || level == 2) return;
  packer.Measure(s.help);
  if (level == 6)
    for (const auto* t : {&s.manufacturer, &s.provider, &s.oemUrl}) packer.Measure(*t);
}

void WriteDriver(RecordPacker& packer, BYTE* at, DWORD level, DWORD version, const DriverStrings& s) {
  if (level == 1) {
    reinterpret_cast<DRIVER_INFO_1W*>(at)->pName = packer.Put(s.name);
    return;
  }
  if (level == 5) {
    auto* r = reinterpret_cast<DRIVER_INFO_5W*>(at);
    *r = {};
    r->cVersion = version;
    r->pName = packer.Put(s.name);
    r->pEnvironment = packer.Put(s.environment);
    r->pDriverPath = packer.Put(s.driver);
    r->pDataFile = packer.Put(s.data);
    r->pConfigFile = packer.Put(s.config);
    return;
  }
  // Levels 2, 3, 4 and 6 share their leading members.
  DRIVER_INFO_6W r{};
  r.cVersion = version;
  r.pName = packer.Put(s.name);
  r.pEnvironment = packer.Put(s.environment);
  r.pDriverPath = packer.Put(s.driver);
  r.pDataFile = packer.Put(s.data);
  r.pConfigFile = packer.Put(s.config);
  if (level != 2) r.pHelpFile = packer.Put(s.help);
  if (level == 6) {
    r.pszMfgName = packer.Put(s.manufacturer);
    r.pszProvider = packer.Put(s.provider);
    r.pszOEMUrl = packer.Put(s.oemUrl);
  }
  std::memcpy(at, &r, DriverRecordBytes(level));
}

bool PrinterUsesPortOf(sim::Machine& m, std::u16string_view monitor) {
  const auto ports = sim::MonitorPorts(m, monitor);
  for (const auto& printer : sim::Printers(m))
    for (const auto& port : ports)
      if (sim::ToUpperAscii(printer.port) == sim::ToUpperAscii(port)) return true;
  return false;
}

}  // namespace

namespace win {

BOOL GetPrinterDriverDirectoryW(char16_t* name, char16_t* environment, DWORD level,
                                BYTE* driverDirectory, DWORD bufSize, DWORD* needed) {
  auto& m = sim::Current();
  if (!sim::EnterSpooler(m, "GetPrinterDriverDirectoryW", Text(environment))) return FALSE;
  if (name && *name) return Refuse(m, ERROR_INVALID_NAME);
  if (level != 1) return Refuse(m, ERROR_INVALID_LEVEL);
  const std::u16string folder = sim::EnvironmentFolder(EnvironmentOf(environment));
  if (folder.empty()) return Refuse(m, ERROR_INVALID_ENVIRONMENT);
  const std::u16string directory = m.driverRoot + u"\\" + folder;
  const DWORD bytes = static_cast<DWORD>((directory.size() + 1) * sizeof(char16_t));
  if (needed) *needed = bytes;
  if (!driverDirectory || bufSize < bytes) return Refuse(m, ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(driverDirectory, directory.c_str(), bytes);
  return TRUE;
}

BOOL EnumMonitorsW(char16_t*, DWORD level, BYTE* monitors, DWORD bufSize, DWORD* needed,
                   DWORD* returned) {
  auto& m = sim::Current();
  if (returned) *returned = 0;
  if (!sim::EnterSpooler(m, "EnumMonitorsW", u"", {{"level", Number(level)}})) return FALSE;
  if (level != 1 && level != 2) return Refuse(m, ERROR_INVALID_LEVEL);
  struct Entry {
    std::u16string name, dll;
  };
  std::vector<Entry> entries;
  for (const auto& name : sim::MonitorNames(m)) entries.push_back({name, sim::MonitorDll(m, name)});
  const std::size_t recordBytes = level == 1 ? sizeof(MONITOR_INFO_1W) : sizeof(MONITOR_INFO_2W);
  RecordPacker packer(monitors, bufSize, recordBytes, entries.size());
  for (const auto& e : entries) {
    packer.Measure(e.name);
    if (level == 2) {
      packer.Measure(u"Windows x64");
      packer.Measure(e.dll);
    }
  }
  if (!sim::ReturnPacked(m, packer, needed)) return FALSE;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    BYTE* at = packer.Record(i, recordBytes);
    if (level == 1) {
      reinterpret_cast<MONITOR_INFO_1W*>(at)->pName = packer.Put(entries[i].name);
    } else {
      auto* r = reinterpret_cast<MONITOR_INFO_2W*>(at);
      r->pName = packer.Put(entries[i].name);
      r->pEnvironment = packer.Put(u"Windows x64");
      r->pDLLName = packer.Put(entries[i].dll);
    }
  }
  if (returned) *returned = static_cast<DWORD>(entries.size());
  return TRUE;
}

// Level 2 only, as the program's callers ask: each port with its monitor.
BOOL EnumPortsW(char16_t*, DWORD level, BYTE* ports, DWORD bufSize, DWORD* needed, DWORD* returned) {
  auto& m = sim::Current();
  if (returned) *returned = 0;
  if (!sim::EnterSpooler(m, "EnumPortsW", u"", {{"level", Number(level)}})) return FALSE;
  if (level != 2) return Refuse(m, ERROR_INVALID_LEVEL);
  std::vector<std::pair<std::u16string, std::u16string>> entries;
  for (const auto& monitor : sim::MonitorNames(m))
    for (const auto& port : sim::MonitorPorts(m, monitor)) entries.push_back({port, monitor});
  RecordPacker packer(ports, bufSize, sizeof(PORT_INFO_2W), entries.size());
  for (const auto& [port, monitor] : entries) {
    packer.Measure(port);
    packer.Measure(monitor);
    packer.Measure(u"");
  }
  if (!sim::ReturnPacked(m, packer, needed)) return FALSE;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    auto* r = reinterpret_cast<PORT_INFO_2W*>(packer.Record(i, sizeof(PORT_INFO_2W)));
    r->pPortName = packer.Put(entries[i].first);
    r->pMonitorName = packer.Put(entries[i].second);
    r->pDescription = packer.Put(u"");
    r->fPortType = 0x1 | 0x2;  // PORT_TYPE_WRITE | PORT_TYPE_READ
    r->Reserved = 0;
  }
  if (returned) *returned = static_cast<DWORD>(entries.size());
  return TRUE;
}

BOOL AddMonitorW(char16_t* name, DWORD level, BYTE* monitors) {
  auto& m = sim::Current();
  const auto* info = reinterpret_cast<const MONITOR_INFO_2W*>(monitors);
  sim::CallArguments args = {{"server", Given(name)}, {"level", Number(level)}};
  if (info && level == 2) {
    args["pName"] = Given(info->pName);
    args["pEnvironment"] = Given(info->pEnvironment);
    args["pDLLName"] = Given(info->pDLLName);
  }
  if (!sim::EnterSpooler(m, "AddMonitorW", info ? Text(info->pName) : u"", std::move(args))) return FALSE;
  if (name && *name) return Refuse(m, ERROR_INVALID_NAME);
  if (level != 2) return Refuse(m, ERROR_INVALID_LEVEL);
  if (!info || !info->pName || !*info->pName || !info->pDLLName || !*info->pDLLName)
    return Refuse(m, ERROR_INVALID_PARAMETER);
  if (info->pEnvironment && sim::ToUpperAscii(info->pEnvironment) != u"WINDOWS X64")
    return Refuse(m, ERROR_INVALID_ENVIRONMENT);
  if (sim::MonitorRegistered(m, info->pName)) return Refuse(m, ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
  const sim::FileNode* dll = m.FindFile(sim::MonitorFilePath(m, info->pDLLName));
  if (!dll || dll->directory) return Refuse(m, ERROR_MOD_NOT_FOUND);
  // The spooler loads the DLL, which a holder that does not share reading
  // prevents: the loader's error comes back.
  if (sim::SharingViolation(m, sim::Machine::Key(dll->path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE))
    return Refuse(m, ERROR_SHARING_VIOLATION);
  // The product's monitor provides one port named like itself; its file is
  // kept under the name it was given.
  sim::RegisterMonitor(m, info->pName, info->pDLLName, {info->pName});
  return TRUE;
}

BOOL DeleteMonitorW(char16_t* name, char16_t* environment, char16_t* monitorName) {
  auto& m = sim::Current();
  if (!sim::EnterSpooler(m, "DeleteMonitorW", Text(monitorName),
                         {{"server", Given(name)}, {"pEnvironment", Given(environment)},
                          {"pMonitorName", Given(monitorName)}}))
    return FALSE;
  if (name && *name) return Refuse(m, ERROR_INVALID_NAME);
  if (sim::EnvironmentFolder(EnvironmentOf(environment)) != u"x64")
    return Refuse(m, ERROR_INVALID_ENVIRONMENT);
  if (!monitorName || !sim::MonitorRegistered(m, monitorName))
    return Refuse(m, ERROR_UNKNOWN_PRINT_MONITOR);
  if (PrinterUsesPortOf(m, monitorName)) return Refuse(m, ERROR_PRINT_MONITOR_IN_USE);
  m.hklm.Remove(std::u16string(sim::MonitorsKey) + u"\\" + monitorName);
  return TRUE;
}

BOOL EnumPrinterDriversW(char16_t*, char16_t* environment, DWORD level, BYTE* driverInfo,
                         DWORD bufSize, DWORD* needed, DWORD* returned) {
  auto& m = sim::Current();
  if (returned) *returned = 0;
  const std::u16string env = EnvironmentOf(environment);
  if (!sim::EnterSpooler(m, "EnumPrinterDriversW", env,
                         {{"pEnvironment", Given(environment)}, {"level", Number(level)}}))
    return FALSE;
  const std::size_t recordBytes = DriverRecordBytes(level);
  if (!recordBytes) return Refuse(m, ERROR_INVALID_LEVEL);
  if (sim::EnvironmentFolder(env).empty()) return Refuse(m, ERROR_INVALID_ENVIRONMENT);
  const auto drivers = sim::Drivers(m, env);
  std::vector<DriverStrings> strings;
  for (const auto& d : drivers) strings.push_back(StringsOf(m, d));
  RecordPacker packer(driverInfo, bufSize, recordBytes, drivers.size());
  for (const auto& s : strings) MeasureDriver(packer, level, s);
  if (!sim::ReturnPacked(m, packer, needed)) return FALSE;
  for (std::size_t i = 0; i < drivers.size(); ++i)
    WriteDriver(packer, packer.Record(i, recordBytes), level, drivers[i].version, strings[i]);
  if (returned) *returned = static_cast<DWORD>(drivers.size());
  return TRUE;
}

BOOL AddPrinterDriverExW(char16_t* name, DWORD level, BYTE* driverInfo, DWORD fileCopyFlags) {
  auto& m = sim::Current();
  const auto* info = reinterpret_cast<const DRIVER_INFO_6W*>(driverInfo);
  sim::CallArguments args = DriverArguments(level, info);
  args["server"] = Given(name);
  args["level"] = Number(level);
  args["dwFileCopyFlags"] = Number(fileCopyFlags);
  if (!sim::EnterSpooler(m, "AddPrinterDriverExW", info ? Text(info->pName) : u"", std::move(args)))
    return FALSE;
  if (name && *name) return Refuse(m, ERROR_INVALID_NAME);
  if (level < 2 || level > 6 || level == 5) return Refuse(m, ERROR_INVALID_LEVEL);
  if (!info || !info->pName || !*info->pName || !info->pDriverPath || !info->pDataFile ||
      !info->pConfigFile)
    return Refuse(m, ERROR_INVALID_PARAMETER);
  const std::u16string env = EnvironmentOf(info->pEnvironment);
  if (sim::EnvironmentFolder(env).empty()) return Refuse(m, ERROR_INVALID_ENVIRONMENT);
  if (info->cVersion == 2) return Refuse(m, ERROR_KM_DRIVER_BLOCKED);
  if (info->cVersion != 3) return Refuse(m, ERROR_INVALID_PARAMETER);
  std::vector<std::u16string> sources = {info->pDriverPath, info->pDataFile, info->pConfigFile};
  if (level >= 3 && info->pHelpFile && *info->pHelpFile) sources.push_back(info->pHelpFile);
  for (const auto& source : sources) {
    const sim::FileNode* file = m.FindFile(source);
    if (!file || file->directory) return Refuse(m, ERROR_FILE_NOT_FOUND);
  }
  sim::DriverRecord d;
  d.name = info->pName;
  d.environment = env;
  d.version = info->cVersion;
  d.driverFile = BaseName(info->pDriverPath);
  d.dataFile = BaseName(info->pDataFile);
  d.configFile = BaseName(info->pConfigFile);
  d.helpFile = sources.size() > 3 ? BaseName(sources[3]) : u"";
  d.helpFileGiven = level >= 3 && info->pHelpFile;
  if (level == 6) {
    d.manufacturer = Text(info->pszMfgName);
    d.provider = Text(info->pszProvider);
    d.oemUrl = Text(info->pszOEMUrl);
  }
  if (fileCopyFlags & APD_COPY_ALL_FILES) {
    const std::u16string dir = sim::DriverVersionDir(m, env, d.version);
    m.AddDirectory(dir);
    for (const auto& source : sources) {
      auto data = m.FindFile(source)->data;
      m.AddFile(dir + u"\\" + BaseName(source), std::move(data));
    }
  }
  sim::RegisterDriver(m, d);
  return TRUE;
}

BOOL DeletePrinterDriverExW(char16_t* name, char16_t* environment, char16_t* driverName,
                            DWORD deleteFlag, DWORD versionFlag) {
  auto& m = sim::Current();
  if (!sim::EnterSpooler(m, "DeletePrinterDriverExW", Text(driverName),
                         {{"server", Given(name)},
                          {"pEnvironment", Given(environment)},
                          {"pDriverName", Given(driverName)},
                          {"dwDeleteFlag", Number(deleteFlag)},
                          {"dwVersionFlag", Number(versionFlag)}}))
    return FALSE;
  if (name && *name) return Refuse(m, ERROR_INVALID_NAME);
  const std::u16string env = EnvironmentOf(environment);
  if (sim::EnvironmentFolder(env).empty()) return Refuse(m, ERROR_INVALID_ENVIRONMENT);
  sim::DriverRecord d;
  if (!driverName || !sim::FindDriver(m, env, driverName, d)) return Refuse(m, ERROR_UNKNOWN_PRINTER_DRIVER);
  // A connection to another computer's printer uses the driver here too.
  std::vector<sim::PrinterRecord> users = sim::Printers(m);
  for (auto& connection : sim::Connections(m)) users.push_back(std::move(connection));
  for (const auto& printer : users)
    if (sim::ToUpperAscii(printer.driver) == sim::ToUpperAscii(d.name))
      return Refuse(m, ERROR_PRINTER_DRIVER_IN_USE);
  sim::RemoveDriver(m, env, d.name);
  if (deleteFlag & DPD_DELETE_ALL_FILES) {
    const std::u16string dir = sim::DriverVersionDir(m, env, d.version) + u"\\";
    for (const auto& file : {d.driverFile, d.dataFile, d.configFile, d.helpFile})
      if (!file.empty()) m.files.erase(sim::Machine::Key(m.FullPath(dir + file)));
  }
  return TRUE;
}

BOOL GetPrinterDriverW(HANDLE printer, char16_t* environment, DWORD level, BYTE* driverInfo,
                       DWORD bufSize, DWORD* needed) {
  auto& m = sim::Current();
  if (!sim::EnterSpooler(m, "GetPrinterDriverW", Text(environment),
                         {{"pEnvironment", Given(environment)}, {"level", Number(level)}}))
    return FALSE;
  sim::PrinterRecord record;
  if (!sim::PrinterOf(m, printer, record)) return Refuse(m, ERROR_INVALID_HANDLE);
  const std::size_t recordBytes = DriverRecordBytes(level);
  if (!recordBytes) return Refuse(m, ERROR_INVALID_LEVEL);
  sim::DriverRecord d;
  if (!sim::FindDriver(m, EnvironmentOf(environment), record.driver, d))
    return Refuse(m, ERROR_UNKNOWN_PRINTER_DRIVER);
  const DriverStrings strings = StringsOf(m, d);
  RecordPacker packer(driverInfo, bufSize, recordBytes, 1);
  MeasureDriver(packer, level, strings);
  if (!sim::ReturnPacked(m, packer, needed)) return FALSE;
  WriteDriver(packer, packer.Record(0, recordBytes), level, d.version, strings);
  return TRUE;
}

}  // namespace win
