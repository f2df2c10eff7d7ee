// Calls the program makes only the right way, made the wrong way: the
// simulated machine must refuse them, size its answers and compare names as
// Windows does, or a program that slipped would pass here and fail there.
#include "platform/sim/print_store.h"
#include "sim_test.h"

namespace {

using namespace win;

const char16_t kMonitor[] = u"C:\\Windows\\system32\\vexmon64.dll";
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
      {"the driver directory into 74 bytes: it needs 76", nullptr,
       [] { return Refused(GetPrinterDriverDirectoryW(nullptr, W(u"Windows x64"), 1, buffer, 74, &size)); },
       ERROR_INSUFFICIENT_BUFFER},
      {"the monitor again, its environment in other letters", nullptr, [] {
         MONITOR_INFO_2W info{W(u"Corvane:"), W(u"windows X64"), W(u"vexmon64.dll")};
         return Refused(AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))); }, ERROR_PRINT_MONITOR_ALREADY_INSTALLED},
      {"a printer by its name in other letters", nullptr,
       [] { return Refused(Printer(u"CORVANE", PRINTER_ACCESS_USE) != nullptr); }, 0},
      {"a printer changed through a handle opened without rights", nullptr,
       [] { return Refused(SetPrinterW(Printer(u"Corvane", 0), 2, reinterpret_cast<BYTE*>(&printer), 0)); },
       ERROR_ACCESS_DENIED},
      {"a printer deleted through a handle that may only use it", nullptr,
       [] { return Refused(DeletePrinter(Printer(u"Corvane", PRINTER_ACCESS_USE))); }, ERROR_ACCESS_DENIED},
      {"a read-only file deleted", [](sim::Machine& m) {
         m.AddFile(u"C:\\ro.txt", {1}), m.FindFile(u"C:\\ro.txt")->attributes |= FILE_ATTRIBUTE_READONLY; },
       [] { return Refused(DeleteFileW(u"C:\\ro.txt")); }, ERROR_ACCESS_DENIED},
      {"the monitor deleted while the spooler stops, still loaded",
       [](sim::Machine& m) { SpoolerIn(m, SERVICE_STOP_PENDING); }, [] { return Refused(DeleteFileW(kMonitor)); },
       ERROR_ACCESS_DENIED},
      {"the spooler stopped while it stops", [](sim::Machine& m) { SpoolerIn(m, SERVICE_STOP_PENDING); },
       [] { return Refused(ControlService(Spooler(SERVICE_STOP), SERVICE_CONTROL_STOP, &status)); },
       ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
      {"a spooler call while it starts", [](sim::Machine& m) { SpoolerIn(m, SERVICE_START_PENDING); },
       [] { return Refused(Printer(u"Corvane", PRINTER_ACCESS_USE) != nullptr); }, RPC_S_SERVER_UNAVAILABLE},
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
