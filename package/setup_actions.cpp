// The package's custom actions: run the installed corvane-setup.exe without
// a window, as the installer's deferred actions do (no impersonation: as
// the system), and copy the tool's log into the installer's log.
//
// CustomActionData of the deferred actions: "<setup exe>|<log file>".
//
// Only known DLLs are imported (kernel32, advapi32, user32, and msvcrt
// through the runtime); msi.dll is taken from the process, or from the
// system directory alone (msi_functions.h).
#include <string>

#include "log_lines.h"
#include "msi_functions.h"
#include "restart_request.h"
#include "setup_outcome.h"

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

// Copies the tool's log, line by line, into the installer's log and deletes
// the file.
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
  DeleteFileW(path.c_str());

  const int count = bytes.empty() ? 0 : MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(count, L'\0');
  if (count) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), count);
  ForEachLogLine(text.data(), text.size(), [install](const wchar_t* line, std::size_t length) {
    LogToInstaller(install, std::wstring(line, length));
  });
}

// Runs the tool with one command word, copies its log into the installer's
// and tells what the installer makes of the outcome.
SetupOutcome RunLogged(MSIHANDLE install, const std::wstring& exe, const wchar_t* word,
                       const std::wstring& logPath, SetupPhase phase) {
  std::wstring commandLine = L"\"" + exe + L"\" " + word + L" /quiet";
  if (!logPath.empty()) commandLine += L" \"/log=" + logPath + L"\"";
  LogToInstaller(install, L"Corvane setup: " + commandLine);
  DWORD exitCode = 0;
  const bool started = RunTool(commandLine, exitCode);
  const DWORD startError = GetLastError();
  if (started && !logPath.empty()) CopyToolLog(install, logPath);

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

UINT RunSetup(MSIHANDLE install, const wchar_t* word, SetupPhase phase) {
  ForgetRestartRequest();
  if (!Msi.Load()) return phase == SetupPhase::Install ? ERROR_INSTALL_FAILURE : ERROR_SUCCESS;
  const std::wstring data = Property(install, L"CustomActionData");
  const auto bar = data.find(L'|');
  const std::wstring exe = data.substr(0, bar);
  const std::wstring logPath = bar == std::wstring::npos ? std::wstring() : data.substr(bar + 1);

  const SetupOutcome outcome = RunLogged(install, exe, word, logPath, phase);
  if (!outcome.failed) return ERROR_SUCCESS;
  // A failed install takes off what it left while the tool is still there:
  // an installer may remove the files before it runs the rollback action.
  RunLogged(install, exe, L"uninstall", logPath, SetupPhase::Rollback);
  return ERROR_INSTALL_FAILURE;
}

}  // namespace

extern "C" {

// Deferred, after InstallFiles.
__declspec(dllexport) UINT __stdcall InstallPrinter(MSIHANDLE install) {
  return RunSetup(install, L"install", SetupPhase::Install);
}

// Rollback of InstallPrinter: takes off what a failed install left.
__declspec(dllexport) UINT __stdcall RollbackInstallPrinter(MSIHANDLE install) {
  return RunSetup(install, L"uninstall", SetupPhase::Rollback);
}

// Deferred, before RemoveFiles.
__declspec(dllexport) UINT __stdcall RemovePrinter(MSIHANDLE install) {
  return RunSetup(install, L"uninstall", SetupPhase::Uninstall);
}

}  // extern "C"
