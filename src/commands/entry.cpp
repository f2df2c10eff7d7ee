#include "commands/entry.h"

#include <cstdint>

#include "commands/log_file.h"
#include "commands/install_refusal.h"
#include "commands/log_output.h"
#include "commands/machine_check.h"
#include "commands/maintenance_commands.h"
#include "commands/module_instance.h"
#include "commands/run_switches.h"
#include "commands/sequences.h"
#include "commands/start_of_run.h"
#include "driver/printer_driver.h"
#include "monitor/port_monitor_install.h"
#include "run/log.h"
#include "spooler/pending_file_operations.h"
#include "tray/tray_companion.h"
#include "util/text_compare.h"

namespace {

// Exit codes the product's other programs read.
constexpr int ExitInstalled = 1;
constexpr int ExitUninstalled = 2;
constexpr int ExitNo = 3;
constexpr int ExitDefaultSet = 4;
constexpr int ExitNothingDone = 6;
constexpr int ExitErrors = 100;
constexpr int ExitRestartNeeded = 101;
constexpr int ExitForeignDefault = 102;
constexpr int ExitDriverCurrent = 103;
constexpr int ExitPackageFilesPending = 200;
// What "check" found: nothing wrong, a fault "install" repairs, product
// files waiting for a restart.
constexpr int ExitHealthy = 0;
constexpr int ExitInstallRepairs = 104;
constexpr int ExitRestartFirst = 105;
// An install refused before it changed anything.
constexpr int ExitProtectedPrintMode = 106;
constexpr int ExitUntrustedPackage = 107;

// Help windows get this many close requests, 50 ms apart, before the run
// goes on without waiting for them any longer.
constexpr int HelpCloseAttempts = 100;
constexpr win::DWORD HelpCloseIntervalMs = 50;

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// Base-10 string-to-long as the Windows runtime reads it: 32-bit, clamped
// on overflow, 0 without digits.
std::int32_t ParseLong(const char16_t* text) {
  while (IsBlank(*text)) ++text;
  bool negative = false;
  if (*text == u'+' || *text == u'-') negative = *text++ == u'-';
  std::int64_t value = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) {
    value = value * 10 + (*text - u'0');
    if (value > INT32_MAX + std::int64_t{1}) value = INT32_MAX + std::int64_t{1};
  }
  if (negative) return value > INT32_MAX ? INT32_MIN : static_cast<std::int32_t>(-value);
  return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

// The window that owns the log dialog: word 2 of exactly three words, when it
// names an existing window.
win::HWND ParentWindow(int count, char16_t** words) {
  if (count != 3) return nullptr;
  const auto handle = reinterpret_cast<win::HWND>(static_cast<std::intptr_t>(ParseLong(words[2])));
  return win::IsWindow(handle) ? handle : nullptr;
}

void CloseHelpWindows() {
  for (int attempt = 0; attempt < HelpCloseAttempts; ++attempt) {
    win::HWND help = win::FindWindowW(u"HH Parent", u"Corvane Help");
    if (!help) return;
    win::PostMessageW(help, win::WM_SYSCOMMAND, win::SC_CLOSE, 0);
    win::Sleep(HelpCloseIntervalMs);
  }
}

int RunInstall(unsigned mode, const LogOutput& output) {
  InstallState state;
  CreateInstallState(state, mode);
  LogLine(state, u"##0010");
  ReInstall(state);
  const int scheduled = ScheduleUndeletableFiles(state);
  PresentLog(state, output);
  const bool errors = state.ErrorCount != 0;
  ReleaseInstallState(state);
  return errors ? ExitErrors : scheduled ? ExitRestartNeeded : ExitInstalled;
}

int RunUninstallCommand(const LogOutput& output, bool undoable) {
  int scheduled = 0;
  const bool errors = RunUninstall(output, scheduled, undoable);
  return errors ? ExitErrors : scheduled ? ExitRestartNeeded : ExitUninstalled;
}

enum class Command { Unknown, CheckDriver, Init, Uninstall, RemoveTray, Install, InstallNoTray, SetDefault, Check };

// In the order the words are tested: only "def.set" keeps its letter case.
Command CommandOf(const char16_t* word) {
  if (SameTextIgnoringAsciiCase(word, u"onChkDrv")) return Command::CheckDriver;
  if (SameTextIgnoringAsciiCase(word, u"onInit")) return Command::Init;
  if (SameTextIgnoringAsciiCase(word, u"un") || SameTextIgnoringAsciiCase(word, u"uninstall"))
    return Command::Uninstall;
  if (SameTextIgnoringAsciiCase(word, u"removetray")) return Command::RemoveTray;
  if (SameTextIgnoringAsciiCase(word, u"in") || SameTextIgnoringAsciiCase(word, u"install") ||
      SameTextIgnoringAsciiCase(word, u"serverinstall"))
    return Command::Install;
  if (SameTextIgnoringAsciiCase(word, u"in_notray")) return Command::InstallNoTray;
  if (SameText(word, u"def.set")) return Command::SetDefault;
  if (SameTextIgnoringAsciiCase(word, u"check")) return Command::Check;
  return Command::Unknown;
}

// `count` and `words` are what is left once the switches are taken out.
int RunCommand(Command command, int count, char16_t** words, LogOutput& output, bool undoable) {
  switch (command) {
    case Command::CheckDriver:
      return CheckDriverBuild() ? ExitDriverCurrent : ExitNo;
    case Command::Init:
      if (RetryPendingDriverFiles()) return ExitPackageFilesPending;
      return DefaultPrinterIsForeign() ? ExitForeignDefault : ExitNo;
    case Command::Uninstall:
      CloseHelpWindows();
      output.Owner = ParentWindow(count, words);
      return RunUninstallCommand(output, undoable);
    case Command::RemoveTray:
      StopTray();
      return ExitNothingDone;
    case Command::Install:
    case Command::InstallNoTray: {
      const unsigned mode = command == Command::Install ? ModeX64 : ModeX64 | ModeNoTray;
      output.Owner = ParentWindow(count, words);
      switch (RefuseInstall(mode, output)) {
        case InstallRefusal::ProtectedPrintMode:
          return ExitProtectedPrintMode;
        case InstallRefusal::UntrustedPackage:
          return ExitUntrustedPackage;
        case InstallRefusal::None:
          break;
      }
      CloseHelpWindows();
      return RunInstall(mode, output);
    }
    case Command::SetDefault:
      MakeProductPrinterDefault();
      return ExitDefaultSet;
    case Command::Check:
      switch (RunCheck(output)) {
        case CheckOutcome::Healthy:
          return ExitHealthy;
        case CheckOutcome::InstallRepairs:
          return ExitInstallRepairs;
        case CheckOutcome::RestartFirst:
          return ExitRestartFirst;
      }
      break;
    case Command::Unknown:
      break;
  }
  return ExitNothingDone;
}

int RunWords(int count, char16_t** words) {
  const Command command = count < 2 ? Command::Unknown : CommandOf(words[1]);
  if (command == Command::Unknown) return ExitNothingDone;
  RunSwitches switches;
  count = TakeSwitches(count, words, switches);
  LogOutput output;
  output.Quiet = switches.Quiet;
  // The file exists before anything on the machine changes; a run that
  // could not leave its log behind does not start.
  if (switches.LogPath) {
    output.File = CreateLogFile(switches.LogPath);
    if (output.File == win::INVALID_HANDLE_VALUE) return ExitNothingDone;
  }
  // A mistyped switch would change what an unattended run does (a dialog
  // nobody closes): the run does nothing and says so.
  if (switches.Unknown) {
    if (output.File != win::INVALID_HANDLE_VALUE) {
      WriteRefusal(output.File, u"Unknown switch: ", switches.Unknown);
      win::CloseHandle(output.File);
    }
    return ExitNothingDone;
  }
  const int code = RunCommand(command, count, words, output, switches.Undoable);
  if (output.File != win::INVALID_HANDLE_VALUE) win::CloseHandle(output.File);
  return code;
}

}  // namespace

int CorvaneEntry(win::HINSTANCE instance) {
  ModuleInstance = instance;
  int count = 0;
  char16_t** words = win::CommandLineToArgvW(win::GetCommandLineW(), &count);
  // A command line that cannot be split names no command.
  if (!words) return ExitNothingDone;
  const int code = RunWords(count, words);
  win::LocalFree(words);
  return code;
}
