#include "monitor/port_monitor_removal.h"

#include "run/log.h"
#include "monitor/parked_printers.h"
#include "monitor/printer_ports.h"
#include "spooler/spooler_service.h"
#include "util/file_name.h"

namespace {

bool DeleteMonitor(InstallState& state) {
  return win::DeleteMonitorW(nullptr, const_cast<char16_t*>(state.Environment),
                             const_cast<char16_t*>(MonitorName));
}

// Parks every printer of the snapshot that uses the monitor's port on
// "file:", so that the spooler lets the monitor go.
void MovePrintersToFile(InstallState& state) {
  win::GlobalFree(state.MovedPrinters);
  state.MovedPrinters = nullptr;
  if (!state.Printers.entries || state.Printers.count == 0) return;
  state.MovedPrinters = static_cast<win::PRINTER_INFO_2W**>(
      win::GlobalAlloc(win::GPTR, (state.Printers.count + 1) * sizeof(win::PRINTER_INFO_2W*)));
  if (!state.MovedPrinters) return;
  // A reinstall moves them back; until then only the journal knows their port.
  const bool journalled = !state.Reinstalling || JournalParkedPrinters(state);
  const win::DWORD failure = win::GetLastError();
  win::DWORD moved = 0;
  for (win::DWORD i = 0; i < state.Printers.count; ++i) {
    win::PRINTER_INFO_2W& printer = state.Printers.entries[i];
    if (!journalled && OnPort(printer, MonitorName) && !IsProductPrinter(printer)) {
      win::SetLastError(failure);
      LogError(state, ErrWritePrinterJournal, u"Can`t write printer '%s' to the journal", printer.pPrinterName);
      continue;
    }
    if (!SwitchPort(state, printer, MonitorName, u"file:")) continue;
    state.MovedPrinters[moved++] = &printer;
    WritePrinterPort(state, printer);
  }
}

// A name that stays inside the folder it is appended to: no folder parts,
// no drive, and not the folder itself or its parent.
bool IsPlainFileName(const char16_t* name) {
  if (FileNamePart(name) != name) return false;
  const bool dots = name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0));
  return *name && !dots;
}

}  // namespace

std::int32_t GetFileBuildNumber(const char16_t* path) {
  win::DWORD handle = 0;
  const win::DWORD size = win::GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return -1;
  void* block = win::GlobalAlloc(win::GPTR, size);
  if (!block) return -1;
  std::int32_t build = -1;
  void* fixed = nullptr;
  win::UINT length = 0;
  if (win::GetFileVersionInfoW(path, 0, size, block) && win::VerQueryValueW(block, u"\\", &fixed, &length) &&
      fixed && length >= sizeof(win::VS_FIXEDFILEINFO))
    build = win::LOWORD(static_cast<const win::VS_FIXEDFILEINFO*>(fixed)->dwProductVersionLS);
  win::GlobalFree(block);
  return build;
}

void RemovePortMonitor(InstallState& state, const MonitorList& list) {
  LogLine(state, u"#DeleteMonitor");
  ++state.Indent;
  const bool listed = list.entries && list.count;
  if (listed)
    LogPortMonitors(state, list);
  else
    LogLine(state, u"BTW, there is no port monitors on this system.");
  const std::int32_t index = FindPortMonitor(list);
  if (index < 0)
    LogLine(state, u"No Corvane port monitor was found.");
  else
    LogFormat(state, u"Port monitor is found. Index=%d", index + 1);

  WideString path = Copy(state.SystemDir);
  // The file name the path ends in: a record without one leaves the folder.
  const char16_t* dll = nullptr;
  if (listed && index >= 0) {
    LogLine(state, u"Trying to get monitor filename from MONITOR_INFO_2");
    dll = reinterpret_cast<const win::MONITOR_INFO_2W*>(list.entries)[index].pDLLName;
    if (dll && *dll) Append(path, dll);
  } else {
    LogLine(state, u"Computing monitor filename");
    dll = state.MonitorFile;
    Append(path, dll);
  }
  LogFormat(state, u"Auto calculated monitor file name: %s", Text(path));

  if (!state.CheckMonitorVersion) {
    LogLine(state, u"There is no check for monitor version");
  } else {
    const std::int32_t build = GetFileBuildNumber(Text(path));
    if (build >= OldestCompatibleMonitorBuild && build <= BuildNumber) {
      LogFormat(state, u"Version (%d) is compatible, proceed without uninstall", build);
      if (index >= 0)
        state.InstallMonitor = 0;
      else
        state.CopyMonitor = 0;
      LogFormat(state, u"InstallMonitor == %d, CopyMonitor == %d", state.InstallMonitor, state.CopyMonitor);
      Release(path);
      --state.Indent;
      return;
    }
    if (build == -1)
      LogLine(state, u"Version is unknown, proceed with reinstall");
    else
      LogFormat(state, u"Version (%d) is not supported, proceed with reinstall", build);
  }

  bool removed = DeleteMonitor(state);
  if (!removed && index < 0) {
    LogLine(state, u"Can't delete monitor and monitor was not found. So everything should be ok");
    Release(path);
    --state.Indent;
    return;
  }
  if (!removed) {
    LogLine(state, u"Can't delete monitor from the first try");
    MovePrintersToFile(state);
    removed = DeleteMonitor(state);
    if (!removed) {
      SpoolerRestart restart;
      BeginSpoolerRestart(restart, &state);
      EndSpoolerRestart(restart);
      removed = DeleteMonitor(state);
    }
  }
  if (!removed) {
    LogError(state, ErrRemoveMonitor, u"Can`t remove the port monitor 'Corvane:'");
  } else {
    const bool namesFile = dll && *dll;
    if (namesFile && !IsPlainFileName(dll))
      LogFormat(state, u"Monitor file name '%s' leads out of the system directory: no file is deleted", dll);
    else if (namesFile && !win::DeleteFileW(Text(path)))
      AddUnique(state.Undeletable, Text(path));
    LogLine(state, u"Monitor was removed :)");
  }
  Release(path);
  --state.Indent;
}
