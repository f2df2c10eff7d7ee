// Whole install and uninstall runs: what a reinstall removes and puts back,
// files that stay locked, and deletions left over from earlier runs.
#include "platform/sim/print_store.h"
#include "printer_setup.h"
#include "product_places.h"
#include "sim_test.h"

namespace {

using namespace places;

class SequencesTest : public SimTest {
 protected:
  // Runs with Shift held and gives the log the dialog showed.
  Texts RunShowingLog(const std::u16string& word, int code) {
    machine.shiftHeld = true;
    EXPECT_EQ(Run(word), code) << sim::Utf8(word);
    EXPECT_EQ(machine.dialogs.size(), 1u);
    return DialogLines();
  }
};

TEST_F(SequencesTest, ReinstallOnCleanMachineFindsNothingAndInstallsEverything) {
  const auto lines = RunShowingLog(u"install", 1);
  EXPECT_EQ(machine.dialogs[0].title, u"Corvane build 2620- Install log.");
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(Texts(lines.begin(), lines.begin() + 7),
            (Texts{u"Corvane 2620", u"#Check Spooler", u"PrinterDriverDirectory:" + kDriverDir, u"##0010",
                   u"#ReInstall", u"    #UnInstall", u"      EnumMonitors"}));
  for (const char16_t* nothing : {u"      1 Monitors found.", u"      0 drivers found",
                                  u"        No Corvane driver (Windows x64)was found",
                                  u"        No Corvane port monitor was found."})
    EXPECT_NE(LineAt(lines, nothing), -1) << sim::Utf8(nothing);
  const int deleteAll = LineAt(lines, u"      #DeleteAllPrinters");
  ASSERT_NE(deleteAll, -1);
  EXPECT_EQ(lines[deleteAll + 1], u"      #DeletePrinterDriver for Windows x64") << "no printer to delete";
  // The install part runs in full, in this order.
  int at = 0;
  for (const char16_t* step : {u"    #AddMonitor", u"    #Add Printer Driver x64", u"    #AddPrinter(Corvane)"}) {
    at = LineAt(lines, step, at);
    EXPECT_NE(at, -1) << sim::Utf8(step);
  }

  EXPECT_EQ(sim::MonitorDll(machine, u"Corvane:"), u"vexmon64.dll");
  sim::DriverRecord driver;
  EXPECT_TRUE(sim::FindDriver(machine, u"Windows x64", u"Corvane printer", driver));
  EXPECT_EQ(ProductPrinters(machine), Texts{u"Corvane"});
  EXPECT_EQ(PrinterNamed(machine, u"Corvane").port, u"Corvane:");
  EXPECT_EQ(machine.String(win::HKEY_LOCAL_MACHINE, kRunKey, kRunValue), kTray);
  EXPECT_TRUE(machine.companion.running);
  EXPECT_EQ(machine.companion.image, kTray);
  EXPECT_EQ(machine.processesStarted, Texts{u"\"" + kTray + u"\""});
  EXPECT_EQ(Pending(machine), nullptr);
}

TEST_F(SequencesTest, ReinstallOverCompatibleMonitorKeepsItAndNeverStopsTheSpooler) {
  ASSERT_EQ(Run(u"install"), 1);
  machine.journal.clear();
  const auto lines = RunShowingLog(u"install", 1);
  EXPECT_NE(LineAt(lines, u"        Version (2620) is compatible, proceed without uninstall"), -1);
  EXPECT_FALSE(HasTrimmedLine(lines, u"#AddMonitor"));
  EXPECT_EQ(machine.Count("DeleteMonitorW"), 0);
  EXPECT_EQ(machine.Count("AddMonitorW"), 0);
  EXPECT_TRUE(sim::MonitorRegistered(machine, u"Corvane:"));
  // Nothing was left undeletable, so the retry step has no reason to stop the spooler.
  EXPECT_EQ(machine.Count("ControlService"), 0);
  EXPECT_FALSE(HasTrimmedLine(lines, u"#Restart Spooler"));
  EXPECT_FALSE(HasTrimmedLine(lines, u"DeleteFile-try"));
  EXPECT_EQ(ProductPrinters(machine), Texts{u"Corvane"});
}

TEST_F(SequencesTest, FileLockedThroughEveryRetryIsScheduledByUninstall) {
  const auto scheduled = sim::MultiStringBytes({u"\\??\\" + kSystemMonitor, u""});
  // Held open without sharing, or mapped as a running image (deletion refused
  // with another code): both go through the same retries.
  for (const bool image : {false, true}) {
    SCOPED_TRACE(image ? "running image" : "sharing hold");
    Reset();
    ASSERT_EQ(Run(u"install"), 1);
    machine.HoldFile(kSystemMonitor, UINT64_MAX, image ? win::FILE_SHARE_READ : 0);
    machine.holds.back().image = image;
    const auto lines = RunShowingLog(u"uninstall", 101);
    EXPECT_EQ(machine.dialogs[0].title, u"Corvane build 2620- Install log.");
    const int removed = LineAt(lines, u"    Monitor was removed :)");
    ASSERT_NE(removed, -1);
    // Tried again at once, then once more with the spooler stopped.
    EXPECT_EQ(Texts(lines.begin() + removed + 1, lines.end()),
              (Texts{u"  DeleteFile-try", u"DeleteFile-try", u"#Restart Spooler", u"DeleteFile-try"}));
    EXPECT_EQ(machine.Count("ControlService"), 1);
    EXPECT_EQ(CallsOn(machine, "DeleteFileW", kSystemMonitor), 4);
    EXPECT_TRUE(machine.SpoolerRunning());
    EXPECT_FALSE(sim::MonitorRegistered(machine, u"Corvane:"));
    ASSERT_NE(Pending(machine), nullptr);
    EXPECT_EQ(Pending(machine)->data, scheduled);
    sim::Reboot(machine);
    EXPECT_EQ(machine.FindFile(kSystemMonitor), nullptr);
  }

  // Errors outrank the scheduled file in the exit code; the file is scheduled all the same.
  Reset();
  ASSERT_EQ(Run(u"install"), 1);
  machine.HoldFile(kSystemMonitor, UINT64_MAX);
  machine.Fail("OpenSCManagerW", win::ERROR_ACCESS_DENIED);
  RunShowingLog(u"uninstall", 100);
  EXPECT_EQ(machine.dialogs[0].title, u"Corvane build 2620- Install error log!");
  ASSERT_NE(Pending(machine), nullptr);
  EXPECT_EQ(Pending(machine)->data, scheduled);
}

TEST_F(SequencesTest, FileLockedInReinstallIsDroppedAfterTheRetryWithSpoolerStopped) {
  ASSERT_EQ(Run(u"install"), 1);
  // An unsupported build is removed; others may still write the file but never delete it.
  machine.AddFile(kSystemMonitor, sim::VersionedFileImage(2500, 24 * 1024));
  machine.HoldFile(kSystemMonitor, UINT64_MAX, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE);
  machine.journal.clear();
  const auto lines = RunShowingLog(u"install", 1);
  const int removed = LineAt(lines, u"        Monitor was removed :)");
  ASSERT_NE(removed, -1);
  EXPECT_EQ(Texts(lines.begin() + removed + 1, lines.begin() + removed + 6),
            (Texts{u"      DeleteFile-try", u"    #Restart Spooler", u"    DeleteFile-try", u"    #AddMonitor",
                   u"      Copy monitor file"}));
  EXPECT_EQ(machine.Count("ControlService"), 1) << "the dropped file is not tried again at the end";
  EXPECT_EQ(machine.Count("MoveFileExW"), 0);
  EXPECT_EQ(Pending(machine), nullptr) << "the freshly installed monitor must survive a restart";
  EXPECT_TRUE(sim::MonitorRegistered(machine, u"Corvane:"));
  EXPECT_TRUE(machine.SpoolerRunning());
}

TEST_F(SequencesTest, InstallThatLeavesAFileScheduledShowsItsLogWithShift) {
  // Errors outrank the scheduled file in the exit code; the file is scheduled all the same.
  for (const bool errors : {false, true}) {
    SCOPED_TRACE(errors ? "with an error" : "without errors");
    Reset();
    // The staged help file can be written but not deleted.
    machine.HoldFile(kDriverDir + u"vexhelp.chm", UINT64_MAX, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE);
    if (errors) machine.Fail("AddPrinterW", win::ERROR_ACCESS_DENIED, -1);
    RunShowingLog(u"install", errors ? 100 : 101);
    EXPECT_EQ(machine.dialogs[0].title,
              errors ? u"Corvane build 2620- Install error log!" : u"Corvane build 2620- Install log.");
    ASSERT_NE(Pending(machine), nullptr);
    EXPECT_EQ(Pending(machine)->data, sim::MultiStringBytes({u"\\??\\" + kDriverDir + u"vexhelp.chm", u""}));
  }
}

// A staged file that the spooler holds until it stops: the last retry, with
// the spooler stopped, deletes it, so nothing waits for a restart.
TEST_F(SequencesTest, StagedFileThatOnlyASpoolerRestartFreesIsDeletedAtTheEnd) {
  const std::u16string staged = kDriverDir + u"vexui64.dll";
  machine.HoldFile(staged, UINT64_MAX, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, "the spooler");
  machine.holds.back().image = machine.holds.back().bySpooler = true;
  const auto lines = RunShowingLog(u"install", 1);
  EXPECT_EQ(machine.FindFile(staged), nullptr);
  EXPECT_EQ(Pending(machine), nullptr);
  EXPECT_EQ(machine.Count("MoveFileExW"), 0);
  // Once at once and once with the spooler stopped, after the other steps.
  EXPECT_EQ(CallsOn(machine, "DeleteFileW", staged), 3);
  EXPECT_EQ(machine.Count("ControlService"), 1);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(Texts(lines.end() - 3, lines.end()),
            (Texts{u"    DeleteFile-try", u"    #Restart Spooler", u"    DeleteFile-try"}));
  EXPECT_TRUE(machine.SpoolerRunning());
}

// The order of the install part: pending deletions of earlier runs first,
// the companion last, when the printers are back.
TEST_F(SequencesTest, ReinstallCarriesOutPendingDeletionsFirstAndStartsTheCompanionLast) {
  AddProductPrinter(machine, u"Front desk");
  SetSettingsKey(machine, u"Front desk", u"", "keyA");
  machine.AddDirectory(u"C:\\Temp");
  machine.AddFile(u"C:\\Temp\\old.dll", {1});
  SetPending(machine, {u"\\??\\C:\\Temp\\old.dll", u""});
  EXPECT_EQ(Run(u"install"), 1);
  auto first = [&](const std::string& call, const std::u16string& detail = {}) {
    for (std::size_t i = 0; i < machine.journal.size(); ++i)
      if (machine.journal[i].call == call && (detail.empty() || machine.journal[i].detail == detail))
        return static_cast<int>(i);
    return -1;
  };
  const int pendingDeleted = first("DeleteFileW", u"C:\\Temp\\old.dll");
  ASSERT_NE(pendingDeleted, -1);
  EXPECT_LT(pendingDeleted, first("AddMonitorW")) << "before the install part begins";
  EXPECT_LT(first("DeleteMonitorW"), pendingDeleted) << "after the uninstall part";
  EXPECT_EQ(machine.FindFile(u"C:\\Temp\\old.dll"), nullptr);
  // The companion, at its start, finds the re-created printer there.
  ASSERT_TRUE(machine.companion.running);
  EXPECT_EQ(machine.companion.printersAtStart, (Texts{u"Front desk"}));
  Reset();
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(machine.companion.printersAtStart, Texts{u"Corvane"});
}

// Only a default printer named exactly like a product printer makes that
// printer the default again; letter case counts.
TEST_F(SequencesTest, TheDefaultIsRestoredOnlyForTheExactName) {
  for (const char16_t* defaultName : {u"Front desk", u"front desk", u"FRONT DESK"}) {
    SCOPED_TRACE(sim::Utf8(defaultName));
    Reset();
    AddProductPrinter(machine, u"Front desk");
    SetSettingsKey(machine, u"Front desk", u"", "keyA");
    machine.SetString(win::HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
                      u"Device", std::u16string(defaultName) + u",winspool,Ne00:");
    EXPECT_EQ(Run(u"install"), 1);
    EXPECT_EQ(ProductPrinters(machine), Texts{u"Front desk"});
    const bool exact = std::u16string(defaultName) == u"Front desk";
    EXPECT_EQ(machine.Count("SetDefaultPrinterW"), exact ? 1 : 0);
    EXPECT_EQ(sim::DefaultPrinter(machine), exact ? u"Front desk" : u"");
  }
}

TEST_F(SequencesTest, PendingDeletionsOfEarlierRunsAreCarriedOutNow) {
  for (const char16_t* word : {u"install", u"uninstall"}) {
    SCOPED_TRACE(sim::Utf8(word));
    Reset();
    machine.AddDirectory(u"C:\\Temp\\Folder");
    machine.AddDirectory(u"C:\\??_");
    for (const char16_t* f : {u"C:\\Temp\\old.dll", u"C:\\Temp\\plain.dll", u"C:\\Temp\\src.dll", u"C:\\??_\\p1.dll"})
      machine.AddFile(f, {1});
    // Where "\??_\p1.dll" would lead if its first four characters were dropped.
    machine.AddFile(kSetupDir + u"p1.dll", {2});
    SetPending(machine, {u"\\??\\C:\\Temp\\old.dll", u"", u"C:\\Temp\\plain.dll", u"", u"\\??\\C:\\Temp\\src.dll",
                         u"\\??\\C:\\Temp\\dst.dll", u"\\??_\\p1.dll", u"", u"\\??\\C:\\Temp\\Folder", u"",
                         u"\\??\\C:\\Temp\\missing.dll", u""});
    const std::vector<std::uint8_t> before = Pending(machine)->data;

    EXPECT_EQ(Run(word), std::u16string(word) == u"install" ? 1 : 2);
    EXPECT_EQ(machine.FindFile(u"C:\\Temp\\old.dll"), nullptr);
    EXPECT_EQ(machine.FindFile(u"C:\\Temp\\plain.dll"), nullptr);
    EXPECT_EQ(machine.FindFile(u"C:\\??_\\p1.dll"), nullptr) << "a partial prefix is part of the path";
    EXPECT_NE(machine.FindFile(kSetupDir + u"p1.dll"), nullptr);
    // A rename waits for the restart, whatever its source.
    EXPECT_NE(machine.FindFile(u"C:\\Temp\\src.dll"), nullptr);
    EXPECT_EQ(machine.FindFile(u"C:\\Temp\\dst.dll"), nullptr);
    EXPECT_EQ(CallsOn(machine, "DeleteFileW", u"C:\\Temp\\src.dll"), 0);
    EXPECT_EQ(CallsOn(machine, "MoveFileExW", u"C:\\Temp\\src.dll"), 0);
    EXPECT_EQ(CallsOn(machine, "DeleteFileW", u"C:\\Temp\\Folder"), 0);
    EXPECT_EQ(CallsOn(machine, "DeleteFileW", u"C:\\Temp\\missing.dll"), 0);
    ASSERT_NE(machine.FindFile(u"C:\\Temp\\Folder"), nullptr);
    EXPECT_TRUE(machine.FindFile(u"C:\\Temp\\Folder")->directory);
    ASSERT_NE(Pending(machine), nullptr);
    EXPECT_EQ(Pending(machine)->data, before) << "the system's list is left as it was";
    // Not even rewritten as it was: another installer may be adding to it.
    EXPECT_EQ(std::count_if(machine.journal.begin(), machine.journal.end(),
                            [](const sim::JournalEntry& e) {
                              return e.call == "RegSetValueExW" &&
                                     e.detail.find(sim::PendingOperationsValue) != std::u16string::npos;
                            }),
              0);
  }
}

// An uninstall left the monitor's deletion for the restart; the user installs
// again before restarting, with the file free again or still held. The
// product's files come off the pending list, and nothing else does.
TEST_F(SequencesTest, ReinstallBeforeTheRestartKeepsTheProductWholeAfterIt) {
  for (const bool stillHeld : {false, true}) {
    SCOPED_TRACE(stillHeld ? "file still held" : "file free again");
    Reset();
    ASSERT_EQ(Run(u"install"), 1);
    machine.HoldFile(kSystemMonitor, UINT64_MAX, win::FILE_SHARE_READ);  // its version stays readable
    ASSERT_EQ(Run(u"uninstall"), 101);
    ASSERT_EQ(Pending(machine)->data, sim::MultiStringBytes({u"\\??\\" + kSystemMonitor, u""}));
    if (!stillHeld) machine.ReleaseFile(kSystemMonitor);
    // Other programs' operations around the product's; a driver file named
    // without the prefix and in other letter case.
    const std::u16string driverFile = sim::ToUpperAscii(kInstalledDriver);
    SetPending(machine, {u"\\??\\C:\\Temp\\theirs.tmp", u"", u"\\??\\" + kSystemMonitor, u"",
                         u"\\??\\C:\\Temp\\a.dll", u"\\??\\C:\\Temp\\b.dll", driverFile, u""});
    const auto others = sim::MultiStringBytes(
        {u"\\??\\C:\\Temp\\theirs.tmp", u"", u"\\??\\C:\\Temp\\a.dll", u"\\??\\C:\\Temp\\b.dll"});

    const auto lines = RunShowingLog(u"install", 1);
    EXPECT_TRUE(HasTrimmedLine(lines, u"No longer deleted at restart: " + kSystemMonitor));
    EXPECT_TRUE(HasTrimmedLine(lines, u"No longer deleted at restart: " + driverFile));
    ASSERT_NE(Pending(machine), nullptr);
    EXPECT_EQ(Pending(machine)->data, others) << "every other operation stays, byte for byte, in order";
    EXPECT_TRUE(sim::MonitorRegistered(machine, u"Corvane:"));
    sim::Reboot(machine);
    EXPECT_EQ(Present({kSystemMonitor, kInstalledDriver}), (std::vector<bool>{true, true}));
    EXPECT_TRUE(sim::MonitorRegistered(machine, u"Corvane:"));
  }
}

// A value holding nothing but the product's deletion goes altogether; a
// last string without a partner is never taken for a deletion.
TEST_F(SequencesTest, PendingValueLosesOnlyWholeProductDeletions) {
  ASSERT_EQ(Run(u"install"), 1);
  SetPending(machine, {u"\\??\\" + kSystemMonitor, u""});
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(Pending(machine), nullptr);
  EXPECT_NE(machine.FindFile(kSystemMonitor), nullptr);

  // A rename of a product file is another program's business.
  SetPending(machine, {u"\\??\\" + kInstalledDriver, u"\\??\\C:\\Temp\\old.dll"});
  const auto rename = Pending(machine)->data;
  EXPECT_EQ(Run(u"install"), 1);
  ASSERT_NE(Pending(machine), nullptr);
  EXPECT_EQ(Pending(machine)->data, rename);

  // An odd string at the end, then the same without the value's last zero.
  auto odd = sim::MultiStringBytes({u"\\??\\" + kSystemMonitor, u"", u"\\??\\" + kSystemMonitor});
  for (const std::size_t cut : {std::size_t{0}, std::size_t{2}}) {
    const std::vector<std::uint8_t> value(odd.begin(), odd.end() - cut);
    machine.SetValue(win::HKEY_LOCAL_MACHINE, sim::SessionManagerKey, sim::PendingOperationsValue, win::REG_MULTI_SZ,
                     value);
    EXPECT_EQ(Run(u"install"), 1);
    ASSERT_NE(Pending(machine), nullptr);
    EXPECT_EQ(Pending(machine)->data, std::vector<std::uint8_t>(value.begin() + 2 * (kSystemMonitor.size() + 6),
                                                                value.end()));
  }
}

// A list that cannot be read or changed is counted, and nothing is said to
// have come off it.
TEST_F(SequencesTest, PendingListThatCannotBeChangedIsAnError) {
  // What is left decides between writing the value and deleting it.
  const Texts onlyOurs = {u"\\??\\" + kSystemMonitor, u""};
  const Texts withTheirs = {u"\\??\\C:\\Temp\\theirs.tmp", u"", u"\\??\\" + kSystemMonitor, u""};
  for (const auto& [call, pending] : {std::pair{"RegSetValueExW", withTheirs}, std::pair{"RegDeleteValueW", onlyOurs},
                                      std::pair{"RegQueryValueExW", onlyOurs}}) {
    SCOPED_TRACE(call);
    Reset();
    ASSERT_EQ(Run(u"install"), 1);
    SetPending(machine, pending);
    const auto before = Pending(machine)->data;
    machine.Fail(call, win::ERROR_ACCESS_DENIED, 1, 0, sim::PendingOperationsValue);
    const auto lines = RunShowingLog(u"install", 100);
    EXPECT_TRUE(HasTrimmedLine(lines, u"Error(19): Can`t cancel the deletion of the product's files at restart - "
                                      u"(Access is denied.)"));
    EXPECT_FALSE(HasTrimmedLine(lines, u"No longer deleted at restart: " + kSystemMonitor));
    ASSERT_NE(Pending(machine), nullptr);
    EXPECT_EQ(Pending(machine)->data, before);
  }
}

}  // namespace
