#include "tray/tray_companion.h"

#include <algorithm>
#include <cstring>

#include "spooler/companion_files.h"
#include "tray/companion_contract.h"
#include "util/text_compare.h"

namespace {

constexpr int StopAttempts = 20;
constexpr win::DWORD ExitWaitMs = 5000;
constexpr win::DWORD WindowPollMs = 250;
constexpr win::DWORD MissingValuePauseMs = 1000;
constexpr int DeleteAttempts = 10;
constexpr win::DWORD LockedRetryMs = 100;
constexpr win::DWORD OtherRetryMs = 10;
constexpr std::uint64_t CommandPathLimit = 259;
constexpr win::DWORD MaxSidBytes = 68;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool SystemRunsCompanion() {
  win::OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  return win::GetVersionExA(&version) && version.dwPlatformId == win::VER_PLATFORM_WIN32_NT &&
         version.dwMajorVersion >= 6;
}

// Whether the program runs in a user's session as a user: a companion
// started from session 0 or as SYSTEM would run where nobody can see or end
// it. When either cannot be told, the companion waits for the next log-on.
bool RunsAsUserAtMachine() {
  win::DWORD session = 0;
  if (!win::ProcessIdToSessionId(win::GetCurrentProcessId(), &session) || session == 0) return false;
  return !MayRunAsSystem();
}

// The program the Run value names, into `program`: the read's status, and
// whether it gave a whole path.
long ReadRunProgram(win::HKEY key, char16_t* program, bool& whole) {
  program[0] = 0;
  win::DWORD size = RunValueCapacity * sizeof(char16_t);
  const long read =
      win::RegQueryValueExW(key, RunValue, nullptr, nullptr, reinterpret_cast<win::BYTE*>(program), &size);
  const win::DWORD chars = size / sizeof(char16_t);
  if (read == win::ERROR_SUCCESS && chars < RunValueCapacity) program[chars] = 0;
  // A value that fills the buffer without a terminator names no whole path.
  whole = read == win::ERROR_SUCCESS && std::find(program, program + RunValueCapacity, u'\0') != program + RunValueCapacity;
  // Written quoted; builds before 2620 wrote the bare path.
  if (whole && program[0] == u'"') {
    char16_t* end = std::find(program + 1, program + RunValueCapacity, u'"');
    whole = end != program + RunValueCapacity;
    if (whole) std::memmove(program, program + 1, (end - program - 1) * sizeof(char16_t)), end[-1] = 0;
  }
  return read;
}

// The value is a command line: quoted, a path with spaces is read as one
// program, not as "C:\Program.exe" and its arguments.
void RegisterForLogOn(const WideString& path) {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, RunKey, 0, win::KEY_ALL_ACCESS, &key) != win::ERROR_SUCCESS)
    return;
  WideString command;
  Assign(command, u"\"");
  Append(command, Text(path));
  Append(command, u"\"");
  win::RegSetValueExW(key, RunValue, 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(Text(command)),
                      static_cast<win::DWORD>((Length(command) + 1) * sizeof(char16_t)));
  Release(command);
  win::RegCloseKey(key);
}

void Start(const WideString& path) {
  // A path cut short could name another program: such a path is not run.
  if (Length(path) > CommandPathLimit) return;
  WideString commandLine;
  Assign(commandLine, u"\"");
  Append(commandLine, Text(path));
  Append(commandLine, u"\"");
  win::STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = win::STARTF_USESHOWWINDOW;
  startup.wShowWindow = win::SW_SHOW;
  win::PROCESS_INFORMATION process{};
  if (win::CreateProcessW(nullptr, Chars(commandLine), nullptr, nullptr, win::FALSE, win::NORMAL_PRIORITY_CLASS,
                          nullptr, nullptr, &startup, &process)) {
    win::CloseHandle(process.hProcess);
    win::CloseHandle(process.hThread);
  }
  Release(commandLine);
}

// Asks a running companion to end and waits for it to let its mutex go.
void AskCompanionToEnd(win::HANDLE mutex) {
  bool requested = false;
  for (int attempt = 0; attempt < StopAttempts; ++attempt) {
    win::HWND window = win::FindWindowW(CompanionWindowClass, nullptr);
    if (window) {
      requested = true;
      win::PostMessageW(window, CompanionExitRequest, 0, 0);
      if (win::WaitForSingleObject(mutex, ExitWaitMs) == win::WAIT_OBJECT_0) return;
      continue;
    }
    if (requested) {
      win::WaitForSingleObject(mutex, ExitWaitMs);
      return;
    }
    win::Sleep(WindowPollMs);
  }
  if (requested) win::WaitForSingleObject(mutex, ExitWaitMs);
}

void DeleteProgram(const char16_t* path) {
  for (int attempt = 0; attempt < DeleteAttempts; ++attempt) {
    if (win::DeleteFileW(path)) return;
    const win::DWORD error = win::GetLastError();
    if (error == win::ERROR_FILE_NOT_FOUND) return;
    win::Sleep(error == win::ERROR_ACCESS_DENIED ? LockedRetryMs : OtherRetryMs);
  }
}

}  // namespace

win::DWORD RunsAsSystem(bool& system) {
  system = false;
  win::HANDLE token = nullptr;
  bool known = win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_QUERY, &token);
  alignas(win::TOKEN_USER) win::BYTE user[sizeof(win::TOKEN_USER) + MaxSidBytes];
  win::DWORD size = 0;
  known = known && win::GetTokenInformation(token, win::TokenUser, user, sizeof user, &size);
  const win::DWORD failure = known ? win::ERROR_SUCCESS : win::GetLastError();
  if (token) win::CloseHandle(token);
  if (!known) return failure ? failure : win::ERROR_INVALID_FUNCTION;
  system = win::IsWellKnownSid(reinterpret_cast<win::TOKEN_USER*>(user)->User.Sid, win::WinLocalSystemSid);
  return win::ERROR_SUCCESS;
}

bool MayRunAsSystem() {
  bool system = false;
  return RunsAsSystem(system) != win::ERROR_SUCCESS || system;
}

long ReadRegisteredTray(char16_t* program) {
  win::HKEY key = nullptr;
  const long opened = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, RunKey, 0, win::KEY_QUERY_VALUE, &key);
  if (opened != win::ERROR_SUCCESS) {
    program[0] = 0;
    return opened;
  }
  bool whole = false;
  const long read = ReadRunProgram(key, program, whole);
  win::RegCloseKey(key);
  return read == win::ERROR_SUCCESS && !whole ? win::ERROR_MORE_DATA : read;
}

WideString TrayProgramPath(const InstallState& state) {
  WideString folder = Copy(state.ModuleDir);
  const auto n = Length(folder);
  if (n && IsSeparator(Text(folder)[n - 1])) SetLength(folder, n - 1);
  WideString path = ParentDir(folder);
  Release(folder);
  const auto m = Length(path);
  if (m && !IsSeparator(Text(path)[m - 1])) Append(path, u"\\");
  Append(path, TrayFileName);
  return path;
}

bool InstallsTray(const InstallState& state) { return state.StartTray && SystemRunsCompanion(); }

void InstallTray(InstallState& state) {
  if (!InstallsTray(state)) return;
  WideString path = TrayProgramPath(state);
  RegisterForLogOn(path);
  if (RunsAsUserAtMachine()) Start(path);
  Release(path);
}

long StopTray(const char16_t* keepFile) {
  win::HANDLE mutex = win::CreateMutexA(nullptr, win::FALSE, CompanionMutexName);
  if (mutex) {
    if (win::GetLastError() == win::ERROR_ALREADY_EXISTS) AskCompanionToEnd(mutex);
    win::CloseHandle(mutex);
  }
  win::HKEY key = nullptr;
  const long opened = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, RunKey, 0, win::KEY_ALL_ACCESS, &key);
  if (opened != win::ERROR_SUCCESS) return opened;
  if (mutex) {
    char16_t program[RunValueCapacity];
    bool whole = false;
    if (ReadRunProgram(key, program, whole) != win::ERROR_SUCCESS)
      win::Sleep(MissingValuePauseMs);
    else if (whole && program[0] && !(keepFile && SameTextIgnoringAsciiCase(program, keepFile)))
      DeleteProgram(program);
  }
  win::RegDeleteValueW(key, RunValue);
  return win::RegCloseKey(key);
}
