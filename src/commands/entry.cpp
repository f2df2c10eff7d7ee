#include "commands/entry.h"

#include <cstdint>

#include "commands/log_dialog.h"
#include "commands/maintenance_commands.h"
#include "commands/module_instance.h"
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

int RunInstall(unsigned mode, win::HWND parent) {
  InstallState state;
  CreateInstallState(state, mode);
  LogLine(state, u"##0010");
  ReInstall(state);
  const int scheduled = ScheduleUndeletableFiles(state);
  ShowLogIfNeeded(state, parent);
  const bool errors = state.ErrorCount != 0;
  ReleaseInstallState(state);
  return errors ? ExitErrors : scheduled ? ExitRestartNeeded : ExitInstalled;
}

int RunUninstallCommand(win::HWND parent) {
  int scheduled = 0;
  const bool errors = RunUninstall(parent, scheduled);
  return errors ? ExitErrors : scheduled ? ExitRestartNeeded : ExitUninstalled;
}

int RunCommand(int count, char16_t** words) {
  if (count < 2) return ExitNothingDone;
  const char16_t* word = words[1];
  if (SameTextIgnoringAsciiCase(word, u"onChkDrv")) return CheckDriverBuild() ? ExitDriverCurrent : ExitNo;
  if (SameTextIgnoringAsciiCase(word, u"onInit")) {
    if (RetryPendingDriverFiles()) return ExitPackageFilesPending;
    return DefaultPrinterIsForeign() ? ExitForeignDefault : ExitNo;
  }
  if (SameTextIgnoringAsciiCase(word, u"un") || SameTextIgnoringAsciiCase(word, u"uninstall")) {
    CloseHelpWindows();
    return RunUninstallCommand(ParentWindow(count, words));
  }
  if (SameTextIgnoringAsciiCase(word, u"removetray")) {
    StopTray();
    return ExitNothingDone;
  }
  if (SameTextIgnoringAsciiCase(word, u"in") || SameTextIgnoringAsciiCase(word, u"install") ||
      SameTextIgnoringAsciiCase(word, u"serverinstall")) {
    CloseHelpWindows();
    return RunInstall(ModeX64, ParentWindow(count, words));
  }
  if (SameTextIgnoringAsciiCase(word, u"in_notray")) {
    CloseHelpWindows();
    return RunInstall(ModeX64 | ModeNoTray, ParentWindow(count, words));
  }
  if (SameText(word, u"def.set")) {
    MakeProductPrinterDefault();
    return ExitDefaultSet;
  }
  return ExitNothingDone;
}

}  // namespace

int CorvaneEntry(win::HINSTANCE instance) {
  ModuleInstance = instance;
  int count = 0;
  char16_t** words = win::CommandLineToArgvW(win::GetCommandLineW(), &count);
  // A command line that cannot be split names no command.
  if (!words) return ExitNothingDone;
  const int code = RunCommand(count, words);
  win::LocalFree(words);
  return code;
}
