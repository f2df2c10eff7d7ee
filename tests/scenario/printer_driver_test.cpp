// Staging, registering and removing the driver "Corvane printer".
#include "run/log.h"
#include "driver/printer_driver.h"
#include "platform/sim/print_store.h"
#include "sim_test.h"

namespace {

const std::u16string kSetup = u"C:\\Program Files\\Corvane\\Setup\\";
const std::u16string kStage = u"C:\\Windows\\system32\\spool\\drivers\\x64\\";
const std::u16string kInstalled = kStage + u"3\\";

class PrinterDriverTest : public StateTest {
 protected:
  PrinterDriverTest() { Create(); }
  void Remove() {
    DriverList list = ListPrinterDrivers(state.Environment);
    RemovePrinterDriver(state, list);
    win::GlobalFree(list.entries);
  }
  sim::DriverRecord Registered(const char16_t* environment = u"Windows x64") {
    sim::DriverRecord d;
    if (!sim::FindDriver(machine, environment, u"Corvane printer", d)) d.name = u"<none>";
    return d;
  }
};

TEST_F(PrinterDriverTest, InstallStagesRegistersAndCleansUp) {
  InstallPrinterDriver(state);
  EXPECT_EQ(Log(), (Texts{u"#Add Printer Driver x64", u"    CopyFile vexdrv64.dll to " + kStage + u")- OK",
                          u"    CopyFile vexui64.dll to " + kStage + u")- OK",
                          u"    CopyFile vexhelp.chm to " + kStage + u")- OK",
                          u"  Printer Driver x64 was added successfully"}));
  const sim::DriverRecord d = Registered();
  EXPECT_EQ((Texts{d.driverFile, d.dataFile, d.configFile, d.helpFile, d.manufacturer, d.provider}),
            (Texts{u"vexdrv64.dll", u"vexdrv64.dll", u"vexui64.dll", u"vexhelp.chm", u"Brennock", u"Brennock"}));
  // In the driver's folder, and no staged copy left.
  EXPECT_EQ(Present({kInstalled + u"vexdrv64.dll", kInstalled + u"vexui64.dll", kInstalled + u"vexhelp.chm",
                     kStage + u"vexdrv64.dll", kStage + u"vexui64.dll", kStage + u"vexhelp.chm"}),
            (std::vector<bool>{true, true, true, false, false, false}));
  EXPECT_EQ(state.Undeletable, nullptr);
  EXPECT_EQ(state.Indent, 0);

  // The 32-bit platform says Win32.
  for (const char16_t* file : {u"vexdrv32.dll", u"vexui32.dll"}) machine.AddFile(kSetup + file, {1, 2, 3});
  Create(0);
  InstallPrinterDriver(state);
  EXPECT_EQ(Log().front(), u"#Add Printer Driver Win32");
  EXPECT_EQ(Log().back(), u"  Printer Driver Win32 was added successfully");
  EXPECT_EQ(Registered(u"Windows NT x86").name, u"Corvane printer");
}

TEST_F(PrinterDriverTest, MissingPackageFiles) {
  // Without the help file the driver is registered without help.
  machine.files.erase(sim::Machine::Key(kSetup + u"vexhelp.chm"));
  InstallPrinterDriver(state);
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_EQ(Log().back(), u"  Printer Driver x64 was added successfully");
  EXPECT_EQ(Registered().helpFile, u"");
  EXPECT_EQ(machine.Count("DeleteFileW"), 2);

  // Without the configuration file registration is not tried.
  Fresh();
  Create();
  machine.files.erase(sim::Machine::Key(kSetup + u"vexui64.dll"));
  InstallPrinterDriver(state);
  EXPECT_EQ(Counts({"AddPrinterDriverExW", "DeleteFileW"}), (std::vector<int>{0, 0}));
  EXPECT_NE(machine.FindFile(kStage + u"vexdrv64.dll"), nullptr) << "the staged driver file stays";
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_EQ(Log().back().substr(0, 15), u"    Error(10): ");
  EXPECT_EQ(state.Indent, 0);
}

TEST_F(PrinterDriverTest, RefusedRegistrationIsErrorThirteenAndStillCleansUp) {
  machine.Fail("AddPrinterDriverExW", win::ERROR_ACCESS_DENIED);
  machine.Fail("DeleteFileW", win::ERROR_SHARING_VIOLATION, 1, 0, u"vexui64");
  InstallPrinterDriver(state);
  EXPECT_EQ(Log().back(), u"  Error(13): Can`t install a x64 printer driver 'Corvane printer' - (Access is denied.)");
  EXPECT_EQ(machine.Count("DeleteFileW"), 3);
  EXPECT_EQ(Paths(state.Undeletable), Texts{kStage + u"vexui64.dll"});
}

TEST_F(PrinterDriverTest, RemovalFindsTheDriverByExactName) {
  Remove();
  EXPECT_EQ(Log(),
            (Texts{u"#DeletePrinterDriver for Windows x64", u"  BTW, there is no printer drivers on this system.",
                   u"  No Corvane driver (Windows x64)was found"}));
  EXPECT_EQ(state.ErrorCount, 0);

  for (const char16_t* name : {u"Alpha", u"Beta", u"Brother HL"}) {
    sim::DriverRecord d;
    d.name = name;
    d.environment = u"Windows x64";
    d.driverFile = d.dataFile = u"other.dll";
    d.configFile = u"otherui.dll";
    sim::RegisterDriver(machine, d);
  }
  InstallPrinterDriver(state);
  Release(state.Log);
  Remove();
  EXPECT_EQ(Log(),
            (Texts{u"#DeletePrinterDriver for Windows x64", u"  ------------ 4 existing drivers-----------",
                   u"  1. Alpha", u"  2. Beta", u"  3. Brother HL", u"  4. Corvane printer",
                   u"  -------------------------------------------", u"  Driver is found. Index=4", u"  OK :)"}));
  EXPECT_EQ(Registered().name, u"<none>");
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

TEST_F(PrinterDriverTest, FirstRefusalCostsOneSpoolerRestartAUsedDriverIsErrorFourteen) {
  InstallPrinterDriver(state);
  Release(state.Log);
  machine.journal.clear();
  machine.Fail("DeletePrinterDriverExW", win::ERROR_PRINTER_DRIVER_IN_USE);
  Remove();
  const auto log = Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(Texts(log.end() - 3, log.end()),
            (Texts{u"  Can't delete driver. Trying to restart spooler", u"  #Restart Spooler", u"  OK :)"}));
  EXPECT_EQ(Counts({"ControlService", "StartServiceW"}), (std::vector<int>{1, 1}));
  EXPECT_EQ(state.ErrorCount, 0);

  Create();
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

// The records and flags the spooler is handed, member by member; the help
// path is an empty string, never null, when its staging failed.
TEST_F(PrinterDriverTest, TheSpoolerIsHandedTheRecordsAndFlagsOfTheTable) {
  const std::optional<std::u16string> none;
  for (const bool helpStaged : {true, false}) {
    SCOPED_TRACE(helpStaged ? "help staged" : "help missing");
    Fresh();
    Create();
    if (!helpStaged) machine.files.erase(sim::Machine::Key(kSetup + u"vexhelp.chm"));
    machine.journal.clear();
    InstallPrinterDriver(state);
    ASSERT_EQ(machine.Count("AddPrinterDriverExW"), 1);
    const sim::CallArguments record = {
        {"server", none},
        {"level", u"6"},
        {"dwFileCopyFlags", sim::Number(win::APD_COPY_ALL_FILES)},
        {"cVersion", u"3"},
        {"pName", u"Corvane printer"},
        {"pEnvironment", u"Windows x64"},
        {"pDriverPath", kStage + u"vexdrv64.dll"},
        {"pDataFile", kStage + u"vexdrv64.dll"},
        {"pConfigFile", kStage + u"vexui64.dll"},
        {"pHelpFile", helpStaged ? kStage + u"vexhelp.chm" : u""},
        {"pDependentFiles", none},
        {"pMonitorName", none},
        {"pDefaultDataType", none},
        {"pszzPreviousNames", none},
        {"ftDriverDate", u"0"},
        {"dwlDriverVersion", u"0"},
        {"pszMfgName", u"Brennock"},
        {"pszHardwareID", none},
        {"pszProvider", u"Brennock"},
    };
    EXPECT_EVERY_CALL(machine, "AddPrinterDriverExW", record);
    const auto url = machine.Arguments("AddPrinterDriverExW")[0].at("pszOEMUrl");
    EXPECT_TRUE(url && url->rfind(u"https://", 0) == 0) << "the vendor's web address";
    // The spooler keeps the record as it was handed over.
    const sim::DriverRecord d = Registered();
    EXPECT_EQ(d.version, 3u);
    EXPECT_EQ(d.helpFileGiven, true);
  }

  // Removal, first refused then granted: both calls alike.
  Release(state.Log);
  machine.Fail("DeletePrinterDriverExW", win::ERROR_PRINTER_DRIVER_IN_USE);
  machine.journal.clear();
  Remove();
  ASSERT_EQ(machine.Count("DeletePrinterDriverExW"), 2);
  EXPECT_EVERY_CALL(machine, "DeletePrinterDriverExW",
                    (sim::CallArguments{{"server", none},
                                        {"pEnvironment", u"Windows x64"},
                                        {"pDriverName", u"Corvane printer"},
                                        {"dwDeleteFlag", sim::Number(win::DPD_DELETE_ALL_FILES)},
                                        {"dwVersionFlag", u"0"}}));
  EXPECT_EVERY_CALL(machine, "EnumPrinterDriversW",
                    (sim::CallArguments{{"pEnvironment", u"Windows x64"}, {"level", u"6"}}));

  // Asked of an open printer: the size for "Windows x64", the record for the caller's own.
  InstallPrinterDriver(state);
  sim::WritePrinter(machine, {u"Corvane", u"Corvane printer", u"LPT1:", u"", u"", 0});
  win::HANDLE printer = nullptr;
  ASSERT_TRUE(win::OpenPrinterW(const_cast<char16_t*>(u"Corvane"), &printer, nullptr));
  machine.journal.clear();
  win::GlobalFree(GetPrinterDriverInfo(printer));
  win::ClosePrinter(printer);
  const auto queries = machine.Arguments("GetPrinterDriverW");
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(Mismatches(queries[0], {{"pEnvironment", u"Windows x64"}, {"level", u"2"}}), std::vector<std::string>{});
  EXPECT_EQ(Mismatches(queries[1], {{"pEnvironment", none}, {"level", u"2"}}), std::vector<std::string>{});
}

}  // namespace
