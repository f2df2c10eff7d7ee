#include "commands/machine_check.h"

#include <cstdarg>
#include <initializer_list>

#include "commands/log_file.h"
#include "commands/start_of_run.h"
#include "driver/printer_driver.h"
#include "monitor/parked_printers.h"
#include "monitor/port_monitor_install.h"
#include "monitor/port_monitor_removal.h"
#include "printers/printer_journal.h"
#include "printers/printer_queues.h"
#include "printers/printer_settings.h"
#include "run/log.h"
#include "spooler/companion_files.h"
#include "spooler/pending_file_operations.h"
#include "spooler/spooler_service.h"
#include "tray/tray_companion.h"
#include "util/text_compare.h"
#include "util/utf16_format.h"

namespace {

// What clears a finding: a reinstall, or the restart the system waits for.
enum class Remedy { Install, Restart };

// Every finding a report can carry, by the name scripts test for. The
// names are part of the tool's contract: they never change.
enum Finding : int {
  SpoolerMissing,
  SpoolerNotRunning,
  NotInstalled,
  MonitorMissing,
  MonitorFileOther,
  MonitorFileMissing,
  MonitorBuildOther,
  DriverMissing,
  DriverFileMissing,
  DriverBuildOther,
  NoProductPrinter,
  PrinterOffPort,
  SettingsKeyMissing,
  PrinterInJournal,
  PrinterParked,
  RestartPending,
  RunValueMissing,
  RunValueFileMissing,
  CompanionMissing,
  PackageFileMissing,
};

struct FindingKind {
  const char16_t* name;
  Remedy remedy;
};

constexpr FindingKind Findings[] = {
    {u"SpoolerMissing", Remedy::Install},     {u"SpoolerNotRunning", Remedy::Install},
    {u"NotInstalled", Remedy::Install},       {u"MonitorMissing", Remedy::Install},
    {u"MonitorFileOther", Remedy::Install},   {u"MonitorFileMissing", Remedy::Install},
    {u"MonitorBuildOther", Remedy::Install},  {u"DriverMissing", Remedy::Install},
    {u"DriverFileMissing", Remedy::Install},  {u"DriverBuildOther", Remedy::Install},
    {u"NoProductPrinter", Remedy::Install},   {u"PrinterOffPort", Remedy::Install},
    {u"SettingsKeyMissing", Remedy::Install}, {u"PrinterInJournal", Remedy::Install},
    {u"PrinterParked", Remedy::Install},      {u"RestartPending", Remedy::Restart},
    {u"RunValueMissing", Remedy::Install},    {u"RunValueFileMissing", Remedy::Install},
    {u"CompanionMissing", Remedy::Install},   {u"PackageFileMissing", Remedy::Install},
};

struct Report {
  WideString findings;
  WideString info;  // what is no fault, after the findings
  int repairs;
  int restarts;
};

void AddLine(WideString& out, const char16_t* name, const char16_t* format, va_list args) {
  char16_t line[LogLineCapacity];
  FormatUtf16V(line, LogLineCapacity, format, args);
  Append(out, name);
  Append(out, u": ");
  Append(out, line);
  Append(out, u"\r\n");
}

void Find(Report& report, Finding finding, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  AddLine(report.findings, Findings[finding].name, format, args);
  va_end(args);
  ++(Findings[finding].remedy == Remedy::Restart ? report.restarts : report.repairs);
}

void Note(Report& report, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  AddLine(report.info, u"Info", format, args);
  va_end(args);
}

bool FileThere(const char16_t* path) { return win::GetFileAttributesW(path) != win::INVALID_FILE_ATTRIBUTES; }

// The build of the package's own copy of a file, beside the tool.
std::int32_t PackageBuild(const InstallState& state, const char16_t* fileName) {
  WideString path = Copy(state.ModuleDir);
  Append(path, fileName);
  const std::int32_t build = GetFileBuildNumber(Text(path));
  Release(path);
  return build;
}

// A monitor that a reinstall would keep in place counts as the package's.
void CheckMonitorFile(const InstallState& state, Report& report) {
  WideString path = Copy(state.SystemDir);
  Append(path, state.MonitorFile);
  if (!FileThere(Text(path))) {
    Find(report, MonitorFileMissing, u"the monitor's file %s is missing", Text(path));
  } else {
    const std::int32_t build = GetFileBuildNumber(Text(path));
    if (build < OldestCompatibleMonitorBuild || build > BuildNumber)
      Find(report, MonitorBuildOther, u"the monitor's file is build %d; install puts the package's build %d in its place",
           static_cast<int>(build), static_cast<int>(PackageBuild(state, state.MonitorFile)));
    else
      Note(report, u"monitor build %d", static_cast<int>(build));
  }
  Release(path);
}

// True when the monitor is registered.
bool CheckMonitor(InstallState& state, Report& report) {
  MonitorList monitors = ListPortMonitors(state);
  const std::int32_t index = FindPortMonitor(monitors);
  if (index >= 0) {
    const char16_t* dll = reinterpret_cast<win::MONITOR_INFO_2W*>(monitors.entries)[index].pDLLName;
    if (!SameTextIgnoringAsciiCase(dll, state.MonitorFile))
      Find(report, MonitorFileOther, u"the port monitor \"Corvane:\" is registered with '%s', not '%s'",
           dll ? dll : u"", state.MonitorFile);
    else
      CheckMonitorFile(state, report);
  }
  win::GlobalFree(monitors.entries);
  return index >= 0;
}

// True when the driver is registered.
bool CheckDriver(InstallState& state, Report& report) {
  DriverList drivers = ListPrinterDrivers(state.Environment);
  const std::int32_t index = FindPrinterDriver(drivers);
  if (index >= 0) {
    const win::DRIVER_INFO_6W& driver = reinterpret_cast<win::DRIVER_INFO_6W*>(drivers.entries)[index];
    bool whole = true;
    for (const char16_t* file : {driver.pDriverPath, driver.pConfigFile, driver.pDataFile, driver.pHelpFile})
      if (file && *file && !FileThere(file)) {
        Find(report, DriverFileMissing, u"the driver's file %s is missing", file);
        whole = false;
      }
    const std::int32_t build = driver.pDriverPath ? GetFileBuildNumber(driver.pDriverPath) : -1;
    const std::int32_t packaged = PackageBuild(state, state.DriverFile);
    if (whole && packaged >= 0 && build != packaged)
      Find(report, DriverBuildOther, u"the driver's file is build %d, the package's build %d",
           static_cast<int>(build), static_cast<int>(packaged));
    else if (whole)
      Note(report, u"driver build %d", static_cast<int>(build));
  }
  win::GlobalFree(drivers.entries);
  return index >= 0;
}

// The product's printers of this machine; gives how many there are.
int CheckPrinters(const InstallState& state, Report& report) {
  // The settings keys are a user's: SYSTEM's own say nothing of them.
  const bool judgeKeys = !MayRunAsSystem();
  int count = 0;
  for (win::DWORD i = 0; i < state.Printers.count; ++i) {
    const win::PRINTER_INFO_2W& printer = state.Printers.entries[i];
    if (!IsOwnPrinter(printer)) continue;
    ++count;
    if (!SameText(printer.pPortName, ProductPortName))
      Find(report, PrinterOffPort, u"printer '%s' is on port '%s', not \"Corvane:\"", printer.pPrinterName,
           printer.pPortName ? printer.pPortName : u"");
    win::HANDLE handle = nullptr;
    if (!judgeKeys || !win::OpenPrinterW(printer.pPrinterName, &handle, nullptr)) continue;
    char key[SettingsKeyCapacity] = {};
    if (ReadSettingsKeyNameStatus(handle, key) == win::ERROR_SUCCESS && key[0] && !SettingsKeyExists(key))
      Find(report, SettingsKeyMissing, u"printer '%s' names the settings key '%hs', which is not there",
           printer.pPrinterName, key);
    win::ClosePrinter(handle);
  }
  if (!judgeKeys) Note(report, u"run as SYSTEM: the users' settings keys were not looked at");
  return count;
}

void JournalFinding(void* report, const char16_t* name) {
  Find(*static_cast<Report*>(report), PrinterInJournal, u"printer '%s' waits in the journal to be brought back", name);
}

void ParkedFinding(void* report, const char16_t* name) {
  Find(*static_cast<Report*>(report), PrinterParked, u"printer '%s' waits on \"file:\" to be moved back", name);
}

// The path a pending operation's entry names; a target may begin with "!"
// (replace what is there).
const char16_t* OperationPath(const char16_t* entry) { return PendingPath(*entry == u'!' ? entry + 1 : entry); }

// Pending operations that name a file of the product: the monitor's, the
// driver's or the companion's.
void CheckPendingOperations(const InstallState& state, Report& report) {
  PathNode* files = nullptr;
  AddInstalledDriverFiles(state, files);
  WideString monitor = Copy(state.SystemDir);
  Append(monitor, state.MonitorFile);
  WideString tray = TrayProgramPath(state);
  PendingRenameTable table = ReadPendingRenames();
  for (std::int32_t k = 0; k < 2 * table.pairCount; ++k) {
    const char16_t* entry = table.entries[k];
    if (!entry || !*entry) continue;
    const char16_t* path = OperationPath(entry);
    bool product = SameTextIgnoringAsciiCase(path, Text(monitor)) || SameTextIgnoringAsciiCase(path, Text(tray));
    for (const PathNode* file = files; file && !product; file = file->next)
      product = SameTextIgnoringAsciiCase(path, file->text);
    if (product) Find(report, RestartPending, u"%s waits for a restart", path);
  }
  ReleasePendingRenames(table);
  Release(tray);
  Release(monitor);
  FreeAll(files);
}

// True when the Run value is there.
bool CheckCompanion(const InstallState& state, Report& report) {
  WideString tray = TrayProgramPath(state);
  if (!FileThere(Text(tray))) Find(report, CompanionMissing, u"the companion's file %s is missing", Text(tray));
  Release(tray);
  char16_t program[RunValueCapacity];
  const long read = ReadRegisteredTray(program);
  if (read == win::ERROR_SUCCESS && !FileThere(program))
    Find(report, RunValueFileMissing, u"the Run value \"CorvaneTray\" names %s, which is not there", program);
  return read != win::ERROR_FILE_NOT_FOUND;
}

void CheckPackageFiles(const InstallState& state, Report& report) {
  for (const char16_t* file : {state.MonitorFile, state.DriverFile, state.UiFile, state.HelpFile}) {
    WideString path = Copy(state.ModuleDir);
    Append(path, file);
    if (!FileThere(Text(path))) Find(report, PackageFileMissing, u"the package file %s is missing", Text(path));
    Release(path);
  }
}

// The parts of the product the spooler keeps, and whether it is there at all.
void CheckSpoolerObjects(InstallState& state, Report& report) {
  const bool monitor = CheckMonitor(state, report);
  const bool driver = CheckDriver(state, report);
  const int printers = CheckPrinters(state, report);
  const bool companion = CheckCompanion(state, report);
  if (!monitor && !driver && !printers && !companion) {
    Find(report, NotInstalled, u"the product is not on this machine");
    return;
  }
  if (!monitor) Find(report, MonitorMissing, u"the port monitor \"Corvane:\" is not registered");
  if (!driver) Find(report, DriverMissing, u"the driver \"Corvane printer\" (%s) is not registered", state.Environment);
  if (!printers) Find(report, NoProductPrinter, u"no printer of this machine uses the driver \"Corvane printer\"");
  if (!companion && InstallsTray(state))
    Find(report, RunValueMissing, u"the companion's Run value \"CorvaneTray\" is missing");
  Note(report, u"%d product printers", printers);
}

void CheckMachine(InstallState& state, Report& report) {
  const long spooler = QuerySpoolerState();
  if (spooler == win::SERVICE_RUNNING) {
    CheckSpoolerObjects(state, report);
  } else {
    if (spooler == 0)
      Find(report, SpoolerMissing, u"the print spooler service is not installed");
    else
      Find(report, SpoolerNotRunning, u"the print spooler is not running (state %d)", static_cast<int>(spooler));
    CheckCompanion(state, report);
    Note(report, u"the spooler's monitors, drivers and printers were not read");
  }
  if (FindUnfinishedRun(state) > 0) ForEachJournalledPrinter(state, JournalFinding, &report);
  ForEachParkedPrinter(ParkedFinding, &report);
  CheckPendingOperations(state, report);
  CheckPackageFiles(state, report);
  for (win::DWORD i = 0; i < state.Printers.count; ++i)
    if (state.Printers.entries[i].Attributes & win::PRINTER_ATTRIBUTE_DEFAULT)
      Note(report, u"default printer '%s'", state.Printers.entries[i].pPrinterName);
}

// UTF-8 out to the standard output, when the process has one.
void WriteStandardOutput(const WideString& text) {
  win::HANDLE out = win::GetStdHandle(win::STD_OUTPUT_HANDLE);
  if (out && out != win::INVALID_HANDLE_VALUE) WriteText(out, text);
}

}  // namespace

CheckOutcome RunCheck(const LogOutput& output) {
  InstallState state;
  ResetInstallState(state, ModeX64);
  FindPlaces(state, ModeX64);
  Report report{};
  CheckMachine(state, report);
  WideString text = Copy(report.findings);
  if (!Length(text)) Assign(text, u"Healthy: the product is whole on this machine\r\n");
  Append(text, Text(report.info));
  WriteStandardOutput(text);
  if (output.File != win::INVALID_HANDLE_VALUE) {
    char16_t title[LogLineCapacity];
    FormatUtf16(title, LogLineCapacity, u"Corvane build %d- Check report.", BuildNumber);
    WriteLogFile(output.File, title, text);
  }
  Release(text);
  Release(report.findings);
  Release(report.info);
  const CheckOutcome outcome = report.restarts  ? CheckOutcome::RestartFirst
                               : report.repairs ? CheckOutcome::InstallRepairs
                                                : CheckOutcome::Healthy;
  ReleaseInstallState(state);
  return outcome;
}
