// Listing monitors and registering "Corvane:": the copy stage, the
// registration retries and moving parked printers back.
#include <cstring>

#include "core/log.h"
#include "monitor/port_monitor_install.h"
#include "platform/sim/print_store.h"
#include "sim_test.h"
#include "snapshot.h"

namespace {

const std::u16string kSystemDll = u"C:\\Windows\\system32\\vexmon64.dll";

class PortMonitorTest : public SimTest {
 protected:
  InstallState state{};
  PortMonitorTest() {
    ModuleInstance = Instance();
    CreateInstallState(state, ModeX64);
    ReleaseLog();
  }
  ~PortMonitorTest() override {
    ReleaseInstallState(state);
    EXPECT_TRUE(machine.globalBlocks.empty()) << "global blocks left";
    EXPECT_TRUE(machine.handles.empty()) << "handles left open";
  }
  void ReleaseLog() { Release(state.Log); }
  std::vector<std::u16string> Log() { return Lines(LogOf(state)); }
};

TEST_F(PortMonitorTest, ListingReportsEachKindOfFailureWithoutCountingIt) {
  MonitorList list = ListPortMonitors(state);
  EXPECT_EQ(list.count, 1u);
  EXPECT_EQ(list.level, 2u);
  EXPECT_EQ(std::u16string(reinterpret_cast<win::MONITOR_INFO_2W*>(list.entries)[0].pName), u"Local Port");
  win::GlobalFree(list.entries);
  EXPECT_EQ(LogOf(state), u"");

  machine.services[0].state = win::SERVICE_STOPPED;
  list = ListPortMonitors(state);
  machine.services[0].state = win::SERVICE_RUNNING;
  machine.Fail("EnumMonitorsW", 0x12345);
  ListPortMonitors(state);
  machine.Fail("GlobalAlloc", win::ERROR_NOT_ENOUGH_MEMORY);
  ListPortMonitors(state);
  const auto outOfMemory = win::GetLastError();
  machine.Fail("EnumMonitorsW", win::ERROR_ACCESS_DENIED, 1, 1);
  MonitorList failed = ListPortMonitors(state);
  EXPECT_EQ(failed.entries, nullptr);
  EXPECT_EQ(failed.count, 0u);
  EXPECT_EQ(outOfMemory, win::E_OUTOFMEMORY_CODE);
  // The system's text goes in as it comes, its line break included.
  EXPECT_EQ(LogOf(state),
            u"2. EnumMonitors  failed with code: The RPC server is unavailable.\r\n\r\n"
            u"2. EnumMonitors  failed with code: No Error or no description\r\n"
            u"3. EnumMonitors - can't allocate memory for buffer\r\n"
            u"3. EnumMonitors  failed with code: Access is denied.\r\n\r\n");
  EXPECT_EQ(state.ErrorCount, 0);

  machine.hklm.Remove(sim::MonitorsKey);
  ReleaseLog();
  list = ListPortMonitors(state);
  EXPECT_EQ(list.entries, nullptr);
  EXPECT_EQ(LogOf(state), u"1. EnumMonitors returns true\r\n");
}

TEST_F(PortMonitorTest, FindMatchesTheWholeNameExactly) {
  win::MONITOR_INFO_2W records[4] = {};
  char16_t a[] = u"Local Port", b[] = u"Corvane", c[] = u"Corvane:", d[] = u"corvane:", e[] = u"Corvane:2";
  records[0].pName = a;
  records[1].pName = b;
  records[2].pName = c;
  MonitorList list{reinterpret_cast<win::BYTE*>(records), 2, 3};
  EXPECT_EQ(FindPortMonitor(list), 2);
  list.count = 2;
  EXPECT_EQ(FindPortMonitor(list), -1);
  records[0].pName = d;
  records[1].pName = e;
  EXPECT_EQ(FindPortMonitor(list), -1);
  list.level = 3;
  list.count = 3;
  EXPECT_EQ(FindPortMonitor(list), -1) << "records of an unknown level never match";
  win::MONITOR_INFO_1W level1[2] = {{a}, {c}};
  EXPECT_EQ(FindPortMonitor(MonitorList{reinterpret_cast<win::BYTE*>(level1), 1, 2}), 1);
  EXPECT_EQ(FindPortMonitor(MonitorList{nullptr, 2, 0}), -1);
}

TEST_F(PortMonitorTest, LogListsEveryRecordAndMarksNamelessOnes) {
  win::MONITOR_INFO_2W records[2] = {};
  char16_t name[] = u"Local Port";
  records[0].pName = name;
  LogPortMonitors(state, MonitorList{reinterpret_cast<win::BYTE*>(records), 2, 2});
  EXPECT_EQ(Log(), (std::vector<std::u16string>{u"------- 2 existing monitors ----------", u"1. Local Port",
                                                u"2. ***EMPTY***",
                                                u"---------------------------------------"}));
}

TEST_F(PortMonitorTest, CleanRegistrationCopiesTheFileFirst) {
  InstallPortMonitor(state);
  EXPECT_EQ(Log(), (std::vector<std::u16string>{
                       u"#AddMonitor", u"  Copy monitor file",
                       u"    CopyFile vexmon64.dll to C:\\Windows\\system32\\)- OK", u"  AddMonitor - OK :)"}));
  EXPECT_TRUE(sim::MonitorRegistered(machine, u"Corvane:"));
  EXPECT_EQ(sim::MonitorDll(machine, u"Corvane:"), u"vexmon64.dll");
  EXPECT_TRUE(sim::PortExists(machine, u"Corvane:"));
  EXPECT_NE(machine.FindFile(kSystemDll), nullptr);
  EXPECT_EQ(state.Indent, 0);
}

TEST_F(PortMonitorTest, SkippingTheCopyRegistersTheFileInPlace) {
  machine.AddFile(kSystemDll, sim::VersionedFileImage(2610));
  state.CopyMonitor = 0;
  InstallPortMonitor(state);
  EXPECT_EQ(Log(), (std::vector<std::u16string>{u"#AddMonitor", u"  Skip copy monitor file",
                                                u"  AddMonitor - OK :)"}));
  EXPECT_EQ(machine.FindFile(kSystemDll)->data, sim::VersionedFileImage(2610));
}

TEST_F(PortMonitorTest, FileHeldBySpoolerIsCopiedWithTheSpoolerStopped) {
  // An older monitor of another name still has the file loaded.
  machine.AddFile(kSystemDll, sim::VersionedFileImage(2500));
  sim::RegisterMonitor(machine, u"Corvane Old", u"vexmon64.dll", {});
  InstallPortMonitor(state);
  EXPECT_EQ(machine.Count("ControlService"), 1);
  EXPECT_EQ(machine.Count("StartServiceW"), 1);
  EXPECT_EQ(state.ErrorCount, 0);
  const auto log = LogOf(state);
  EXPECT_NE(log.find(u"  #Restart Spooler\r\n    CopyFile vexmon64.dll to C:\\Windows\\system32\\)- OK"),
            std::u16string::npos);
  EXPECT_EQ(log.find(u"Can't copy monitor file"), std::u16string::npos);
  EXPECT_EQ(machine.FindFile(kSystemDll)->data, machine.FindFile(u"C:\\Program Files\\Corvane\\Setup\\vexmon64.dll")->data);
}

TEST_F(PortMonitorTest, FileLockedForGoodIsCountedOnceAndRegistrationStillTried) {
  machine.AddFile(kSystemDll, sim::VersionedFileImage(2500));
  machine.HoldFile(kSystemDll, UINT64_MAX);
  InstallPortMonitor(state);
  const auto log = LogOf(state);
  EXPECT_NE(log.find(u"    Error(9): CopyFile vexmon64.dll to C:\\Windows\\system32\\) Cant't open destination "
                     u"file- FAILED! - (The process cannot access the file because it is being used by another "
                     u"process.)\r\n  Can't copy monitor file\r\n  AddMonitor - OK :)"),
            std::u16string::npos);
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_EQ(machine.Count("ControlService"), 1);
}

TEST_F(PortMonitorTest, RegistrationRetriesFiftyMillisecondsApart) {
  machine.Fail("AddMonitorW", win::ERROR_ACCESS_DENIED, 2);
  const auto start = machine.nowMs;
  InstallPortMonitor(state);
  EXPECT_EQ(machine.Count("AddMonitorW"), 3);
  EXPECT_EQ(machine.nowMs - start, 100u);
  const auto log = Log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[3], u"  AddMonitor - failed. Trying to wait and install again");
  EXPECT_EQ(log[4], log[3]);
  EXPECT_EQ(log[5], u"  AddMonitor - OK :)");
  EXPECT_EQ(state.ErrorCount, 0);
}

TEST_F(PortMonitorTest, FiveRefusalsAreErrorElevenAndNoPrinterMovesBack) {
  state.Printers = MakeSnapshot({{u"P1", u"file:", u"Corvane printer", u"", u""}});
  state.MovedPrinters = static_cast<win::PRINTER_INFO_2W**>(win::GlobalAlloc(win::GPTR, 2 * sizeof(void*)));
  state.MovedPrinters[0] = &state.Printers.entries[0];
  machine.Fail("AddMonitorW", win::ERROR_ACCESS_DENIED, -1);
  const auto start = machine.nowMs;
  InstallPortMonitor(state);
  EXPECT_EQ(machine.Count("AddMonitorW"), 5);
  EXPECT_EQ(machine.nowMs - start, 200u);
  const auto log = Log();
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[8], u"  Error(11): Can`t install a local port monitor'Corvane:' - (Access is denied.)");
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_EQ(machine.Count("OpenPrinterW"), 0);
  EXPECT_EQ(std::u16string(state.Printers.entries[0].pPortName), u"file:");
  EXPECT_EQ(state.Indent, 0);
}

TEST_F(PortMonitorTest, MovingBackLeavesEveryOtherByteOfTheSnapshotAlone) {
  sim::WritePrinter(machine, {u"Alpha", u"Corvane printer", u"FILE:", u"", u"", 0});
  sim::WritePrinter(machine, {u"Beta", u"Corvane printer", u"LPT1:", u"", u"", 0});
  state.Printers = MakeSnapshot({{u"Alpha", u"file:", u"Corvane printer", u"Office", u"2nd floor"},
                                 {u"Beta", u"LPT1:", u"Corvane printer", u"Hall", u"Lobby"},
                                 {u"Gamma", u"file:", u"Other", u"", u""}});
  const std::size_t bytes = machine.globalBlocks.at(state.Printers.entries);
  std::vector<win::BYTE> before(reinterpret_cast<win::BYTE*>(state.Printers.entries),
                                reinterpret_cast<win::BYTE*>(state.Printers.entries) + bytes);
  state.MovedPrinters = static_cast<win::PRINTER_INFO_2W**>(win::GlobalAlloc(win::GPTR, 3 * sizeof(void*)));
  state.MovedPrinters[0] = &state.Printers.entries[0];
  state.MovedPrinters[1] = &state.Printers.entries[1];

  InstallPortMonitor(state);

  const auto& alpha = state.Printers.entries[0];
  EXPECT_EQ(std::u16string(alpha.pPortName), u"Corvane:");
  EXPECT_EQ(std::u16string(alpha.pDriverName), u"Corvane printer");
  EXPECT_EQ(std::u16string(alpha.pComment), u"Office");
  EXPECT_EQ(std::u16string(alpha.pLocation), u"2nd floor");
  EXPECT_EQ(std::u16string(state.Printers.entries[1].pPrinterName), u"Beta");
  // Only Alpha's port pointer changed; its old text and every neighbour stayed.
  std::vector<win::BYTE> after(reinterpret_cast<win::BYTE*>(state.Printers.entries),
                               reinterpret_cast<win::BYTE*>(state.Printers.entries) + bytes);
  const std::size_t portField = offsetof(win::PRINTER_INFO_2W, pPortName);
  for (std::size_t i = 0; i < bytes; ++i) {
    if (i >= portField && i < portField + sizeof(void*)) continue;
    ASSERT_EQ(before[i], after[i]) << "byte " << i;
  }

  sim::PrinterRecord alphaNow;
  ASSERT_TRUE(sim::FindPrinter(machine, u"Alpha", alphaNow));
  EXPECT_EQ(alphaNow.port, u"Corvane:");
  const auto log = Log();
  EXPECT_EQ(log.back(), u"  SetPrinter(Alpha) - ok");
  EXPECT_EQ(machine.Count("OpenPrinterW"), 1) << "Beta holds no \"file:\" and is skipped";
}

TEST_F(PortMonitorTest, MovedPrintersThatCannotBeWrittenAreLoggedNotCounted) {
  sim::WritePrinter(machine, {u"Kept", u"Corvane printer", u"FILE:", u"", u"", 0});
  state.Printers = MakeSnapshot({{u"Gone", u"file:", u"Corvane printer", u"", u""},
                                 {u"Kept", u"file:", u"Corvane printer", u"", u""}});
  state.MovedPrinters = static_cast<win::PRINTER_INFO_2W**>(win::GlobalAlloc(win::GPTR, 3 * sizeof(void*)));
  state.MovedPrinters[0] = &state.Printers.entries[0];
  state.MovedPrinters[1] = &state.Printers.entries[1];
  machine.Fail("SetPrinterW", win::ERROR_ACCESS_DENIED);
  InstallPortMonitor(state);
  const auto log = Log();
  EXPECT_EQ(log[log.size() - 2], u"  Can't open printer Gone");
  EXPECT_EQ(log.back(), u"  SetPrinter(Kept) - failed");
  EXPECT_EQ(state.ErrorCount, 0);
}

TEST_F(PortMonitorTest, EmptyMovedListOpensNothing) {
  state.Printers = MakeSnapshot({{u"P", u"file:", u"Corvane printer", u"", u""}});
  state.MovedPrinters = static_cast<win::PRINTER_INFO_2W**>(win::GlobalAlloc(win::GPTR, sizeof(void*)));
  InstallPortMonitor(state);
  EXPECT_EQ(machine.Count("OpenPrinterW"), 0);
}

}  // namespace
