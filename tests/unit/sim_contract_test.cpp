// Calls the program makes only the right way, made the wrong way: the
// simulated machine must refuse them, size its answers and compare names as
// Windows does, or a program that slipped would pass here and fail there.
#include <functional>

#include "platform/sim/print_store.h"
#include "sim_test.h"

namespace {

using namespace win;

const char16_t kMonitor[] = u"C:\\Windows\\system32\\vexmon64.dll";
char16_t* W(const char16_t* text) { return const_cast<char16_t*>(text); }
// The last error of a call that had to fail; 0 when it went through.
DWORD Refused(bool succeeded) { return succeeded ? 0 : GetLastError(); }
HANDLE Printer(const char16_t* name, DWORD access) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
  HANDLE printer = nullptr;
  OpenPrinterW(W(name), &printer, access ? &defaults : nullptr);
  return printer;
}
SC_HANDLE Spooler(DWORD access) {
  return OpenServiceW(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT), u"Spooler", access);
}
// A call with a buffer one unit shorter than the size the first call names.
DWORD OneShort(const std::function<bool(BYTE*, DWORD, DWORD*)>& call) {
  DWORD needed = 0;
  call(nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed + 2);
  return Refused(call(buffer.data(), needed - 1, &needed));
}
HKEY Key(const char16_t* path, DWORD access) {
  HKEY key = nullptr;
  RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, &key);
  return key;
}
void SpoolerIn(sim::Machine& m, DWORD state) { m.FindService(u"Spooler")->state = state; }

using SimContract = SimTest;

TEST_F(SimContract, RefusesWhatWindowsRefuses) {
  static PRINTER_INFO_2W printer{};
  static SERVICE_STATUS status{};
  static BYTE buffer[256];
  static DWORD size = 0;
  const struct {
    const char* what;
    std::function<void(sim::Machine&)> before;
    std::function<DWORD()> call;
    DWORD expected;
  } rows[] = {
      {"the driver directory, one byte short", nullptr, [] { return OneShort([](BYTE* b, DWORD s, DWORD* n) {
         return GetPrinterDriverDirectoryW(nullptr, W(u"Windows x64"), 1, b, s, n); }); }, ERROR_INSUFFICIENT_BUFFER},
      {"the default printer, one character short", [](sim::Machine&) { SetDefaultPrinterW(u"Corvane"); },
       [] { return OneShort([](BYTE* b, DWORD s, DWORD* n) {
         return *n = s, GetDefaultPrinterW(reinterpret_cast<char16_t*>(b), n); }); }, ERROR_INSUFFICIENT_BUFFER},
      {"a security descriptor, one byte short", nullptr, [] { return OneShort([](BYTE* b, DWORD s, DWORD* n) {
         return GetFileSecurityW(kMonitor, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, b, s, n); }); },
       ERROR_INSUFFICIENT_BUFFER},
      {"a version block, one byte short", nullptr, [] { std::vector<BYTE> block(4096);
         return Refused(GetFileVersionInfoW(kMonitor, 0, GetFileVersionInfoSizeW(kMonitor, nullptr) - 1, block.data())); },
       ERROR_INSUFFICIENT_BUFFER},
      {"the system directory without room for its terminator: the size it needs", nullptr,
       [] { return static_cast<DWORD>(GetSystemDirectoryW(reinterpret_cast<char16_t*>(buffer), 19)); }, 20},
      {"a value too long for its buffer: the size it needs", nullptr, [] { size = 2;
         return RegQueryValueExW(Key(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", KEY_READ), u"CorvaneTray",
                                 nullptr, nullptr, buffer, &size) == ERROR_MORE_DATA ? size : 0; }, 78},
      {"a key made through a handle that may only read", nullptr, [] { HKEY made = nullptr;
         return static_cast<DWORD>(RegCreateKeyExW(Key(u"SOFTWARE", KEY_READ), u"New", 0, nullptr, 0, KEY_WRITE, nullptr,
                                                   &made, nullptr)); }, ERROR_ACCESS_DENIED},
      {"the monitor again, its environment in other letters", nullptr, [] {
         MONITOR_INFO_2W info{W(u"Corvane:"), W(u"windows X64"), W(u"vexmon64.dll")};
         return Refused(AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))); }, ERROR_PRINT_MONITOR_ALREADY_INSTALLED},
      {"a driver a printer names in other letters", [](sim::Machine& m) {
         m.hklm.Remove(std::u16string(sim::PrintersKey) + u"\\Corvane");
         sim::WritePrinter(m, {u"P", u"CORVANE PRINTER", u"LPT1:", u"", u"", 0}); },
       [] { return Refused(DeletePrinterDriverExW(nullptr, W(u"Windows x64"), W(u"Corvane printer"), 0, 0)); },
       ERROR_PRINTER_DRIVER_IN_USE},
      {"a printer by its name in other letters", nullptr,
       [] { return Refused(Printer(u"CORVANE", PRINTER_ACCESS_USE) != nullptr); }, 0},
      {"a folder as a driver's file", nullptr, [] {
         DRIVER_INFO_6W info{3, W(u"Folder"), nullptr, W(u"C:\\Windows"), W(u"C:\\Windows"), W(u"C:\\Windows"), W(u"")};
         return Refused(AddPrinterDriverExW(nullptr, 6, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES)); },
       ERROR_FILE_NOT_FOUND},
      {"a printer changed through a handle opened without rights", nullptr,
       [] { return Refused(SetPrinterW(Printer(u"Corvane", 0), 2, reinterpret_cast<BYTE*>(&printer), 0)); },
       ERROR_ACCESS_DENIED},
      {"a printer changed through a handle that may use and administer it", nullptr, [] {
         return Refused(SetPrinterW(Printer(u"Corvane", PRINTER_ACCESS_USE | PRINTER_ACCESS_ADMINISTER), 2,
                                    reinterpret_cast<BYTE*>(&printer), 0)); }, ERROR_ACCESS_DENIED},
      {"printer data set through a handle that may only use it", nullptr, [] {
         return SetPrinterDataExA(Printer(u"Corvane", PRINTER_ACCESS_USE), "PrinterDriverData", "x", REG_SZ, buffer, 2); },
       ERROR_ACCESS_DENIED},
      {"a printer deleted through a handle that may only use it", nullptr,
       [] { return Refused(DeletePrinter(Printer(u"Corvane", PRINTER_ACCESS_USE))); }, ERROR_ACCESS_DENIED},
      {"a read-only file deleted", [](sim::Machine& m) {
         m.AddFile(u"C:\\ro.txt", {1}), m.FindFile(u"C:\\ro.txt")->attributes |= FILE_ATTRIBUTE_READONLY; },
       [] { return Refused(DeleteFileW(u"C:\\ro.txt")); }, ERROR_ACCESS_DENIED},
      {"a file read through a handle opened for writing", nullptr, [] {
         HANDLE file = CreateFileW(u"C:\\Program Files\\Corvane\\Setup\\vexhelp.chm", GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
         return Refused(ReadFile(file, buffer, 1, &size, nullptr)); }, ERROR_ACCESS_DENIED},
      {"a file moved onto another", [](sim::Machine& m) { m.AddFile(u"C:\\a.txt", {1}), m.AddFile(u"C:\\b.txt", {2}); },
       [] { return Refused(MoveFileExW(u"C:\\a.txt", u"C:\\b.txt", 0)); }, ERROR_ALREADY_EXISTS},
      {"the monitor deleted while the spooler stops, still loaded",
       [](sim::Machine& m) { SpoolerIn(m, SERVICE_STOP_PENDING); }, [] { return Refused(DeleteFileW(kMonitor)); },
       ERROR_ACCESS_DENIED},
      {"the spooler stopped while it stops", [](sim::Machine& m) { SpoolerIn(m, SERVICE_STOP_PENDING); },
       [] { return Refused(ControlService(Spooler(SERVICE_STOP), SERVICE_CONTROL_STOP, &status)); },
       ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
      {"the spooler stopped through a handle that may only query it", nullptr,
       [] { return Refused(ControlService(Spooler(SERVICE_QUERY_STATUS), SERVICE_CONTROL_STOP, &status)); },
       ERROR_ACCESS_DENIED},
      {"a spooler call while it starts", [](sim::Machine& m) { SpoolerIn(m, SERVICE_START_PENDING); },
       [] { return Refused(Printer(u"Corvane", PRINTER_ACCESS_USE) != nullptr); }, RPC_S_SERVER_UNAVAILABLE},
      {"a token read through a handle that may only duplicate it", nullptr, [] {
         HANDLE token = nullptr;
         OpenProcessToken(GetCurrentProcess(), 0x0002, &token);
         return Refused(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)); }, ERROR_ACCESS_DENIED},
      {"a path that climbs above its drive's root stays on the drive", nullptr,
       [] { return Refused(GetFileAttributesW(u"C:\\..\\Windows\\system32") != INVALID_FILE_ATTRIBUTES); }, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Reset();
    Run(u"install");
    if (row.before) row.before(machine);
    EXPECT_EQ(row.call(), row.expected);
  }
}

}  // namespace
