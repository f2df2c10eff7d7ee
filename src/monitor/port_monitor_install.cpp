#include "monitor/port_monitor_install.h"

#include "run/log.h"
#include "monitor/printer_ports.h"
#include "spooler/file_deployment.h"
#include "spooler/spooler_records.h"
#include "spooler/spooler_service.h"
#include "util/text_compare.h"

namespace {

constexpr int RegistrationAttempts = 5;
constexpr win::DWORD RegistrationRetryMs = 50;

// Logs an enumeration failure with the system's text as it comes, line
// break included.
void LogEnumFailure(InstallState& state, const char16_t* format, win::DWORD code) {
  char16_t* text = SystemMessage(code);
  LogFormat(state, format, text ? text : u"No Error or no description");
  win::LocalFree(text);
}

void CopyMonitorFile(InstallState& state) {
  if (!state.CopyMonitor) {
    LogLine(state, u"Skip copy monitor file");
    return;
  }
  LogLine(state, u"Copy monitor file");
  if (CopyPackageFile(state, Text(state.SystemDir), state.MonitorFile, nullptr, false) == 0) return;
  // The spooler may hold the old file open: stop it and copy once more.
  SpoolerRestart restart;
  BeginSpoolerRestart(restart, &state);
  if (CopyPackageFile(state, Text(state.SystemDir), state.MonitorFile, nullptr, true) != 0)
    LogLine(state, u"Can't copy monitor file");
  EndSpoolerRestart(restart);
}

bool RegisterMonitor(InstallState& state) {
  win::MONITOR_INFO_2W monitor{const_cast<char16_t*>(MonitorName),
                               const_cast<char16_t*>(state.Environment),
                               const_cast<char16_t*>(state.MonitorFile)};
  for (int attempt = 1; attempt <= RegistrationAttempts; ++attempt) {
    if (attempt > 1) win::Sleep(RegistrationRetryMs);
    if (win::AddMonitorW(nullptr, 2, reinterpret_cast<win::BYTE*>(&monitor))) return true;
    LogLine(state, u"AddMonitor - failed. Trying to wait and install again");
  }
  return false;
}

void MovePrintersBack(InstallState& state) {
  if (!state.MovedPrinters) return;
  for (win::PRINTER_INFO_2W** moved = state.MovedPrinters; *moved; ++moved) {
    if (!SwitchPort(state, **moved, u"file:", MonitorName)) continue;
    // The record keeps telling where the printer is, for the journal.
    if (!WritePrinterPort(state, **moved)) SwitchPort(state, **moved, MonitorName, u"file:");
  }
}

}  // namespace

MonitorList ListPortMonitors(InstallState& state) {
  MonitorList list{nullptr, 2, 0};
  const FetchedRecords fetched =
      FetchRecords([](win::BYTE* buffer, win::DWORD size, win::DWORD* needed, win::DWORD* returned) {
        return win::EnumMonitorsW(nullptr, 2, buffer, size, needed, returned);
      }, MonitorInfo2Layout);
  switch (fetched.outcome) {
    case FetchOutcome::NothingToList:
      LogLine(state, u"1. EnumMonitors returns true");
      break;
    case FetchOutcome::QueryFailed:
      LogEnumFailure(state, u"2. EnumMonitors  failed with code: %s", fetched.error);
      break;
    case FetchOutcome::NoMemory:
      LogLine(state, u"3. EnumMonitors - can't allocate memory for buffer");
      break;
    case FetchOutcome::FetchFailed:
      LogEnumFailure(state, u"3. EnumMonitors  failed with code: %s", fetched.error);
      break;
    case FetchOutcome::Fetched:
      list.entries = fetched.block;
      list.count = fetched.count;
      break;
  }
  return list;
}

std::int32_t FindPortMonitor(const MonitorList& list) {
  if (!list.entries) return -1;
  for (win::DWORD i = 0; i < list.count; ++i) {
    const char16_t* name = nullptr;
    if (list.level == 1)
      name = reinterpret_cast<const win::MONITOR_INFO_1W*>(list.entries)[i].pName;
    else if (list.level == 2)
      name = reinterpret_cast<const win::MONITOR_INFO_2W*>(list.entries)[i].pName;
    if (SameText(name, MonitorName)) return static_cast<std::int32_t>(i);
  }
  return -1;
}

void LogPortMonitors(InstallState& state, const MonitorList& list) {
  LogFormat(state, u"------- %d existing monitors ----------", static_cast<int>(list.count));
  const auto* records = reinterpret_cast<const win::MONITOR_INFO_2W*>(list.entries);
  for (win::DWORD i = 0; records && i < list.count; ++i)
    LogFormat(state, u"%d. %s", static_cast<int>(i + 1),
              records[i].pName ? records[i].pName : u"***EMPTY***");
  LogLine(state, u"---------------------------------------");
}

void InstallPortMonitor(InstallState& state) {
  LogLine(state, u"#AddMonitor");
  ++state.Indent;
  CopyMonitorFile(state);
  if (!RegisterMonitor(state)) {
    LogError(state, ErrInstallMonitor, u"Can`t install a local port monitor'Corvane:'");
    --state.Indent;
    return;
  }
  LogLine(state, u"AddMonitor - OK :)");
  MovePrintersBack(state);
  --state.Indent;
}
