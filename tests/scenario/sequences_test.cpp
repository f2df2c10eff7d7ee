// Whole install and uninstall runs: what a reinstall removes and puts back,
// files that stay locked, and deletions left over from earlier runs.
#include "platform/sim/print_store.h"
#include "printer_setup.h"
#include "product_places.h"
#include "sim_test.h"

namespace {

using namespace places;

using SequencesTest = SimTest;

// The order of the install part: pending deletions of earlier runs first,
// the companion last, when the printers are back.
TEST_F(SequencesTest, ReinstallCarriesOutPendingDeletionsFirstAndStartsTheCompanionLast) {
  AddProductPrinter(machine, u"Front desk");
  SetSettingsKey(machine, u"Front desk", u"", "keyA");
  machine.AddDirectory(u"C:\\Temp");
  machine.AddFile(u"C:\\Temp\\old.dll", {1});
  SetPending(machine, {u"\\??\\C:\\Temp\\old.dll", u""});
  EXPECT_EQ(Run(u"install"), 1);
  const int pendingDeleted = FirstCall(machine, "DeleteFileW", u"C:\\Temp\\old.dll");
  ASSERT_NE(pendingDeleted, -1);
  EXPECT_LT(pendingDeleted, FirstCall(machine, "AddMonitorW")) << "before the install part begins";
  EXPECT_LT(FirstCall(machine, "DeleteMonitorW"), pendingDeleted) << "after the uninstall part";
  EXPECT_EQ(machine.FindFile(u"C:\\Temp\\old.dll"), nullptr);
  // The companion, at its start, finds the re-created printer there.
  ASSERT_TRUE(machine.companion.running);
  EXPECT_EQ(machine.companion.printersAtStart, (Texts{u"Front desk"}));
  Reset();
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(machine.companion.printersAtStart, Texts{u"Corvane"});
}

TEST_F(SequencesTest, PendingDeletionsOfEarlierRunsAreCarriedOutNow) {
  for (const char16_t* word : {u"install", u"uninstall"}) {
    SCOPED_TRACE(sim::Utf8(word));
    Reset();
    machine.AddDirectory(u"C:\\Temp\\Folder");
    machine.AddDirectory(u"C:\\??_");
    for (const char16_t* f :
         {u"C:\\Temp\\old.dll", u"C:\\Temp\\plain.dll", u"C:\\Temp\\src.dll", u"C:\\??_\\p1.dll", u"C:\\Temp\\app.dll"})
      machine.AddFile(f, {1});
    machine.AddFile(u"C:\\Temp\\app.dll.new", {2});
    // Where "\??_\p1.dll" would lead if its first four characters were dropped.
    machine.AddFile(kSetupDir + u"p1.dll", {2});
    // Another program replaces app.dll at the restart: deleting it now would leave that program without it.
    SetPending(machine, {u"\\??\\C:\\Temp\\app.dll", u"", u"\\??\\C:\\Temp\\app.dll.new", u"!\\??\\C:\\TEMP\\APP.DLL",
                         u"\\??\\C:\\Temp\\old.dll", u"", u"C:\\Temp\\plain.dll", u"", u"\\??\\C:\\Temp\\src.dll",
                         u"\\??\\C:\\Temp\\dst.dll", u"\\??_\\p1.dll", u"", u"\\??\\C:\\Temp\\Folder", u"",
                         u"\\??\\C:\\Temp\\missing.dll", u""});
    const std::vector<std::uint8_t> before = Pending(machine)->data;

    EXPECT_EQ(Run(word), std::u16string(word) == u"install" ? 1 : 2);
    // A partial prefix is part of the path; a rename waits for the restart, whatever its source.
    EXPECT_EQ(Present({u"C:\\Temp\\old.dll", u"C:\\Temp\\plain.dll", u"C:\\??_\\p1.dll", kSetupDir + u"p1.dll",
                       u"C:\\Temp\\src.dll", u"C:\\Temp\\dst.dll", u"C:\\Temp\\app.dll", u"C:\\Temp\\Folder"}),
              (std::vector<bool>{false, false, false, true, true, false, true, true}));
    EXPECT_EQ(CallsOn(machine, "DeleteFileW", u"C:\\Temp\\src.dll"), 0);
    EXPECT_EQ(CallsOn(machine, "MoveFileExW", u"C:\\Temp\\src.dll"), 0);
    EXPECT_EQ(CallsOn(machine, "DeleteFileW", u"C:\\Temp\\Folder"), 0);
    EXPECT_EQ(CallsOn(machine, "DeleteFileW", u"C:\\Temp\\missing.dll"), 0);
    EXPECT_EQ(PendingData(machine), before) << "the system's list is left as it was";
    // Not even rewritten as it was: another installer may be adding to it.
    EXPECT_EQ(CallsNaming(machine, "RegSetValueExW", sim::PendingOperationsValue), 0);
    sim::Reboot(machine);
    EXPECT_EQ(FileBytes(machine, u"C:\\Temp\\app.dll"), "\x02");
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
    EXPECT_EQ(PendingData(machine), others) << "every other operation stays, byte for byte, in order";
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
  EXPECT_EQ(PendingData(machine), rename);

  // An odd string at the end, then the same without the value's last zero.
  auto odd = sim::MultiStringBytes({u"\\??\\" + kSystemMonitor, u"", u"\\??\\" + kSystemMonitor});
  for (const std::size_t cut : {std::size_t{0}, std::size_t{2}}) {
    const std::vector<std::uint8_t> value(odd.begin(), odd.end() - cut);
    SetPendingBytes(machine, value);
    EXPECT_EQ(Run(u"install"), 1);
    EXPECT_EQ(PendingData(machine),
              std::vector<std::uint8_t>(value.begin() + 2 * (kSystemMonitor.size() + 6), value.end()));
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
    EXPECT_EQ(PendingData(machine), before);
  }
}

}  // namespace
