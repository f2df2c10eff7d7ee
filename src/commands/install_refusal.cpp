#include "commands/install_refusal.h"

#include <initializer_list>

#include "commands/start_of_run.h"
#include "run/log.h"
#include "spooler/companion_files.h"
#include "spooler/package_trust.h"
#include "spooler/print_protection.h"
#include "tray/tray_companion.h"

namespace {

// The first of the installer's folder, the files the install copies from
// it, the companion's folder and the companion that others than the
// administrators may change; empty when there is none.
WideString UntrustedPackagePath(const InstallState& state) {
  constexpr int Paths = 7;
  WideString paths[Paths] = {Copy(state.ModuleDir)};
  SetLength(paths[0], Length(paths[0]) ? Length(paths[0]) - 1 : 0);
  int count = 1;
  for (const char16_t* file : {MonitorFile64, DriverFile64, UiFile64, HelpFileName}) {
    paths[count] = Copy(state.ModuleDir);
    Append(paths[count++], file);
  }
  paths[Paths - 1] = TrayProgramPath(state);
  paths[Paths - 2] = ParentDir(paths[Paths - 1]);
  WideString found{};
  for (WideString& path : paths) {
    if (!Length(found) && !DeclaredTrusted(Text(path)) && !OnlyAdministratorsChange(Text(path))) found = Copy(path);
    Release(path);
  }
  return found;
}

}  // namespace

InstallRefusal RefuseInstall(unsigned mode, const LogOutput& output) {
  InstallState state;
  ResetInstallState(state, mode);
  LogFormat(state, u"Corvane %d", BuildNumber);
  FindModuleDir(state);
  InstallRefusal refusal = InstallRefusal::None;
  if (ProtectedPrintModeOn()) {
    win::SetLastError(win::ERROR_ACCESS_DENIED);
    LogError(state, ErrProtectedPrintMode,
             u"Windows protected print mode is on: it loads no port monitor or printer driver but Windows' own");
    refusal = InstallRefusal::ProtectedPrintMode;
  } else if (WideString path = UntrustedPackagePath(state); Length(path)) {
    LogError(state, ErrUntrustedPackage, u"'%s' can be changed by others than the administrators: nothing is installed from it",
             Text(path));
    Release(path);
    refusal = InstallRefusal::UntrustedPackage;
  }
  if (refusal != InstallRefusal::None) PresentLog(state, output);
  ReleaseInstallState(state);
  return refusal;
}
