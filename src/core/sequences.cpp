#include "core/sequences.h"

#include "core/log.h"
#include "core/log_dialog.h"
#include "core/not_yet_built.h"
#include "monitor/port_monitor_install.h"
#include "monitor/printer_driver.h"
#include "spooler/pending_file_operations.h"
#include "spooler/spooler_service.h"

void ReInstall(InstallState& state) {
  LogLine(state, u"#ReInstall");
  state.Indent += 2;
  state.CheckMonitorVersion = 1;
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
  DeletePendingNow();
  if (state.InstallMonitor) InstallPortMonitor(state);
  InstallPrinterDriver(state);
  RestorePrinters(state);
  InstallTray(state);
  RetryUndeletable(state);
  state.Indent -= 2;
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

bool RunUninstall(win::HWND parent, int& scheduled) {
  InstallState state;
  CreateInstallState(state, ModeX64);
  CompleteUnInstall(state);
  scheduled = ScheduleUndeletableFiles(state);
  ShowLogIfNeeded(state, parent);
  const bool errors = state.ErrorCount != 0;
  ReleaseInstallState(state);
  return errors;
}
