// Staging, registering and removing the driver "Corvane printer".
#include "core/log.h"
#include "monitor/printer_driver.h"
#include "platform/sim/print_store.h"
#include "sim_test.h"

namespace {

const std::u16string kSetup = u"C:\\Program Files\\Corvane\\Setup\\";
const std::u16string kStage = u"C:\\Windows\\system32\\spool\\drivers\\x64\\";
const std::u16string kInstalled = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";

class PrinterDriverTest : public SimTest {
 protected:
  InstallState state{};
  PrinterDriverTest() {
    ModuleInstance = Instance();
    CreateInstallState(state, ModeX64);
    Release(state.Log);
  }
  ~PrinterDriverTest() override {
    ReleaseInstallState(state);
    EXPECT_TRUE(machine.globalBlocks.empty()) << "global blocks left";
  }
  std::vector<std::u16string> Log() { return Lines(LogOf(state)); }
  void Remove() {
    DriverList list = ListPrinterDrivers(state.Environment);
    RemovePrinterDriver(state, list);
    win::GlobalFree(list.entries);
  }
  void AddDriver(const std::u16string& name) {
    sim::DriverRecord d;
    d.name = name;
    d.environment = u"Windows x64";
    d.driverFile = d.dataFile = u"other.dll";
    d.configFile = u"otherui.dll";
    sim::RegisterDriver(machine, d);
  }
};

TEST_F(PrinterDriverTest, InstallStagesRegistersAndCleansUp) {
  InstallPrinterDriver(state);
  EXPECT_EQ(Log(), (std::vector<std::u16string>{
                       u"#Add Printer Driver x64",
                       u"    CopyFile vexdrv64.dll to " + kStage + u")- OK",
                       u"    CopyFile vexui64.dll to " + kStage + u")- OK",
                       u"    CopyFile vexhelp.chm to " + kStage + u")- OK",
                       u"  Printer Driver x64 was added successfully"}));
  sim::DriverRecord d;
  ASSERT_TRUE(sim::FindDriver(machine, u"Windows x64", u"Corvane printer", d));
  EXPECT_EQ(d.driverFile, u"vexdrv64.dll");
  EXPECT_EQ(d.dataFile, u"vexdrv64.dll");
  EXPECT_EQ(d.configFile, u"vexui64.dll");
  EXPECT_EQ(d.helpFile, u"vexhelp.chm");
  EXPECT_EQ(d.manufacturer, u"Brennock");
  EXPECT_EQ(d.provider, u"Brennock");
  for (const char16_t* file : {u"vexdrv64.dll", u"vexui64.dll", u"vexhelp.chm"}) {
    EXPECT_NE(machine.FindFile(kInstalled + file), nullptr) << sim::Utf8(file);
    EXPECT_EQ(machine.FindFile(kStage + file), nullptr) << "staged copy left: " << sim::Utf8(file);
  }
  EXPECT_EQ(state.Undeletable, nullptr);
  EXPECT_EQ(state.Indent, 0);
}

TEST_F(PrinterDriverTest, ThirtyTwoBitPlatformSaysWin32) {
  ReleaseInstallState(state);
  for (const char16_t* file : {u"vexdrv32.dll", u"vexui32.dll"}) machine.AddFile(kSetup + file, {1, 2, 3});
  CreateInstallState(state, 0);
  Release(state.Log);
  InstallPrinterDriver(state);
  const auto log = Log();
  EXPECT_EQ(log.front(), u"#Add Printer Driver Win32");
  EXPECT_EQ(log.back(), u"  Printer Driver Win32 was added successfully");
  sim::DriverRecord d;
  EXPECT_TRUE(sim::FindDriver(machine, u"Windows NT x86", u"Corvane printer", d));
}

TEST_F(PrinterDriverTest, MissingHelpFileRegistersWithoutHelp) {
  machine.files.erase(sim::Machine::Key(kSetup + u"vexhelp.chm"));
  InstallPrinterDriver(state);
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_EQ(Log().back(), u"  Printer Driver x64 was added successfully");
  sim::DriverRecord d;
  ASSERT_TRUE(sim::FindDriver(machine, u"Windows x64", u"Corvane printer", d));
  EXPECT_EQ(d.helpFile, u"");
  EXPECT_EQ(machine.Count("DeleteFileW"), 2);
}

TEST_F(PrinterDriverTest, MissingConfigurationFileStopsBeforeRegistration) {
  machine.files.erase(sim::Machine::Key(kSetup + u"vexui64.dll"));
  InstallPrinterDriver(state);
  EXPECT_EQ(machine.Count("AddPrinterDriverExW"), 0);
  EXPECT_EQ(machine.Count("DeleteFileW"), 0);
  EXPECT_NE(machine.FindFile(kStage + u"vexdrv64.dll"), nullptr) << "the staged driver file stays";
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_EQ(Log().back().substr(0, 15), u"    Error(10): ");
  EXPECT_EQ(state.Indent, 0);
}

TEST_F(PrinterDriverTest, RefusedRegistrationIsErrorThirteenAndStillCleansUp) {
  machine.Fail("AddPrinterDriverExW", win::ERROR_ACCESS_DENIED);
  machine.Fail("DeleteFileW", win::ERROR_SHARING_VIOLATION, 1, 0, u"vexui64");
  InstallPrinterDriver(state);
  const auto log = Log();
  EXPECT_EQ(log.back(), u"  Error(13): Can`t install a x64 printer driver 'Corvane printer' - (Access is denied.)");
  EXPECT_EQ(machine.Count("DeleteFileW"), 3);
  ASSERT_NE(state.Undeletable, nullptr);
  EXPECT_EQ(std::u16string(state.Undeletable->text), kStage + u"vexui64.dll");
  EXPECT_EQ(state.Undeletable->next, nullptr);
}

TEST_F(PrinterDriverTest, RemovalFindsTheDriverByExactName) {
  for (const char16_t* name : {u"Alpha", u"Beta", u"Brother HL"}) AddDriver(name);
  InstallPrinterDriver(state);
  Release(state.Log);
  Remove();
  EXPECT_EQ(Log(), (std::vector<std::u16string>{
                       u"#DeletePrinterDriver for Windows x64", u"  ------------ 4 existing drivers-----------",
                       u"  1. Alpha", u"  2. Beta", u"  3. Brother HL", u"  4. Corvane printer",
                       u"  -------------------------------------------", u"  Driver is found. Index=4",
                       u"  OK :)"}));
  sim::DriverRecord d;
  EXPECT_FALSE(sim::FindDriver(machine, u"Windows x64", u"Corvane printer", d));
  EXPECT_EQ(machine.FindFile(kInstalled + u"vexdrv64.dll"), nullptr) << "all files go with the driver";

  win::DRIVER_INFO_6W records[3] = {};
  char16_t a[] = u"Corvane printer 2", b[] = u"corvane printer", c[] = u"Corvane printer";
  records[0].pName = a;
  records[1].pName = b;
  records[2].pName = c;
  EXPECT_EQ(FindPrinterDriver(DriverList{reinterpret_cast<win::BYTE*>(records), 6, 2}), -1);
  EXPECT_EQ(FindPrinterDriver(DriverList{reinterpret_cast<win::BYTE*>(records), 6, 3}), 2);
  win::DRIVER_INFO_1W level1[2] = {{b}, {c}};
  EXPECT_EQ(FindPrinterDriver(DriverList{reinterpret_cast<win::BYTE*>(level1), 1, 2}), 1);
  EXPECT_EQ(FindPrinterDriver(DriverList{reinterpret_cast<win::BYTE*>(records), 7, 3}), -1);
}

TEST_F(PrinterDriverTest, NoDriversAtAll) {
  Remove();
  EXPECT_EQ(Log(), (std::vector<std::u16string>{u"#DeletePrinterDriver for Windows x64",
                                                u"  BTW, there is no printer drivers on this system.",
                                                u"  No Corvane driver (Windows x64)was found"}));
  EXPECT_EQ(state.ErrorCount, 0);
}

TEST_F(PrinterDriverTest, FirstRefusalCostsOneSpoolerRestart) {
  InstallPrinterDriver(state);
  Release(state.Log);
  machine.journal.clear();
  machine.Fail("DeletePrinterDriverExW", win::ERROR_PRINTER_DRIVER_IN_USE);
  Remove();
  const auto log = Log();
  EXPECT_EQ(log[log.size() - 3], u"  Can't delete driver. Trying to restart spooler");
  EXPECT_EQ(log[log.size() - 2], u"  #Restart Spooler");
  EXPECT_EQ(log.back(), u"  OK :)");
  EXPECT_EQ(machine.Count("ControlService"), 1);
  EXPECT_EQ(machine.Count("StartServiceW"), 1);
  EXPECT_EQ(state.ErrorCount, 0);
}

TEST_F(PrinterDriverTest, DriverInUseIsErrorFourteen) {
  InstallPrinterDriver(state);
  sim::WritePrinter(machine, {u"Corvane", u"Corvane printer", u"LPT1:", u"", u"", 0});
  Release(state.Log);
  Remove();
  EXPECT_EQ(Log().back(), u"  Error(14): Can`t remove the printer-driver 'Corvane printer' - (The specified "
                          u"printer driver is currently in use.)");
  EXPECT_EQ(state.ErrorCount, 1);
}

TEST_F(PrinterDriverTest, DriverRecordOfAnOpenPrinter) {
  InstallPrinterDriver(state);
  sim::WritePrinter(machine, {u"Corvane", u"Corvane printer", u"LPT1:", u"", u"", 0});
  win::HANDLE printer = nullptr;
  ASSERT_TRUE(win::OpenPrinterW(const_cast<char16_t*>(u"Corvane"), &printer, nullptr));
  win::DRIVER_INFO_2W* info = GetPrinterDriverInfo(printer);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(std::u16string(info->pDriverPath), kInstalled + u"vexdrv64.dll");
  EXPECT_EQ(info->cVersion, 3u);
  win::GlobalFree(info);
  machine.Fail("GetPrinterDriverW", win::ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetPrinterDriverInfo(printer), nullptr);
  machine.Fail("GlobalAlloc", win::ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(GetPrinterDriverInfo(printer), nullptr);
  EXPECT_EQ(win::GetLastError(), win::E_OUTOFMEMORY_CODE);
  win::ClosePrinter(printer);
}

}  // namespace
