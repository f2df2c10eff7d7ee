// The package's custom actions: run the installed corvane-setup.exe without
// a window, as the installer's deferred actions do (no impersonation: as
// the system), and copy the tool's log into the installer's log.
//
// CustomActionData: "<setup exe>|<1 when no rollback undoes the run: the
// product was on the machine before it (install), rollback is disabled
// (removal)>"; the rollback actions read the setup exe alone.
//
// Only known DLLs are imported (kernel32, advapi32, user32, and msvcrt
// through the runtime); msi.dll is taken from the process, or from the
// system directory alone (msi_functions.h).
#include <string>

#include "log_folder.h"
#include "log_lines.h"
#include "msi_functions.h"
#include "restart_request.h"
#include "setup_outcome.h"
#include "undo_record.h"
#include "spooler/product_key.h"

namespace {

// One line in the installer's log (or its progress text, with a UI).
void LogToInstaller(MSIHANDLE install, const std::wstring& text) {
  MSIHANDLE record = Msi.createRecord(1);
  if (!record) return;
  // The text goes in as field 1, so brackets in it are never formatted.
  Msi.recordSetString(record, 0, L"[1]");
  Msi.recordSetString(record, 1, text.c_str());
  Msi.processMessage(install, INSTALLMESSAGE_INFO, record);
  Msi.closeHandle(record);
}

// Runs the tool and waits for it; false when it could not be started.
bool RunTool(std::wstring commandLine, DWORD& exitCode) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  const bool known = GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  return known;
}

// Copies the tool's log, line by line, into the installer's log.
void CopyToolLog(MSIHANDLE install, const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogToInstaller(install, L"Corvane setup: no log at " + path);
    return;
  }
  std::string bytes;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read) bytes.append(chunk, read);
  CloseHandle(file);

  const int count = bytes.empty() ? 0 : MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(count, L'\0');
  if (count) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), count);
  ForEachLogLine(text.data(), text.size(), [install](const wchar_t* line, std::size_t length) {
    LogToInstaller(install, std::wstring(line, length));
  });
}

// Runs the tool with one command word, its log in a folder made for the
// run, copies that log into the installer's and tells what the installer
// makes of the outcome.
SetupOutcome RunLogged(MSIHANDLE install, const std::wstring& exe, const wchar_t* word, SetupPhase phase) {
  std::wstring folder;
  if (!MakeLogFolder(folder)) {
    // Without a safe place for its log the tool is not run: it did nothing.
    LogToInstaller(install, L"Corvane setup: no folder for the log of " + std::wstring(word) + L", error " +
                                std::to_wstring(GetLastError()));
    return OutcomeOf(phase, true, ExitNothingDone);
  }
  const std::wstring logPath = folder + L"\\corvane-setup.log";
  const std::wstring commandLine = L"\"" + exe + L"\" " + word + L" /quiet \"/log=" + logPath + L"\"";
  LogToInstaller(install, L"Corvane setup: " + commandLine);
  DWORD exitCode = 0;
  const bool started = RunTool(commandLine, exitCode);
  const DWORD startError = GetLastError();
  if (started) CopyToolLog(install, logPath);
  RemoveLogFolder(folder, logPath);

  const SetupOutcome outcome = OutcomeOf(phase, started, exitCode);
  if (started)
    LogToInstaller(install, L"Corvane setup: " + std::wstring(word) + L" exited with " + std::to_wstring(exitCode));
  else
    LogToInstaller(install, L"Corvane setup: could not start, error " + std::to_wstring(startError));
  if (outcome.warning)
    LogToInstaller(install, L"Warning: Corvane setup: " + std::wstring(word) +
                                L" did not succeed; the package goes on without it");
  if (outcome.restart) LeaveRestartRequest();
  return outcome;
}

// What a deferred action reads from its CustomActionData.
struct ActionData {
  std::wstring exe;
  bool undoable;  // the second field is not "1"
};

ActionData ReadActionData(MSIHANDLE install) {
  const std::wstring data = Property(install, L"CustomActionData");
  const auto bar = data.find(L'|');
  return {data.substr(0, bar), bar == std::wstring::npos || data.compare(bar + 1, std::wstring::npos, L"1") != 0};
}

// The start of a deferred action that runs the tool: false when the
// installer's functions cannot be had.
bool BeginRun(MSIHANDLE install, ActionData& data) {
  ForgetRestartRequest();
  if (!Msi.Load()) return false;
  data = ReadActionData(install);
  // Before the tool starts: a run cut off half-way is undone too.
  if (data.undoable) MarkToUndo();
  return true;
}

// A rollback runs the tool only when its own run's deferred action left
// something to undo (undo_record.h).
UINT Undo(MSIHANDLE install, const wchar_t* word) {
  if (!Msi.Load()) return ERROR_SUCCESS;
  if (!TakeToUndo()) {
    LogToInstaller(install, L"Corvane setup: nothing to undo");
    return ERROR_SUCCESS;
  }
  RunLogged(install, ReadActionData(install).exe, word, SetupPhase::Rollback);
  return ERROR_SUCCESS;
}

// Whether the product is on the machine before this run changes anything:
// its monitor (which every printer on its port needs), its driver, or
// printers waiting in its journal to come back.
bool ProductPresent() {
  const wchar_t* const keys[] = {
      L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Corvane:",
      L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\Corvane printer",
  };
  for (const wchar_t* key : keys) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) == ERROR_SUCCESS) {
      RegCloseKey(opened);
      return true;
    }
  }
  // The product's key outlives a removal; only printers still waiting in
  // it to come back make the product present.
  for (const char16_t* value : {PrinterJournalValue, ParkedPrintersValue}) {
    if (RegGetValueW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(ProductMachineKey),
                     reinterpret_cast<const wchar_t*>(value), RRF_RT_ANY | RRF_SUBKEY_WOW6464KEY, nullptr, nullptr,
                     nullptr) == ERROR_SUCCESS)
      return true;
  }
  return false;
}

}  // namespace

extern "C" {

// Deferred, after InstallFiles.
__declspec(dllexport) UINT __stdcall InstallPrinter(MSIHANDLE install) {
  ActionData data;
  if (!BeginRun(install, data)) return ERROR_INSTALL_FAILURE;
  if (!RunLogged(install, data.exe, L"install", SetupPhase::Install).failed) return ERROR_SUCCESS;
  // A failed first install takes off what it left while the tool is still
  // there (an installer may remove the files before it runs the rollback
  // action, or run none), and leaves its rollback nothing to do again. A
  // product that was there before loses nothing: the installer's rollback
  // puts its files back and the tool's journal keeps its printers.
  if (data.undoable) {
    RunLogged(install, data.exe, L"uninstall", SetupPhase::Rollback);
    TakeToUndo();
  }
  return ERROR_INSTALL_FAILURE;
}

// Rollback of InstallPrinter: takes off what a first install left.
__declspec(dllexport) UINT __stdcall RollbackInstallPrinter(MSIHANDLE install) { return Undo(install, L"uninstall"); }

// Deferred, before RemoveFiles. The uninstall journals the printers it
// deletes and keeps the journal, so that the rollback's install brings them
// back with their settings; the commit removes it. Without a rollback there
// is nothing to keep it for.
__declspec(dllexport) UINT __stdcall RemovePrinter(MSIHANDLE install) {
  ActionData data;
  if (!BeginRun(install, data)) return ERROR_INSTALL_FAILURE;
  const wchar_t* word = data.undoable ? L"uninstall /undoable" : L"uninstall";
  if (!RunLogged(install, data.exe, word, SetupPhase::Uninstall).failed) return ERROR_SUCCESS;
  TakeToUndo();
  LogToInstaller(install, L"Corvane setup: uninstall did nothing; the product stays installed");
  return ERROR_INSTALL_FAILURE;
}

// Rollback of RemovePrinter: puts the product back, every printer with it.
__declspec(dllexport) UINT __stdcall RollbackRemovePrinter(MSIHANDLE install) { return Undo(install, L"install"); }

// Immediate, before InstallInitialize: CorvanePresent is "1" when the
// product is already on the machine, so that a failed run takes nothing of
// it away, and empty otherwise, whatever a command line gave it.
__declspec(dllexport) UINT __stdcall DetectProduct(MSIHANDLE install) {
  if (!Msi.Load()) return ERROR_INSTALL_FAILURE;
  const bool present = ProductPresent();
  if (Msi.setProperty(install, L"CorvanePresent", present ? L"1" : L"") != ERROR_SUCCESS) return ERROR_INSTALL_FAILURE;
  LogToInstaller(install, present ? L"Corvane setup: the product is on the machine already"
                                  : L"Corvane setup: the product is not on the machine");
  return ERROR_SUCCESS;
}

}  // extern "C"
