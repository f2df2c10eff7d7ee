// corvane-inspect.exe: prints the spooler's and the system's state as text
// for the end-to-end tests, and sets up state through the same APIs a real
// machine would see used. Console program, run under Wine by the tests.
//
//   state                       monitors, ports, x64 drivers, printers,
//                               default printer, Run value, tray mutex and
//                               window, pending file operations (one line
//                               each)
//   add-printer NAME DRIVER PORT COMMENT LOCATION [SUBKEY [dsuser]]
//                               AddPrinterW; SUBKEY is written as the
//                               printer data "SubKey" in both places, or
//                               with "dsuser" under "DsUser" only
//   printer NAME                one printer's record as the spooler gives
//                               it (GetPrinterW level 2): port, driver,
//                               print processor, data type, comment
//   set-default NAME            SetDefaultPrinterW
//   build PATH                  the file's build: the last number of the
//                               product version in its version resource
//   add-driver NAME DRIVER UI   AddPrinterDriverExW (version 3, x64)
//   add-monitor NAME DLL        AddMonitorW (x64)
//   pending-delete PATH         MoveFileExW(PATH, NULL, delay until reboot)
//   hold PATH [shared]          keeps PATH open without sharing (shared:
//                               others may read and write it, but not
//                               delete it) until `release` (or 120 s, or
//                               being killed)
//   wait-held                   waits (30 s at most) until a `hold` has
//                               its file open
//   release                     ends a `hold`
//   wait-tray present|absent    waits (30 s at most) until the tray
//                               companion's mutex and window both exist,
//                               or neither does
//   dialog TEXTFILE             waits (60 s at most) for the log dialog,
//                               prints its title and controls, writes the
//                               box's text to TEXTFILE (UTF-8, line ends
//                               kept) and closes it with the Close button's
//                               command
//   shift down|up               presses or releases Shift with SendInput
//   atom add|find NAME          GlobalAddAtomW, or whether GlobalFindAtomW
//                               finds NAME (exit code 0) or not (3)
//
// Exit code 0 on success, 1 on a failed call (with a line on stderr), 2 on
// a usage error.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t Environment[] = L"Windows x64";
constexpr char TrayMutex[] = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
constexpr wchar_t TrayClass[] = L"kvs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
constexpr wchar_t RunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t SessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t HeldEvent[] = L"corvane-inspect-held";
constexpr wchar_t ReleaseEvent[] = L"corvane-inspect-release";
constexpr DWORD HoldLimitMs = 120000;
constexpr DWORD WaitLimitMs = 30000;
constexpr DWORD DialogLimitMs = 60000;
constexpr DWORD PollMs = 50;
constexpr int LogEditId = 1001;

std::string Utf8(const wchar_t* text, int length = -1) {
  if (!text) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  if (length < 0 && !out.empty()) out.pop_back();  // the terminator
  return out;
}

// Quoted, so that empty and missing values stay visible in the text.
std::string Quote(const std::string& text) {
  std::string quoted(1, '"');
  quoted += text;
  quoted += '"';
  return quoted;
}
std::string Quote(const wchar_t* text) { return Quote(Utf8(text)); }

// Lines go out as bytes: the C runtime's text mode would turn LF into CR LF.
void Out(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
            &written, nullptr);
}

int Fail(const char* what) {
  std::fprintf(stderr, "corvane-inspect: %s failed (error %lu)\n", what, GetLastError());
  return 1;
}

int Usage() {
  std::fputs("corvane-inspect: bad arguments; see the comment at the top of inspector.cpp\n", stderr);
  return 2;
}

// Two-call enumeration into a byte buffer; false when the call fails.
template <typename Call>
bool Fetch(std::vector<BYTE>& buffer, DWORD& count, Call call) {
  DWORD needed = 0;
  count = 0;
  if (call(nullptr, 0, &needed, &count)) {
    buffer.clear();
    return true;
  }
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  buffer.assign(needed, 0);
  return call(buffer.data(), needed, &needed, &count);
}

std::string PrinterData(HANDLE printer, bool dsUser) {
  char value[256] = {};
  DWORD type = 0;
  DWORD needed = 0;
  const DWORD status =
      dsUser ? GetPrinterDataExA(printer, "DsUser", "SubKey", &type,
                                 reinterpret_cast<BYTE*>(value), sizeof value - 1, &needed)
             : GetPrinterDataA(printer, const_cast<char*>("SubKey"), &type,
                               reinterpret_cast<BYTE*>(value), sizeof value - 1, &needed);
  if (status != ERROR_SUCCESS) return "(none)";
  if (type != REG_SZ) return "(type " + std::to_string(type) + ")";
  return Quote(std::string(value));
}

void PrintMonitors() {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Fetch(buffer, count, [](BYTE* b, DWORD s, DWORD* n, DWORD* c) {
        return EnumMonitorsW(nullptr, 2, b, s, n, c);
      })) {
    Out("monitors (enumeration failed, error " + std::to_string(GetLastError()) + ")");
    return;
  }
  const auto* records = reinterpret_cast<const MONITOR_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    Out("monitor " + Quote(records[i].pName) + " dll " + Quote(records[i].pDLLName));
}

// Ports come from the monitors themselves (EnumPorts of each monitor).
void PrintPorts() {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Fetch(buffer, count, [](BYTE* b, DWORD s, DWORD* n, DWORD* c) {
        return EnumPortsW(nullptr, 2, b, s, n, c);
      })) {
    Out("ports (enumeration failed, error " + std::to_string(GetLastError()) + ")");
    return;
  }
  const auto* records = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    Out("port " + Quote(records[i].pPortName) + " monitor " + Quote(records[i].pMonitorName) +
        " description " + Quote(records[i].pDescription) + " type " +
        std::to_string(records[i].fPortType));
}

void PrintDrivers() {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Fetch(buffer, count, [](BYTE* b, DWORD s, DWORD* n, DWORD* c) {
        return EnumPrinterDriversW(nullptr, const_cast<wchar_t*>(Environment), 3, b, s, n, c);
      })) {
    Out("drivers (enumeration failed, error " + std::to_string(GetLastError()) + ")");
    return;
  }
  const auto* records = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    Out("driver " + Quote(records[i].pName) + " version " + std::to_string(records[i].cVersion) +
        " path " + Quote(records[i].pDriverPath) + " config " + Quote(records[i].pConfigFile) +
        " help " + Quote(records[i].pHelpFile));
}

void PrintPrinters() {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!Fetch(buffer, count, [](BYTE* b, DWORD s, DWORD* n, DWORD* c) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, b, s, n,
                             c);
      })) {
    Out("printers (enumeration failed, error " + std::to_string(GetLastError()) + ")");
    return;
  }
  const auto* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    const PRINTER_INFO_2W& p = records[i];
    std::string line = "printer " + Quote(p.pPrinterName) + " port " + Quote(p.pPortName) +
                       " driver " + Quote(p.pDriverName) + " comment " + Quote(p.pComment) +
                       " location " + Quote(p.pLocation);
    HANDLE printer = nullptr;
    if (OpenPrinterW(p.pPrinterName, &printer, nullptr)) {
      line += " subkey " + PrinterData(printer, false) + " dsuser " + PrinterData(printer, true);
      ClosePrinter(printer);
    } else {
      line += " (cannot open, error " + std::to_string(GetLastError()) + ")";
    }
    Out(line);
  }
}

int PrinterVerb(wchar_t* name) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name, &printer, nullptr)) return Fail("OpenPrinterW");
  std::vector<BYTE> buffer;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  buffer.assign(needed ? needed : 1, 0);
  const BOOL read = GetPrinterW(printer, 2, buffer.data(), needed, &needed);
  const DWORD error = GetLastError();
  ClosePrinter(printer);
  if (!read) {
    SetLastError(error);
    return Fail("GetPrinterW");
  }
  const auto& p = *reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  Out("printer " + Quote(p.pPrinterName) + " port " + Quote(p.pPortName) + " driver " +
      Quote(p.pDriverName) + " processor " + Quote(p.pPrintProcessor) + " datatype " +
      Quote(p.pDatatype) + " comment " + Quote(p.pComment));
  return 0;
}

int BuildVerb(const wchar_t* path) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (!size) return Fail("GetFileVersionInfoSizeW");
  std::vector<BYTE> block(size);
  void* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path, 0, size, block.data())) return Fail("GetFileVersionInfoW");
  if (!VerQueryValueW(block.data(), L"\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO))
    return Fail("VerQueryValueW");
  Out("build " + std::to_string(LOWORD(static_cast<VS_FIXEDFILEINFO*>(fixed)->dwProductVersionLS)));
  return 0;
}

void PrintDefaultPrinter() {
  wchar_t name[512] = {};
  DWORD size = 512;
  Out(GetDefaultPrinterW(name, &size) ? "default " + Quote(name) : "default (none)");
}

void PrintRunValue() {
  HKEY key = nullptr;
  std::string line = "run CorvaneTray (none)";
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, RunKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    wchar_t value[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"CorvaneTray", nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) == ERROR_SUCCESS)
      line = "run CorvaneTray " + Quote(value) + (type == REG_SZ ? "" : " (not REG_SZ)");
    RegCloseKey(key);
  }
  Out(line);
}

bool TrayMutexExists() {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, TrayMutex);
  if (!mutex) return false;
  CloseHandle(mutex);
  return true;
}

// The window's process tells a restarted companion from one left running.
void PrintTray() {
  std::string line = std::string("tray mutex ") + (TrayMutexExists() ? "yes" : "no");
  if (HWND window = FindWindowW(TrayClass, nullptr)) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    line += " window yes process " + std::to_string(process) + " visible " +
            (IsWindowVisible(window) ? "yes" : "no");
  } else {
    line += " window no";
  }
  Out(line);
}

void PrintPending() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return;
  DWORD size = 0;
  std::vector<wchar_t> value;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) ==
          ERROR_SUCCESS &&
      size) {
    value.assign(size / sizeof(wchar_t) + 2, 0);
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
      value.clear();
  }
  RegCloseKey(key);
  // Pairs of source and target; an empty target asks for a deletion.
  const wchar_t* at = value.data();
  const wchar_t* end = value.data() + size / sizeof(wchar_t);
  while (!value.empty() && at < end && *at) {
    const wchar_t* source = at;
    at += std::wcslen(at) + 1;
    const wchar_t* target = at < end ? at : L"";
    at += std::wcslen(target) + 1;
    Out("pending " + Quote(source) + " -> " + Quote(target));
  }
}

int State() {
  PrintMonitors();
  PrintPorts();
  PrintDrivers();
  PrintPrinters();
  PrintDefaultPrinter();
  PrintRunValue();
  PrintTray();
  PrintPending();
  return 0;
}

int AddPrinterVerb(int argc, wchar_t** argv) {
  if (argc < 7 || argc > 9) return Usage();
  const bool dsUserOnly = argc == 9 && std::wcscmp(argv[8], L"dsuser") == 0;
  if (argc == 9 && !dsUserOnly) return Usage();
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
  int result = 0;
  if (argc >= 8 && *argv[7]) {
    const std::string subKey = Utf8(argv[7]);
    auto* data = reinterpret_cast<BYTE*>(const_cast<char*>(subKey.c_str()));
    const auto size = static_cast<DWORD>(subKey.size() + 1);
    DWORD status = ERROR_SUCCESS;
    if (!dsUserOnly) status = SetPrinterDataA(printer, const_cast<char*>("SubKey"), REG_SZ, data, size);
    if (status == ERROR_SUCCESS)
      status = SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, data, size);
    if (status != ERROR_SUCCESS) {
      SetLastError(status);
      result = Fail("SetPrinterData");
    }
  }
  ClosePrinter(printer);
  return result;
}

int AddDriverVerb(int argc, wchar_t** argv) {
  if (argc != 5) return Usage();
  DRIVER_INFO_3W info{};
  info.cVersion = 3;
  info.pName = argv[2];
  info.pEnvironment = const_cast<wchar_t*>(Environment);
  info.pDriverPath = argv[3];
  info.pDataFile = argv[3];
  info.pConfigFile = argv[4];
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES))
    return Fail("AddPrinterDriverExW");
  return 0;
}

int AddMonitorVerb(int argc, wchar_t** argv) {
  if (argc != 4) return Usage();
  MONITOR_INFO_2W info{argv[2], const_cast<wchar_t*>(Environment), argv[3]};
  if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))) return Fail("AddMonitorW");
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
  WaitForSingleObject(release, HoldLimitMs);
  CloseHandle(file);
  ResetEvent(held);
  return 0;
}

int WaitEvent(const wchar_t* name) {
  HANDLE event = NamedEvent(name);
  if (!event) return Fail("CreateEventW");
  if (WaitForSingleObject(event, WaitLimitMs) != WAIT_OBJECT_0) {
    std::fputs("corvane-inspect: timed out\n", stderr);
    return 1;
  }
  return 0;
}

int Release() {
  HANDLE event = NamedEvent(ReleaseEvent);
  if (!event || !SetEvent(event)) return Fail("SetEvent");
  return 0;
}

// The companion makes its mutex before its window: both, or neither.
int WaitTray(const wchar_t* wanted) {
  const bool present = std::wcscmp(wanted, L"present") == 0;
  if (!present && std::wcscmp(wanted, L"absent") != 0) return Usage();
  const DWORD start = GetTickCount();
  auto window = [] { return FindWindowW(TrayClass, nullptr) != nullptr; };
  while (TrayMutexExists() != present || window() != present) {
    if (GetTickCount() - start > WaitLimitMs) {
      std::fputs("corvane-inspect: timed out\n", stderr);
      return 1;
    }
    Sleep(PollMs);
  }
  return 0;
}

// The log dialog: a dialog-class top-level window titled "Corvane build ...".
struct Search {
  HWND found;
};

BOOL CALLBACK FindLogDialog(HWND window, LPARAM lParam) {
  wchar_t className[64] = {};
  wchar_t title[256] = {};
  GetClassNameW(window, className, 64);
  GetWindowTextW(window, title, 256);
  if (std::wcscmp(className, L"#32770") == 0 && std::wcsncmp(title, L"Corvane build ", 14) == 0) {
    reinterpret_cast<Search*>(lParam)->found = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring WindowText(HWND window) {
  // WM_GETTEXT crosses processes; GetWindowText would not read another
  // process's control.
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

int Dialog(const wchar_t* textFile) {
  Search search{nullptr};
  const DWORD start = GetTickCount();
  for (;;) {
    EnumWindows(FindLogDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) break;
    if (GetTickCount() - start > DialogLimitMs) {
      std::fputs("corvane-inspect: no log dialog appeared\n", stderr);
      return 1;
    }
    Sleep(PollMs);
  }
  HWND dialog = search.found;
  HWND button = GetDlgItem(dialog, IDOK);
  HWND edit = GetDlgItem(dialog, LogEditId);
  Out("title " + Quote(Utf8(WindowText(dialog).c_str())));
  if (button)
    Out("button " + Quote(Utf8(WindowText(button).c_str())));
  else
    Out("button (none)");
  if (edit) {
    // The box as the user meets it; the dialog manager may trade WS_BORDER
    // for an extended edge, so only the behaviour bits are shown.
    wchar_t className[64] = {};
    GetClassNameW(edit, className, 64);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(edit, GWL_STYLE));
    auto flag = [style](DWORD bit) { return (style & bit) ? "yes" : "no"; };
    Out("box class " + Quote(className) + " multiline " + flag(ES_MULTILINE) + " readonly " +
        flag(ES_READONLY) + " vscroll " + flag(WS_VSCROLL));
  } else {
    Out("box (none)");
  }
  const std::string text = edit ? Utf8(WindowText(edit).c_str()) : std::string();
  HANDLE file = CreateFileW(textFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("CreateFileW");
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  if (!wrote) return Fail("WriteFile");
  // What the Close button sends when clicked.
  if (!PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button)))
    return Fail("PostMessageW");
  return 0;
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
  const bool isDown = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
  if (isDown != down) {
    std::fputs("corvane-inspect: Shift state did not change\n", stderr);
    return 1;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  const std::wstring verb = argv[1];
  if (verb == L"state" && argc == 2) return State();
  if (verb == L"add-printer") return AddPrinterVerb(argc, argv);
  if (verb == L"add-driver") return AddDriverVerb(argc, argv);
  if (verb == L"add-monitor") return AddMonitorVerb(argc, argv);
  if (verb == L"printer" && argc == 3) return PrinterVerb(argv[2]);
  if (verb == L"build" && argc == 3) return BuildVerb(argv[2]);
  if (verb == L"set-default" && argc == 3)
    return SetDefaultPrinterW(argv[2]) ? 0 : Fail("SetDefaultPrinterW");
  if (verb == L"pending-delete" && argc == 3)
    return MoveFileExW(argv[2], nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : Fail("MoveFileExW");
  if (verb == L"hold" && argc == 3) return Hold(argv[2], 0);
  if (verb == L"hold" && argc == 4 && std::wstring(argv[3]) == L"shared")
    return Hold(argv[2], FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (verb == L"wait-held" && argc == 2) return WaitEvent(HeldEvent);
  if (verb == L"release" && argc == 2) return Release();
  if (verb == L"wait-tray" && argc == 3) return WaitTray(argv[2]);
  if (verb == L"dialog" && argc == 3) return Dialog(argv[2]);
  if (verb == L"shift" && argc == 3) return Shift(argv[2]);
  if (verb == L"atom" && argc == 4 && std::wstring(argv[2]) == L"add")
    return GlobalAddAtomW(argv[3]) ? 0 : Fail("GlobalAddAtomW");
  if (verb == L"atom" && argc == 4 && std::wstring(argv[2]) == L"find") return GlobalFindAtomW(argv[3]) ? 0 : 3;
  return Usage();
}
