#include "commands/start_of_run.h"

#include "commands/module_instance.h"
#include "printers/printer_queues.h"
#include "run/log.h"
#include "spooler/file_deployment.h"
#include "spooler/spooler_service.h"
#include "tray/tray_companion.h"
#include "util/file_name.h"

namespace {

constexpr win::DWORD PathCapacity = 260;
constexpr win::DWORD DefaultNameCapacity = 255;

}  // namespace

void FindModuleDir(InstallState& state) {
  char16_t path[PathCapacity] = {};
  win::GetModuleFileNameW(ModuleInstance, path, PathCapacity);
  path[PathCapacity - 1] = 0;
  path[FileNamePart(path) - path] = 0;
  Assign(state.ModuleDir, path);
}

namespace {

void FindSystemDir(InstallState& state) {
  char16_t path[PathCapacity] = {};
  const win::UINT length = win::GetSystemDirectoryW(path, PathCapacity);
  // A result that does not fit is as unusable as none.
  if (length == 0 || length >= PathCapacity) {
    LogError(state, ErrSystemDirectory, u"Can`t retrieve system directory.");
    return;
  }
  Assign(state.SystemDir, path);
  EndWithBackslash(state.SystemDir);
}

}  // namespace

void MarkDefaultPrinter(InstallState& state) {
  ListPrinters(state.Printers);
  // SYSTEM's default is no user's: a deployment neither keeps nor sets it,
  // and each user's own stays with the printer's name. Not knowing whose
  // default it reads is not knowing the default.
  bool system = false;
  if (const win::DWORD failure = RunsAsSystem(system)) state.DefaultPrinterUnknown = failure;
  if (system || state.DefaultPrinterUnknown) return;
  char16_t name[DefaultNameCapacity] = {};
  win::DWORD size = DefaultNameCapacity;
  if (!win::GetDefaultPrinterW(name, &size)) {
    const win::DWORD error = win::GetLastError();
    if (error != win::ERROR_FILE_NOT_FOUND) state.DefaultPrinterUnknown = error;
    return;
  }
  if (win::PRINTER_INFO_2W* printer = FindPrinter(state.Printers, name))
    printer->Attributes |= win::PRINTER_ATTRIBUTE_DEFAULT;
}

void FindPlaces(InstallState& state, unsigned mode) {
  SelectPlatform(state, (mode & ModeX64) != 0);
  FindModuleDir(state);
  FindSystemDir(state);
  MarkDefaultPrinter(state);
}

InstallState& CreateInstallState(InstallState& state, unsigned mode) {
  ResetInstallState(state, mode);
  LogFormat(state, u"Corvane %d", BuildNumber);
  CheckSpooler(state);
  FindPlaces(state, mode);
  return state;
}
