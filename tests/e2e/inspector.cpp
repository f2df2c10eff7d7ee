// corvane-inspect.exe: prints the machine's state as the product sees it, in
// one canonical text, and sets up state through the APIs a real machine
// would see used. Console program, run under Wine by the tests.
//
//   state                       one line per thing present, in this order:
//                               monitor, port, driver (x64), printer,
//                               default, run (the companion's Run value),
//                               tray (mutex and window, when either exists),
//                               pending (file operations), journal (the
//                               printer journal's texts), restart (the
//                               package's request value). Wine's
//                               own "Local Port" monitor and its ports are
//                               left out.
//   wait-tray [PID]             waits until the tray companion's mutex and
//                               a window of it from a process other than
//                               PID both exist; prints that process's id
//   add-printer NAME DRIVER PORT COMMENT LOCATION [SUBKEY [dsuser]]
//                               AddPrinterW; SUBKEY is written as the
//                               printer data "SubKey" in both places, or
//                               with "dsuser" under "DsUser" only
//   set-default NAME            SetDefaultPrinterW
//   build PATH                  the file's build: the last number of the
//                               product version in its version resource
//   add-driver NAME DRIVER UI   AddPrinterDriverExW (version 3, x64)
//   add-monitor NAME DLL        AddMonitorW (x64)
//   pending-delete PATH         MoveFileExW(PATH, NULL, delay until reboot)
//   hold PATH [shared]          keeps PATH open without sharing (shared:
//                               others may read and write it, not delete
//                               it) until `release` (or being killed)
//   wait-held                   waits until a `hold` has its file open
//   release                     ends a `hold`
//   dialog TEXTFILE             waits for the log dialog, shown with its
//                               box, prints its title and controls, writes
//                               the box's text to TEXTFILE (UTF-8, line ends
//                               kept) and closes it with the Close button's
//                               command
//   shift down|up               presses or releases Shift with SendInput
//   keep-desktop                uses the desktop (started on first use),
//                               prints "ready" and stays until killed
//   read-only-product-key       leaves everyone only reading the product's
//                               key, as a user's token may
//
// Every wait polls for its condition and gives up after WaitLimitMs, far
// beyond what a loaded machine needs. Exit code 0 on success, 1 on a failed
// call or wait (with a line on stderr), 2 on a usage error.
#include <windows.h>
#include <winspool.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t Environment[] = L"Windows x64";
constexpr wchar_t LocalMonitor[] = L"Local Port";
constexpr char TrayMutex[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
constexpr wchar_t TrayClass[] = L"kvs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
constexpr wchar_t RunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t SessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t ProductKey[] = L"SOFTWARE\\Brennock\\Corvane";
constexpr wchar_t HeldEvent[] = L"corvane-inspect-held";
constexpr wchar_t ReleaseEvent[] = L"corvane-inspect-release";
constexpr DWORD WaitLimitMs = 180000;
constexpr DWORD PollMs = 50;
constexpr int LogEditId = 1001;

std::string Utf8(const wchar_t* text) {
  if (!text) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 1, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();  // the terminator
  return out;
}

// Quoted, so that empty and missing values stay visible in the text.
std::string Quote(const std::string& text) { return '"' + text + '"'; }
std::string Quote(const wchar_t* text) { return Quote(Utf8(text)); }

// Lines go out as bytes: the C runtime's text mode would turn LF into CR LF.
void Out(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

int Fail(const char* what) {
  std::fprintf(stderr, "corvane-inspect: %s failed (error %lu)\n", what, GetLastError());
  return 1;
}

int Usage() {
  std::fputs("corvane-inspect: bad arguments; see the comment at the top of inspector.cpp\n", stderr);
  return 2;
}

// Polls `done` until it holds or the limit passes.
template <typename Condition>
bool WaitFor(Condition done) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(PollMs))
    if (GetTickCount() - start > WaitLimitMs) return false;
  return true;
}

int TimedOut(const char* what) {
  std::fprintf(stderr, "corvane-inspect: timed out waiting for %s\n", what);
  return 1;
}

// Two-call enumeration: `each` gets every RECORD; a failed one is a line.
template <typename Record, typename Call, typename Each>
void Enumerate(const char* what, Call call, Each each) {
  std::vector<BYTE> buffer;
  DWORD needed = 0, count = 0;
  bool done = call(nullptr, 0, &needed, &count);
  if (!done && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buffer.assign(needed, 0);
    done = call(buffer.data(), needed, &needed, &count);
  }
  if (!done) Out(std::string(what) + " (enumeration failed, error " + std::to_string(GetLastError()) + ")");
  for (DWORD i = 0; done && !buffer.empty() && i < count; ++i) each(reinterpret_cast<const Record*>(buffer.data())[i]);
}

std::string PrinterData(HANDLE printer, bool dsUser) {
  char value[256] = {};
  DWORD type = 0, needed = 0;
  auto* data = reinterpret_cast<BYTE*>(value);
  const DWORD status = dsUser ? GetPrinterDataExA(printer, "DsUser", "SubKey", &type, data, sizeof value - 1, &needed)
                              : GetPrinterDataA(printer, const_cast<char*>("SubKey"), &type, data, sizeof value - 1, &needed);
  if (status != ERROR_SUCCESS) return "(none)";
  return type == REG_SZ ? Quote(std::string(value)) : "(type " + std::to_string(type) + ")";
}

// A registry value as text, or false when it is missing.
bool RegistryText(const wchar_t* key, const wchar_t* name, std::wstring& text, DWORD* type = nullptr) {
  wchar_t value[1024] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY | RRF_NOEXPAND, type, value, &size) != ERROR_SUCCESS)
    return false;
  text = value;
  return true;
}

bool TrayMutexExists() {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, TrayMutex);
  if (mutex) CloseHandle(mutex);
  return mutex != nullptr;
}

void PrintSpooler() {
  std::vector<std::wstring> monitors;
  Enumerate<MONITOR_INFO_2W>(
      "monitors", [](BYTE* b, DWORD s, DWORD* n, DWORD* c) { return EnumMonitorsW(nullptr, 2, b, s, n, c); },
      [&](const MONITOR_INFO_2W& m) {
        if (!std::wcscmp(m.pName, LocalMonitor)) return;
        monitors.push_back(m.pName);
        Out("monitor " + Quote(m.pName) + " dll " + Quote(m.pDLLName));
      });
  // The ports of the monitors listed.
  Enumerate<PORT_INFO_2W>(
      "ports", [](BYTE* b, DWORD s, DWORD* n, DWORD* c) { return EnumPortsW(nullptr, 2, b, s, n, c); },
      [&](const PORT_INFO_2W& p) {
        for (const auto& monitor : monitors)
          if (monitor == p.pMonitorName)
            Out("port " + Quote(p.pPortName) + " monitor " + Quote(p.pMonitorName) + " description " +
                Quote(p.pDescription) + " type " + std::to_string(p.fPortType));
      });
  Enumerate<DRIVER_INFO_3W>(
      "drivers",
      [](BYTE* b, DWORD s, DWORD* n, DWORD* c) {
        return EnumPrinterDriversW(nullptr, const_cast<wchar_t*>(Environment), 3, b, s, n, c);
      },
      [](const DRIVER_INFO_3W& d) {
        Out("driver " + Quote(d.pName) + " version " + std::to_string(d.cVersion) + " path " +
            Quote(d.pDriverPath) + " config " + Quote(d.pConfigFile) + " help " + Quote(d.pHelpFile));
      });
  Enumerate<PRINTER_INFO_2W>(
      "printers",
      [](BYTE* b, DWORD s, DWORD* n, DWORD* c) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, b, s, n, c);
      },
      [](const PRINTER_INFO_2W& p) {
        std::string line = "printer " + Quote(p.pPrinterName) + " port " + Quote(p.pPortName) + " driver " +
                           Quote(p.pDriverName) + " processor " + Quote(p.pPrintProcessor) + " datatype " +
                           Quote(p.pDatatype) + " comment " + Quote(p.pComment) + " location " +
                           Quote(p.pLocation);
        HANDLE printer = nullptr;
        if (OpenPrinterW(p.pPrinterName, &printer, nullptr)) {
          line += " subkey " + PrinterData(printer, false) + " dsuser " + PrinterData(printer, true);
          ClosePrinter(printer);
        } else {
          line += " (cannot open, error " + std::to_string(GetLastError()) + ")";
        }
        Out(line);
      });
  wchar_t name[512] = {};
  DWORD size = 512;
  if (GetDefaultPrinterW(name, &size)) Out("default " + Quote(name));
}

void PrintSystem() {
  std::wstring text;
  DWORD type = 0;
  if (RegistryText(RunKey, L"CorvaneTray", text, &type))
    Out("run CorvaneTray " + Utf8(text.c_str()) + (type == REG_SZ ? "" : " (not REG_SZ)"));
  const bool mutex = TrayMutexExists();
  HWND window = FindWindowW(TrayClass, nullptr);
  if (mutex || window)
    Out(std::string("tray mutex ") + (mutex ? "yes" : "no") + " window " +
        (window ? (IsWindowVisible(window) ? "yes visible yes" : "yes visible no") : "no"));

  std::vector<wchar_t> pending(32768, 0);
  DWORD size = static_cast<DWORD>(pending.size() - 2) * sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, SessionManager, L"PendingFileRenameOperations", RRF_RT_ANY,
                   nullptr, pending.data(), &size) == ERROR_SUCCESS)
    // Pairs of source and target; an empty target asks for a deletion.
    for (const wchar_t* at = pending.data(); *at;) {
      const wchar_t* target = at + std::wcslen(at) + 1;
      Out("pending " + Quote(at) + " -> " + Quote(target));
      at = target + std::wcslen(target) + 1;
    }

  std::vector<wchar_t> journal(32768, 0);
  size = static_cast<DWORD>(journal.size() - 1) * sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, ProductKey, L"PrintersToRestore", RRF_RT_ANY, nullptr, journal.data(), &size) ==
      ERROR_SUCCESS) {
    std::string texts = "journal";
    for (const wchar_t* at = journal.data(); at < journal.data() + size / sizeof(wchar_t); at += std::wcslen(at) + 1)
      texts.append(" ").append(Quote(at));
    Out(texts);
  }
  if (RegGetValueW(HKEY_LOCAL_MACHINE, ProductKey, L"PackageRestartRequested", RRF_RT_ANY, nullptr, nullptr, nullptr) ==
      ERROR_SUCCESS)
    Out("restart request left");
}

// The companion makes its mutex before its window, and a stopped one may
// still have its window for a moment after its mutex is gone: only both, the
// window from another process than `other`, show a running companion.
int WaitTray(DWORD other) {
  DWORD process = 0;
  const bool found = WaitFor([&] {
    HWND window = FindWindowW(TrayClass, nullptr);
    process = 0;
    if (window) GetWindowThreadProcessId(window, &process);
    return window && process != other && TrayMutexExists();
  });
  if (!found) return TimedOut("the tray companion");
  Out(std::to_string(process));
  return 0;
}

int AddPrinterVerb(int argc, wchar_t** argv) {
  const bool dsUserOnly = argc == 9 && std::wcscmp(argv[8], L"dsuser") == 0;
  if (argc < 7 || argc > 9 || (argc == 9 && !dsUserOnly)) return Usage();
  PRINTER_INFO_2W info{};
  info.pPrinterName = argv[2];
  info.pDriverName = argv[3];
  info.pPortName = argv[4];
  info.pComment = argv[5];
  info.pLocation = argv[6];
  info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
  info.pDatatype = const_cast<wchar_t*>(L"RAW");
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (!printer) return Fail("AddPrinterW");
  DWORD status = ERROR_SUCCESS;
  if (argc >= 8 && *argv[7]) {
    const std::string subKey = Utf8(argv[7]);
    auto* data = reinterpret_cast<BYTE*>(const_cast<char*>(subKey.c_str()));
    const auto size = static_cast<DWORD>(subKey.size() + 1);
    if (!dsUserOnly) status = SetPrinterDataA(printer, const_cast<char*>("SubKey"), REG_SZ, data, size);
    if (status == ERROR_SUCCESS) status = SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, data, size);
  }
  ClosePrinter(printer);
  SetLastError(status);
  return status == ERROR_SUCCESS ? 0 : Fail("SetPrinterData");
}

int AddDriverVerb(wchar_t** argv) {
  DRIVER_INFO_3W info{};
  info.cVersion = 3;
  info.pName = argv[2];
  info.pEnvironment = const_cast<wchar_t*>(Environment);
  info.pDriverPath = info.pDataFile = argv[3];
  info.pConfigFile = argv[4];
  return AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES) ? 0
                                                                                             : Fail("AddPrinterDriverExW");
}

int AddMonitorVerb(wchar_t** argv) {
  MONITOR_INFO_2W info{argv[2], const_cast<wchar_t*>(Environment), argv[3]};
  return AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info)) ? 0 : Fail("AddMonitorW");
}

int BuildVerb(const wchar_t* path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &handle);
  std::vector<BYTE> block(size ? size : 1);
  void* fixed = nullptr;
  UINT length = 0;
  if (!size || !GetFileVersionInfoW(path, 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO))
    return Fail("reading the version resource");
  Out("build " + std::to_string(LOWORD(static_cast<VS_FIXEDFILEINFO*>(fixed)->dwProductVersionLS)));
  return 0;
}

HANDLE NamedEvent(const wchar_t* name) { return CreateEventW(nullptr, TRUE, FALSE, name); }

int Hold(const wchar_t* path, DWORD share) {
  HANDLE release = NamedEvent(ReleaseEvent);
  HANDLE held = NamedEvent(HeldEvent);
  if (!release || !held) return Fail("CreateEventW");
  HANDLE file = CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("CreateFileW");
  SetEvent(held);
  WaitForSingleObject(release, INFINITE);
  CloseHandle(file);
  ResetEvent(held);
  return 0;
}

int WaitHeld() {
  HANDLE event = NamedEvent(HeldEvent);
  if (!event) return Fail("CreateEventW");
  return WaitForSingleObject(event, WaitLimitMs) == WAIT_OBJECT_0 ? 0 : TimedOut("the held file");
}

// The log dialog: a dialog-class top-level window titled "Corvane build ...".
BOOL CALLBACK FindLogDialog(HWND window, LPARAM found) {
  wchar_t className[64] = {}, title[256] = {};
  GetClassNameW(window, className, 64);
  GetWindowTextW(window, title, 256);
  if (std::wcscmp(className, L"#32770") || std::wcsncmp(title, L"Corvane build ", 14)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

std::string WindowText(HWND window) {
  // WM_GETTEXT crosses processes; GetWindowText would not read another
  // process's control.
  std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return Utf8(text.c_str());
}

int Dialog(const wchar_t* textFile) {
  // A modal dialog is shown once its initialisation has filled the box:
  // found before that, its text would be raced.
  HWND dialog = nullptr;
  if (!WaitFor([&] {
        dialog = nullptr;
        EnumWindows(FindLogDialog, reinterpret_cast<LPARAM>(&dialog));
        return dialog && IsWindowVisible(dialog);
      }))
    return TimedOut("a shown log dialog");
  HWND button = GetDlgItem(dialog, IDOK);
  HWND edit = GetDlgItem(dialog, LogEditId);
  Out("title " + Quote(WindowText(dialog)));
  Out(button ? "button " + Quote(WindowText(button)) : "button (none)");
  if (edit) {
    // The box as the user meets it; the dialog manager may trade WS_BORDER
    // for an extended edge, so only the behaviour bits are shown.
    wchar_t className[64] = {};
    GetClassNameW(edit, className, 64);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(edit, GWL_STYLE));
    auto flag = [style](DWORD bit) { return (style & bit) ? "yes" : "no"; };
    Out("box class " + Quote(className) + " multiline " + flag(ES_MULTILINE) + " readonly " + flag(ES_READONLY) +
        " vscroll " + flag(WS_VSCROLL));
  } else {
    Out("box (none)");
  }
  const std::string text = edit ? WindowText(edit) : std::string();
  HANDLE file = CreateFileW(textFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("CreateFileW");
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  if (!wrote) return Fail("WriteFile");
  // What the Close button sends when clicked.
  return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button))
             ? 0
             : Fail("PostMessageW");
}

int Shift(const wchar_t* direction) {
  const bool down = std::wcscmp(direction, L"down") == 0;
  if (!down && std::wcscmp(direction, L"up") != 0) return Usage();
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_SHIFT;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(VK_SHIFT, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  if (SendInput(1, &input, sizeof input) != 1) return Fail("SendInput");
  // The state the installer will read.
  if (WaitFor([down] { return ((GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0) == down; })) return 0;
  return TimedOut("the Shift state");
}

// Wine 8 closes the desktop a second after the last program using it ends,
// even when a program just started is about to use it.
int KeepDesktop() {
  if (!GetDesktopWindow()) return Fail("GetDesktopWindow");
  Out("ready");
  Sleep(INFINITE);
  return 0;
}

int ReadOnlyProductKey() {
  PSECURITY_DESCRIPTOR readOnly = nullptr;
  HKEY key = nullptr;
  const bool set =
      ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr) &&
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, ProductKey, 0, WRITE_DAC, &key) == ERROR_SUCCESS &&
      RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
  LocalFree(readOnly);
  if (key) RegCloseKey(key);
  return set ? 0 : Fail("giving the product's key its security");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring verb = argc > 1 ? argv[1] : L"";
  if (verb == L"state" && argc == 2) return PrintSpooler(), PrintSystem(), 0;
  if (verb == L"wait-tray" && argc <= 3) return WaitTray(argc == 3 ? std::wcstoul(argv[2], nullptr, 10) : 0);
  if (verb == L"add-printer") return AddPrinterVerb(argc, argv);
  if (verb == L"add-driver" && argc == 5) return AddDriverVerb(argv);
  if (verb == L"add-monitor" && argc == 4) return AddMonitorVerb(argv);
  if (verb == L"build" && argc == 3) return BuildVerb(argv[2]);
  if (verb == L"set-default" && argc == 3) return SetDefaultPrinterW(argv[2]) ? 0 : Fail("SetDefaultPrinterW");
  if (verb == L"pending-delete" && argc == 3)
    return MoveFileExW(argv[2], nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : Fail("MoveFileExW");
  if (verb == L"hold" && argc == 3) return Hold(argv[2], 0);
  if (verb == L"hold" && argc == 4 && std::wstring(argv[3]) == L"shared")
    return Hold(argv[2], FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (verb == L"wait-held" && argc == 2) return WaitHeld();
  if (verb == L"release" && argc == 2) return SetEvent(NamedEvent(ReleaseEvent)) ? 0 : Fail("SetEvent");
  if (verb == L"dialog" && argc == 3) return Dialog(argv[2]);
  if (verb == L"shift" && argc == 3) return Shift(argv[2]);
  if (verb == L"keep-desktop" && argc == 2) return KeepDesktop();
  if (verb == L"read-only-product-key" && argc == 2) return ReadOnlyProductKey();
  return Usage();
}
