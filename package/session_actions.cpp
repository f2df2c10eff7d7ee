// The custom actions that meet the tray companion in the session of the
// user at the machine. Both are immediate, so they run impersonated, as
// that user and in that session; neither does anything for SYSTEM or in
// session 0 (a deployment tool's silent run), where no user sees the
// companion and its mutex and window are not visible anyway.
#include "msi_functions.h"
#include "tray/companion_contract.h"

namespace {

// How long the companion's window is looked for, and how long it is given
// to end once asked, as the setup tool does.
constexpr int WindowAttempts = 20;
constexpr DWORD WindowPollMs = 250;
constexpr DWORD ExitWaitMs = 5000;

bool RunsForUserAtMachine() {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session) || session == 0) return false;
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return false;
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  const bool known = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
  CloseHandle(token);
  return known && !IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, WinLocalSystemSid);
}

}  // namespace

extern "C" {

// Before InstallValidate, when the companion's file is to be replaced or
// removed: a companion running in this session is asked to end, and is
// given the time to. One that does not end leaves its file to the
// installer's handling of files in use (a restart).
__declspec(dllexport) UINT __stdcall EndCompanion(MSIHANDLE) {
  if (!RunsForUserAtMachine()) return ERROR_SUCCESS;
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, CompanionMutexName);
  if (!mutex) return ERROR_SUCCESS;
  const auto* windowClass = reinterpret_cast<const wchar_t*>(CompanionWindowClass);
  for (int attempt = 0; attempt < WindowAttempts; ++attempt) {
    if (HWND window = FindWindowW(windowClass, nullptr)) {
      PostMessageW(window, CompanionExitRequest, 0, 0);
      const DWORD waited = WaitForSingleObject(mutex, ExitWaitMs);
      if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
      break;
    }
    Sleep(WindowPollMs);
  }
  CloseHandle(mutex);
  return ERROR_SUCCESS;
}

// After InstallFinalize, in an install with a user interface above basic:
// the companion is started for the user, as the next log-on would.
__declspec(dllexport) UINT __stdcall StartCompanion(MSIHANDLE install) {
  if (!Msi.Load() || !RunsForUserAtMachine()) return ERROR_SUCCESS;
  const std::wstring program = Property(install, L"CorvaneCompanion");
  if (program.empty()) return ERROR_SUCCESS;
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return ERROR_SUCCESS;
}

}  // extern "C"
