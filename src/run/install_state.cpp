#include "run/install_state.h"

void ResetInstallState(InstallState& state, unsigned mode) {
  state = InstallState{};
  state.CheckMonitorVersion = 0;
  state.InstallMonitor = 1;
  state.StartTray = 1;
  state.CopyMonitor = 1;
  if (mode & ModeNoTray) state.StartTray = 0;
}

void ReleaseSavedPrinters(SavedPrinter* head) {
  while (head) {
    SavedPrinter* next = head->next;
    win::GlobalFree(head->keyName);
    win::GlobalFree(head);
    head = next;
  }
}

void ReleaseInstallState(InstallState& state) {
  win::GlobalFree(state.MovedPrinters);
  state.MovedPrinters = nullptr;
  ReleasePrinterList(state.Printers);
  ReleaseSavedPrinters(state.SavedSettings);
  state.SavedSettings = nullptr;
  FreeAll(state.SwitchedPorts);
  state.SwitchedPorts = nullptr;
  FreeAll(state.Undeletable);
  state.Undeletable = nullptr;
  Release(state.PrinterJournal);
  Release(state.TrayToKeep);
  Release(state.DriverDir);
  Release(state.Log);
  Release(state.SystemDir);
  Release(state.ModuleDir);
}
