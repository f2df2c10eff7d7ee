// The simulated spooler refuses what Windows refuses, with Windows' codes,
// so that the program's retry paths are driven as on a real machine.
#include "platform/sim/print_store.h"
#include "sim_test.h"

namespace {

const std::u16string kMonitorDll = u"C:\\Windows\\system32\\vexmon64.dll";
const std::u16string kDriverUi = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\vexui64.dll";

class SimSpoolerTest : public SimTest {
 protected:
  win::DWORD Failure(bool result) {
    EXPECT_FALSE(result);
    return win::GetLastError();
  }
  bool AddCorvaneMonitor() {
    win::MONITOR_INFO_2W info{W(u"Corvane:"), W(u"Windows x64"), W(u"vexmon64.dll")};
    return win::AddMonitorW(nullptr, 2, reinterpret_cast<win::BYTE*>(&info));
  }
};

TEST_F(SimSpoolerTest, MonitorRegistrationAndRemoval) {
  EXPECT_EQ(Failure(AddCorvaneMonitor()), win::ERROR_MOD_NOT_FOUND) << "the DLL must be in the system directory";
  machine.AddFile(kMonitorDll, {1});
  EXPECT_TRUE(AddCorvaneMonitor());
  EXPECT_EQ(Failure(AddCorvaneMonitor()), win::ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
  EXPECT_TRUE(sim::PortExists(machine, u"CORVANE:"));

  EXPECT_EQ(Failure(win::DeleteFileW(kMonitorDll.c_str())), win::ERROR_ACCESS_DENIED)
      << "the running spooler has the monitor loaded";
  sim::WritePrinter(machine, {u"P", u"Any", u"Corvane:", u"", u"", 0});
  EXPECT_EQ(Failure(win::DeleteMonitorW(nullptr, nullptr, W(u"Corvane:"))), win::ERROR_PRINT_MONITOR_IN_USE);
  machine.hklm.Remove(std::u16string(sim::PrintersKey) + u"\\P");
  EXPECT_TRUE(win::DeleteMonitorW(nullptr, nullptr, W(u"Corvane:")));
  EXPECT_EQ(Failure(win::DeleteMonitorW(nullptr, nullptr, W(u"Corvane:"))), win::ERROR_UNKNOWN_PRINT_MONITOR);
  EXPECT_TRUE(win::DeleteFileW(kMonitorDll.c_str()));

  // A loaded monitor is let go while the spooler is stopped.
  machine.AddFile(kMonitorDll, {1});
  ASSERT_TRUE(AddCorvaneMonitor());
  machine.services[0].state = win::SERVICE_STOPPED;
  EXPECT_EQ(Failure(AddCorvaneMonitor()), win::RPC_S_SERVER_UNAVAILABLE);
  EXPECT_TRUE(win::DeleteFileW(kMonitorDll.c_str()));

  // The file name is kept as given, a folder included, and the file is looked for there.
  machine.services[0].state = win::SERVICE_RUNNING;
  machine.AddFile(u"C:\\Other\\mon.dll", {1});
  win::MONITOR_INFO_2W other{W(u"Other:"), nullptr, W(u"C:\\Other\\mon.dll")};
  EXPECT_TRUE(win::AddMonitorW(nullptr, 2, reinterpret_cast<win::BYTE*>(&other)));
  EXPECT_EQ(sim::MonitorDll(machine, u"Other:"), u"C:\\Other\\mon.dll");
  EXPECT_EQ(Failure(win::DeleteFileW(u"C:\\Other\\mon.dll")), win::ERROR_ACCESS_DENIED) << "loaded from there";
  EXPECT_EQ(machine.Arguments("AddMonitorW").back().at("pEnvironment"), std::nullopt);
}

TEST_F(SimSpoolerTest, DriverFilesAreCopiedAndRemovedWithTheDriver) {
  const std::u16string setup = u"C:\\Program Files\\Corvane\\Setup\\";
  std::u16string driver = setup + u"vexdrv64.dll", ui = setup + u"vexui64.dll", missing = setup + u"none.chm";
  win::DRIVER_INFO_6W info{3, W(u"Corvane printer"), nullptr, driver.data(), driver.data(), ui.data(), missing.data()};
  EXPECT_EQ(Failure(win::AddPrinterDriverExW(nullptr, 6, reinterpret_cast<win::BYTE*>(&info), win::APD_COPY_ALL_FILES)),
            win::ERROR_FILE_NOT_FOUND);
  info.pHelpFile = W(u"");
  // Only user-mode drivers of version 3 are taken; the version is kept as given.
  for (const auto& [version, error] : {std::pair{2u, 1930u}, {4u, win::ERROR_INVALID_PARAMETER}, {0u, win::ERROR_INVALID_PARAMETER}}) {
    info.cVersion = version;
    EXPECT_EQ(Failure(win::AddPrinterDriverExW(nullptr, 6, reinterpret_cast<win::BYTE*>(&info), win::APD_COPY_ALL_FILES)),
              error) << version;
  }
  info.cVersion = 3;
  EXPECT_TRUE(win::AddPrinterDriverExW(nullptr, 6, reinterpret_cast<win::BYTE*>(&info), win::APD_COPY_ALL_FILES));
  EXPECT_NE(machine.FindFile(kDriverUi), nullptr);
  // An empty help path and a null one are kept apart.
  sim::DriverRecord kept;
  ASSERT_TRUE(sim::FindDriver(machine, u"Windows x64", u"Corvane printer", kept));
  EXPECT_EQ(kept.version, 3u);
  EXPECT_TRUE(kept.helpFileGiven);
  info.pHelpFile = nullptr;
  info.pName = W(u"Corvane null help");
  EXPECT_TRUE(win::AddPrinterDriverExW(nullptr, 6, reinterpret_cast<win::BYTE*>(&info), win::APD_COPY_ALL_FILES));
  ASSERT_TRUE(sim::FindDriver(machine, u"Windows x64", u"Corvane null help", kept));
  EXPECT_FALSE(kept.helpFileGiven);
  EXPECT_EQ(machine.Arguments("AddPrinterDriverExW").back().at("pHelpFile"), std::nullopt);
  EXPECT_EQ(machine.Arguments("AddPrinterDriverExW")[3].at("pHelpFile"), u"");

  sim::WritePrinter(machine, {u"P", u"Corvane printer", u"LPT1:", u"", u"", 0});
  EXPECT_EQ(Failure(win::DeletePrinterDriverExW(nullptr, nullptr, W(u"Corvane printer"), win::DPD_DELETE_ALL_FILES, 0)),
            win::ERROR_PRINTER_DRIVER_IN_USE);
  machine.hklm.Remove(std::u16string(sim::PrintersKey) + u"\\P");
  EXPECT_TRUE(win::DeletePrinterDriverExW(nullptr, nullptr, W(u"Corvane printer"), win::DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(machine.FindFile(kDriverUi), nullptr);
  EXPECT_EQ(Failure(win::DeletePrinterDriverExW(nullptr, nullptr, W(u"Corvane printer"), win::DPD_DELETE_ALL_FILES, 0)),
            win::ERROR_UNKNOWN_PRINTER_DRIVER);
}

}  // namespace
