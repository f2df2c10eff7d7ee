#include "commands/sequences.h"

#include "commands/log_output.h"
#include "commands/start_of_run.h"
#include "driver/printer_driver.h"
#include "monitor/port_monitor_install.h"
#include "monitor/parked_printers.h"
#include "monitor/port_monitor_removal.h"
#include "printers/printer_journal.h"
#include "printers/printer_queues.h"
#include "printers/printer_settings.h"
#include "run/log.h"
#include "spooler/pending_file_operations.h"
#include "spooler/spooler_service.h"
#include "tray/tray_companion.h"

namespace {

// The files this reinstall registers, copies or keeps in place: a deletion
// that an earlier run scheduled for the restart would take them away again.
void KeepProductFilesAtRestart(InstallState& state) {
  PathNode* kept = nullptr;
  if (Length(state.SystemDir)) {
    WideString monitor = Copy(state.SystemDir);
    Append(monitor, state.MonitorFile);
    AddUnique(kept, Text(monitor));
    Release(monitor);
  }
  AddInstalledDriverFiles(state, kept);
  CancelPendingDeletions(state, kept);
  FreeAll(kept);
}

}  // namespace

void UnInstall(InstallState& state) {
  LogLine(state, u"#UnInstall");
  ++state.Indent;
  StopTray(Length(state.TrayToKeep) ? Text(state.TrayToKeep) : nullptr);
  LogLine(state, u"EnumMonitors");
  MonitorList monitors = ListPortMonitors(state);
  LogFormat(state, u"%d Monitors found.", static_cast<int>(monitors.count));
  LogFormat(state, u"EnumPrinterDrivers for %s", state.Environment);
  DriverList drivers = ListPrinterDrivers(state.Environment);
  LogFormat(state, u"%d drivers found", static_cast<int>(drivers.count));
  DeleteAllPrinterQueues(state);
  RemovePrinterDriver(state, drivers);
  RemovePortMonitor(state, monitors);
  if (state.Undeletable) DeleteFileTry(state);
  win::GlobalFree(drivers.entries);
  win::GlobalFree(monitors.entries);
  --state.Indent;
}

void ReInstall(InstallState& state) {
  LogLine(state, u"#ReInstall");
  state.Indent += 2;
  state.CheckMonitorVersion = 1;
  state.Reinstalling = 1;
  const int unfinished = FindUnfinishedRun(state);
  // Without the journal, what it holds would be lost with the printers.
  if (unfinished < 0) {
    LogUnreadableJournal(state);
    state.Indent -= 2;
    return;
  }
  if (InstallsTray(state)) {
    WideString tray = TrayProgramPath(state);
    Release(state.TrayToKeep);
    state.TrayToKeep = tray;
  }
  UnInstall(state);
  if (state.Undeletable) {
    SpoolerRestart restart;
    BeginSpoolerRestart(restart, &state);
    DeleteFileTry(state);
    // What still fails is dropped: the install goes on without it.
    FreeAll(state.Undeletable);
    state.Undeletable = nullptr;
    EndSpoolerRestart(restart);
  }
  KeepProductFilesAtRestart(state);
  DeletePendingNow();
  if (state.InstallMonitor) InstallPortMonitor(state);
  PutBackParkedPrinters(state);
  InstallPrinterDriver(state);
  if (unfinished) TakeOverJournal(state);
  RestorePrinters(state);
  SettlePrinterJournal(state);
  InstallTray(state);
  RetryUndeletable(state);
  state.Indent -= 2;
}

void DeletePendingNow() {
  PendingRenameTable table = ReadPendingRenames();
  DeletePendingDeletions(table);
  ReleasePendingRenames(table);
}

void RetryUndeletable(InstallState& state) {
  if (!state.Undeletable) return;
  DeleteFileTry(state);
  if (!state.Undeletable) return;
  SpoolerRestart restart;
  BeginSpoolerRestart(restart, &state);
  DeleteFileTry(state);
  EndSpoolerRestart(restart);
}

void CompleteUnInstall(InstallState& state) {
  UnInstall(state);
  DeletePendingNow();
  RetryUndeletable(state);
}

bool RunUninstall(const LogOutput& output, int& scheduled, bool undoable) {
  InstallState state;
  CreateInstallState(state, ModeX64);
  // Undoable, it journals what it deletes as a reinstall does, so that an
  // install brings it back.
  state.Reinstalling = undoable;
  FindUnfinishedRun(state);  // what it left is not brought back: the printers go
  CompleteUnInstall(state);
  if (!undoable) {
    RemovePrinterJournal();
    RemoveParkedPrinterJournal();
  }
  scheduled = ScheduleUndeletableFiles(state);
  PresentLog(state, output);
  const bool errors = state.ErrorCount != 0;
  ReleaseInstallState(state);
  return errors;
}
