// Listing monitors and registering "Corvane:": the copy stage, the
// registration retries and moving parked printers back.
#include "run/log.h"
#include "monitor/port_monitor_install.h"
#include "platform/sim/print_store.h"
#include "printer_setup.h"
#include "sim_test.h"
#include "snapshot.h"

namespace {

const std::u16string kSystemDll = u"C:\\Windows\\system32\\vexmon64.dll";
const std::u16string kCopied = u"    CopyFile vexmon64.dll to C:\\Windows\\system32\\)- OK";

class PortMonitorTest : public StateTest {
 protected:
  PortMonitorTest() { Create(); }
  // Marks these records of the snapshot as parked on "file:", null-ended.
  void Park(std::initializer_list<int> records) {
    state.MovedPrinters =
        static_cast<win::PRINTER_INFO_2W**>(win::GlobalAlloc(win::GPTR, (records.size() + 1) * sizeof(void*)));
    int at = 0;
    for (int r : records) state.MovedPrinters[at++] = &state.Printers.entries[r];
  }
};

TEST_F(PortMonitorTest, ListingReportsEachKindOfFailureWithoutCountingIt) {
  MonitorList list = ListPortMonitors(state);
  EXPECT_EQ(list.count, 1u);
  EXPECT_EQ(list.level, 2u);
  EXPECT_EQ(std::u16string(reinterpret_cast<win::MONITOR_INFO_2W*>(list.entries)[0].pName), u"Local Port");
  win::GlobalFree(list.entries);
  EXPECT_EQ(LogOf(state), u"");

  machine.services[0].state = win::SERVICE_STOPPED;
  ListPortMonitors(state);
  machine.services[0].state = win::SERVICE_RUNNING;
  machine.Fail("EnumMonitorsW", 0x12345);
  ListPortMonitors(state);
  machine.Fail("GlobalAlloc", win::ERROR_NOT_ENOUGH_MEMORY);
  ListPortMonitors(state);
  EXPECT_EQ(win::GetLastError(), win::E_OUTOFMEMORY_CODE);
  machine.Fail("EnumMonitorsW", win::ERROR_ACCESS_DENIED, 1, 1);
  list = ListPortMonitors(state);
  EXPECT_EQ(list.entries, nullptr);
  EXPECT_EQ(list.count, 0u);
  // The system's text goes in as it comes, its line break included.
  EXPECT_EQ(LogOf(state),
            u"2. EnumMonitors  failed with code: The RPC server is unavailable.\r\n\r\n"
            u"2. EnumMonitors  failed with code: No Error or no description\r\n"
            u"3. EnumMonitors - can't allocate memory for buffer\r\n"
            u"3. EnumMonitors  failed with code: Access is denied.\r\n\r\n");
  EXPECT_EQ(state.ErrorCount, 0);

  machine.hklm.Remove(sim::MonitorsKey);
  Release(state.Log);
  EXPECT_EQ(ListPortMonitors(state).entries, nullptr);
  EXPECT_EQ(LogOf(state), u"1. EnumMonitors returns true\r\n");
}

TEST_F(PortMonitorTest, FindMatchesTheWholeNameExactlyAndTheLogMarksNamelessRecords) {
  char16_t a[] = u"Local Port", b[] = u"Corvane", c[] = u"Corvane:", d[] = u"corvane:", e[] = u"Corvane:2";
  win::MONITOR_INFO_2W records[4] = {};
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
  list = {list.entries, 3, 3};
  EXPECT_EQ(FindPortMonitor(list), -1) << "records of an unknown level never match";
  win::MONITOR_INFO_1W level1[2] = {{a}, {c}};
  EXPECT_EQ(FindPortMonitor(MonitorList{reinterpret_cast<win::BYTE*>(level1), 1, 2}), 1);
  EXPECT_EQ(FindPortMonitor(MonitorList{nullptr, 2, 0}), -1);

  records[0].pName = a;
  records[1].pName = nullptr;
  LogPortMonitors(state, MonitorList{reinterpret_cast<win::BYTE*>(records), 2, 2});
  EXPECT_EQ(Log(), (Texts{u"------- 2 existing monitors ----------", u"1. Local Port", u"2. ***EMPTY***",
                          u"---------------------------------------"}));
}

TEST_F(PortMonitorTest, RegistrationRetriesFiftyMillisecondsApartFiveTimesAtMost) {
  const std::u16string retry = u"  AddMonitor - failed. Trying to wait and install again";
  machine.Fail("AddMonitorW", win::ERROR_ACCESS_DENIED, 2);
  const auto start = machine.nowMs;
  InstallPortMonitor(state);
  EXPECT_EQ(machine.Count("AddMonitorW"), 3);
  EXPECT_EQ(machine.nowMs - start, 100u);
  const auto log = Log();
  EXPECT_EQ(Texts(log.begin() + 3, log.end()), (Texts{retry, retry, u"  AddMonitor - OK :)"}));
  EXPECT_EQ(state.ErrorCount, 0);

}

TEST_F(PortMonitorTest, MovingBackLeavesEveryOtherByteOfTheSnapshotAlone) {
  sim::WritePrinter(machine, {u"Alpha", u"Corvane printer", u"FILE:", u"", u"", 0});
  sim::WritePrinter(machine, {u"Beta", u"Corvane printer", u"LPT1:", u"", u"", 0});
  state.Printers = MakeSnapshot({{u"Alpha", u"file:", u"Corvane printer", u"Office", u"2nd floor"},
                                 {u"Beta", u"LPT1:", u"Corvane printer", u"Hall", u"Lobby"},
                                 {u"Gamma", u"file:", u"Other", u"", u""}});
  const auto* block = reinterpret_cast<win::BYTE*>(state.Printers.entries);
  const std::vector<win::BYTE> before(block, block + machine.globalBlocks.at(state.Printers.entries));
  Park({0, 1});

  InstallPortMonitor(state);

  const auto& alpha = state.Printers.entries[0];
  EXPECT_EQ((Texts{alpha.pPortName, alpha.pDriverName, alpha.pComment, alpha.pLocation}),
            (Texts{u"Corvane:", u"Corvane printer", u"Office", u"2nd floor"}));
  // Only Alpha's port pointer changed; its old text and every neighbour stayed.
  const std::size_t portField = offsetof(win::PRINTER_INFO_2W, pPortName);
  for (std::size_t i = 0; i < before.size(); ++i)
    if (i < portField || i >= portField + sizeof(void*)) {
      ASSERT_EQ(before[i], block[i]) << "byte " << i;
    }

  EXPECT_EQ(PrinterNamed(machine, u"Alpha").port, u"Corvane:");
  EXPECT_EQ(Log().back(), u"  SetPrinter(Alpha) - ok");
  EXPECT_EQ(machine.Count("OpenPrinterW"), 1) << "Beta holds no \"file:\" and is skipped";
}

}  // namespace
