// Where the simulated spooler keeps its state: in the registry under the
// Print key and in the driver directory, as Windows does.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace sim {

inline constexpr char16_t PrintKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print";
inline constexpr char16_t MonitorsKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
inline constexpr char16_t PrintersKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr char16_t LocalPortsKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
inline constexpr char16_t LocalPortMonitor[] = u"Local Port";

struct DriverRecord {
  std::u16string name;
  std::u16string environment;
  DWORD version = 3;
  std::u16string driverFile, dataFile, configFile, helpFile;  // bare names
  bool helpFileGiven = true;  // false: registered with no help file at all (null)
  std::u16string manufacturer, provider, oemUrl;
};

struct PrinterRecord {
  std::u16string name;
  std::u16string driver;
  std::u16string port;
  std::u16string comment;
  std::u16string location;
  DWORD attributes = 0;
  std::u16string printProcessor = u"winprint";
  DWORD status = 0;  // PRINTER_STATUS_PENDING_DELETION while jobs keep it
};

// The folder of an environment below the driver directory ("x64"), or empty.
std::u16string EnvironmentFolder(std::u16string_view environment);
// "...\spool\drivers\x64\3" for a driver of that environment and version.
std::u16string DriverVersionDir(Machine& m, std::u16string_view environment, DWORD version);

// Monitors.
std::vector<std::u16string> MonitorNames(Machine& m);
bool MonitorRegistered(Machine& m, std::u16string_view name);
std::u16string MonitorDll(Machine& m, std::u16string_view name);
// The monitor's file as the spooler loads it: a bare name from the system
// directory, a path as it stands.
std::u16string MonitorFilePath(Machine& m, std::u16string_view dll);
void RegisterMonitor(Machine& m, std::u16string_view name, std::u16string_view dll,
                     const std::vector<std::u16string>& ports);
std::vector<std::u16string> MonitorPorts(Machine& m, std::u16string_view name);
bool PortExists(Machine& m, std::u16string_view port);

// Drivers.
std::vector<DriverRecord> Drivers(Machine& m, std::u16string_view environment);
bool FindDriver(Machine& m, std::u16string_view environment, std::u16string_view name,
                DriverRecord& found);
void RegisterDriver(Machine& m, const DriverRecord& driver);
void RemoveDriver(Machine& m, std::u16string_view environment, std::u16string_view name);

// Printers.
std::vector<PrinterRecord> Printers(Machine& m);
// Printers of other machines the user is connected to ("\\server\share"),
// kept for the user as Windows keeps them; listed, never opened here.
std::vector<PrinterRecord> Connections(Machine& m);
void AddConnection(Machine& m, std::u16string_view server, std::u16string_view share, std::u16string_view driver);
bool FindPrinter(Machine& m, std::u16string_view name, PrinterRecord& found);
void WritePrinter(Machine& m, const PrinterRecord& printer);
// Removes the printer with its data and jobs; a default printer leaves none.
void RemovePrinter(Machine& m, std::u16string_view name);
std::u16string PrinterKey(std::u16string_view name);

// Printer data: plain values (key empty) and values under a named key.
std::u16string PrinterDataKey(std::u16string_view printer, std::u16string_view key);

// Jobs wait as spool files in the spooler's PRINTERS folder.
void AddJob(Machine& m, std::u16string_view printer);
int JobCount(Machine& m, std::u16string_view printer);
void PurgeJobs(Machine& m, std::u16string_view printer);

// The default printer, where Windows keeps it for the user; empty for none.
std::u16string DefaultPrinter(Machine& m);
void SetDefaultPrinter(Machine& m, std::u16string_view name);

// Whether the running spooler has the file loaded (a registered monitor's
// DLL), so that it can be neither replaced nor deleted.
bool SpoolerHoldsImage(Machine& m, std::u16string_view fileKey);

// A fresh spooler: the local port monitor with its usual ports.
void SetUpSpooler(Machine& m);

}  // namespace sim
