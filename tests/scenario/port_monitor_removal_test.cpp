// Removing "Corvane:": the build check that keeps a compatible monitor, the
// printers parked on "file:" while the spooler refuses, and the retries.
#include "run/log.h"
#include "monitor/port_monitor_removal.h"
#include "printer_setup.h"
#include "sim_test.h"

namespace {

const std::u16string kMonitorDll = u"C:\\Windows\\system32\\vexmon64.dll";

class PortMonitorRemovalTest : public StateTest {
 protected:
  // Runs the removal step as a reinstall (`checking`) or an uninstall would.
  void Remove(bool checking) {
    Create();
    state.CheckMonitorVersion = checking;
    MonitorList list = ListPortMonitors(state);
    RemovePortMonitor(state, list);
    win::GlobalFree(list.entries);
  }
  bool Has(const std::u16string& line) { return LogOf(state).find(line + u"\r\n") != std::u16string::npos; }
  // An installed product whose monitor file has `build`; its own printer is
  // gone so that only the test's printers use the port.
  void InstallWithMonitorBuild(unsigned build) {
    ASSERT_EQ(Run(u"install"), 1);
    machine.AddFile(kMonitorDll, sim::VersionedFileImage(build));
    sim::RemovePrinter(machine, u"Corvane");
    machine.journal.clear();
  }
  void AddPrintersOnTwoPorts() {
    sim::WritePrinter(machine, {u"One", u"Other", u"Corvane:", u"", u"", 0});
    sim::WritePrinter(machine, {u"Parallel", u"Other", u"LPT1:", u"", u"", 0});
    sim::WritePrinter(machine, {u"Two", u"Other", u"Corvane:", u"", u"", 0});
  }
};

TEST_F(PortMonitorRemovalTest, CompatibleRegisteredMonitorIsKept) {
  for (unsigned build : {2605u, 2620u}) {
    Fresh();
    InstallWithMonitorBuild(build);
    Remove(true);
    EXPECT_EQ(machine.Count("DeleteMonitorW"), 0) << build;
    const std::string digits = std::to_string(build);
    EXPECT_TRUE(Has(u"  Version (" + std::u16string(digits.begin(), digits.end()) +
                    u") is compatible, proceed without uninstall"))
        << build;
    EXPECT_TRUE(Has(u"  InstallMonitor == 0, CopyMonitor == 1")) << build;
    EXPECT_TRUE(sim::MonitorRegistered(machine, u"Corvane:"));
  }

  // A compatible file without a registration is registered in place.
  Fresh();
  machine.AddFile(kMonitorDll, sim::VersionedFileImage(2610));
  Remove(true);
  EXPECT_TRUE(Has(u"  Computing monitor filename"));
  EXPECT_TRUE(Has(u"  Auto calculated monitor file name: " + kMonitorDll));
  EXPECT_TRUE(Has(u"  InstallMonitor == 1, CopyMonitor == 0"));
  EXPECT_EQ(machine.Count("DeleteMonitorW"), 0);
}

TEST_F(PortMonitorRemovalTest, OtherBuildsAndMissingVersionsAreRemoved) {
  const std::pair<int, const char16_t*> cases[] = {
      // -1: a file without a version, -2: no file at all
      {2604, u"  Version (2604) is not supported, proceed with reinstall"},
      {2621, u"  Version (2621) is not supported, proceed with reinstall"},
      {-1, u"  Version is unknown, proceed with reinstall"},
      {-2, u"  Version is unknown, proceed with reinstall"},
  };
  for (const auto& [build, line] : cases) {
    Fresh();
    InstallWithMonitorBuild(2620);
    if (build >= 0) machine.AddFile(kMonitorDll, sim::VersionedFileImage(static_cast<unsigned>(build)));
    if (build == -1) machine.AddFile(kMonitorDll, std::vector<std::uint8_t>(2048, 0x90));
    if (build == -2) machine.files.erase(sim::Machine::Key(kMonitorDll));
    Remove(true);
    EXPECT_TRUE(Has(line)) << build;
    EXPECT_TRUE(Has(u"  Monitor was removed :)")) << build;
    EXPECT_FALSE(sim::MonitorRegistered(machine, u"Corvane:")) << build;
    EXPECT_EQ(state.InstallMonitor, 1);
    EXPECT_EQ(state.CopyMonitor, 1);
  }
}

TEST_F(PortMonitorRemovalTest, BuildIsTheLastNumberOfTheProductVersion) {
  machine.AddFile(u"C:\\a.dll", sim::VersionedFileImage(4, 4096, 2700));
  EXPECT_EQ(GetFileBuildNumber(u"C:\\a.dll"), 4);
  machine.AddFile(u"C:\\b.dll", sim::VersionedFileImage(0xFFFF));
  EXPECT_EQ(GetFileBuildNumber(u"C:\\b.dll"), 65535);
  EXPECT_EQ(GetFileBuildNumber(u"C:\\none.dll"), -1);
  machine.Fail("GetFileVersionInfoW", win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetFileBuildNumber(u"C:\\b.dll"), -1);
  machine.Fail("VerQueryValueW", win::ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(GetFileBuildNumber(u"C:\\b.dll"), -1);
}

TEST_F(PortMonitorRemovalTest, UninstallNeverChecksTheBuild) {
  InstallWithMonitorBuild(2620);
  Remove(false);
  EXPECT_TRUE(Has(u"  There is no check for monitor version"));
  EXPECT_EQ(machine.Count("GetFileVersionInfoSizeW"), 0);
  EXPECT_FALSE(sim::MonitorRegistered(machine, u"Corvane:"));
  EXPECT_EQ(machine.FindFile(kMonitorDll), nullptr) << "the spooler let the file go with the monitor";
}

TEST_F(PortMonitorRemovalTest, MonitorInUseParksItsPrintersOnFile) {
  InstallWithMonitorBuild(2620);
  AddPrintersOnTwoPorts();
  Remove(false);
  ASSERT_NE(state.MovedPrinters, nullptr);
  EXPECT_EQ((Texts{state.MovedPrinters[0]->pPrinterName, state.MovedPrinters[0]->pPortName,
                   state.MovedPrinters[1]->pPrinterName}),
            (Texts{u"One", u"file:", u"Two"}));
  EXPECT_EQ(state.MovedPrinters[2], nullptr);
  EXPECT_EQ(PrinterNamed(machine, u"Two").port, u"file:");
  EXPECT_EQ(PrinterNamed(machine, u"Parallel").port, u"LPT1:");
  EXPECT_TRUE(Has(u"  Can't delete monitor from the first try"));
  EXPECT_TRUE(Has(u"  SetPrinter(One) - ok"));
  EXPECT_EVERY_CALL(machine, "OpenPrinterW",
                    (sim::CallArguments{{"pDefault", u"1"},
                                        {"pDatatype", std::nullopt},
                                        {"pDevMode", u"0"},
                                        {"DesiredAccess", sim::Number(win::PRINTER_ALL_ACCESS)}}));
  EXPECT_EVERY_CALL(machine, "SetPrinterW",
                    (sim::CallArguments{{"level", u"2"}, {"command", u"0"}, {"pPortName", u"file:"}}));
  EXPECT_TRUE(Has(u"  Monitor was removed :)"));
  EXPECT_EQ(machine.Count("ControlService"), 0);
  EXPECT_EQ(state.ErrorCount, 0);
}

TEST_F(PortMonitorRemovalTest, ReinstallPutsParkedPrintersBack) {
  InstallWithMonitorBuild(2604);
  AddPrintersOnTwoPorts();
  machine.shiftHeld = true;
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(PrinterNamed(machine, u"One").port, u"Corvane:");
  EXPECT_EQ(PrinterNamed(machine, u"Two").port, u"Corvane:");
  int moves = 0;
  for (const auto& line : DialogLines()) moves += line.find(u"SetPrinter(Two) - ok") != std::u16string::npos;
  EXPECT_EQ(moves, 2) << "moved away and back";
}

TEST_F(PortMonitorRemovalTest, RefusalsEscalateToARestartThenErrorTwelve) {
  InstallWithMonitorBuild(2620);
  machine.Fail("DeleteMonitorW", win::ERROR_ACCESS_DENIED, 2);
  Remove(false);
  EXPECT_EQ(Counts({"DeleteMonitorW", "ControlService"}), (std::vector<int>{3, 1}));
  EXPECT_EVERY_CALL(machine, "DeleteMonitorW",
                    (sim::CallArguments{{"server", std::nullopt},
                                        {"pEnvironment", u"Windows x64"},
                                        {"pMonitorName", u"Corvane:"}}));
  EXPECT_EVERY_CALL(machine, "EnumMonitorsW", (sim::CallArguments{{"level", u"2"}}));
  EXPECT_TRUE(Has(u"  Monitor was removed :)"));
  EXPECT_EQ(state.MovedPrinters, nullptr) << "no printers, nothing parked";

  Fresh();
  InstallWithMonitorBuild(2620);
  machine.Fail("DeleteMonitorW", win::ERROR_ACCESS_DENIED, 3);
  Remove(false);
  EXPECT_TRUE(Has(u"  Error(12): Can`t remove the port monitor 'Corvane:' - (Access is denied.)"));
  EXPECT_NE(machine.FindFile(kMonitorDll), nullptr) << "the file stays with the monitor";
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_EQ(state.Indent, 0);
}

TEST_F(PortMonitorRemovalTest, UnlistedMonitorThatCannotBeDeletedIsLeftAlone) {
  sim::WritePrinter(machine, {u"One", u"Other", u"LPT1:", u"", u"", 0});
  Remove(false);
  EXPECT_TRUE(Has(u"  Can't delete monitor and monitor was not found. So everything should be ok"));
  EXPECT_EQ(machine.Count("OpenPrinterW"), 0);
  EXPECT_EQ(state.ErrorCount, 0);
}

TEST_F(PortMonitorRemovalTest, FilesThatCannotBeDeletedAreLeftForLaterOrNeverTouched) {
  InstallWithMonitorBuild(2620);
  machine.HoldFile(kMonitorDll, UINT64_MAX);
  Remove(false);
  EXPECT_TRUE(Has(u"  Monitor was removed :)"));
  EXPECT_EQ(Paths(state.Undeletable), Texts{kMonitorDll});

  // A monitor record naming no file never touches the folder.
  Fresh();
  sim::RegisterMonitor(machine, u"Corvane:", u"", {u"Corvane:"});
  Remove(true);
  EXPECT_TRUE(Has(u"  Trying to get monitor filename from MONITOR_INFO_2"));
  EXPECT_TRUE(Has(u"  Auto calculated monitor file name: C:\\Windows\\system32\\"));
  EXPECT_TRUE(Has(u"  Monitor was removed :)"));
  EXPECT_EQ(machine.Count("DeleteFileW"), 0);
  EXPECT_EQ(state.Undeletable, nullptr);
}

// A record whose file name leads out of the system directory: the monitor
// goes, no file is deleted or left for a later deletion.
TEST_F(PortMonitorRemovalTest, FileNamesWithFolderPartsDeleteNothing) {
  for (const std::u16string dll : {u"..\\win.ini", u"C:\\Windows\\win.ini", u"../win.ini", u"C:win.ini", u"..",
                                   u"."}) {
    SCOPED_TRACE(sim::Utf8(dll));
    Fresh();
    machine.AddFile(u"C:\\Windows\\win.ini", {1, 2});
    sim::RegisterMonitor(machine, u"Corvane:", dll, {u"Corvane:"});
    Remove(false);
    EXPECT_TRUE(Has(u"  Monitor was removed :)"));
    EXPECT_TRUE(Has(u"  Monitor file name '" + dll + u"' leads out of the system directory: no file is deleted"));
    EXPECT_FALSE(sim::MonitorRegistered(machine, u"Corvane:"));
    EXPECT_EQ(machine.Count("DeleteFileW"), 0);
    EXPECT_EQ(state.Undeletable, nullptr);
    EXPECT_EQ(state.ErrorCount, 0);
    EXPECT_NE(machine.FindFile(u"C:\\Windows\\win.ini"), nullptr);
  }
  // A plain name is still deleted.
  Fresh();
  sim::RegisterMonitor(machine, u"Corvane:", u"vexmon64.dll", {u"Corvane:"});
  machine.AddFile(kMonitorDll, {1});
  Remove(false);
  EXPECT_EQ(machine.FindFile(kMonitorDll), nullptr);
}

}  // namespace
