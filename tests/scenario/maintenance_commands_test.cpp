// The words "onInit", "onChkDrv" and "def.set": pending package files, the
// default printer and the installed driver's build, answered by exit code.
#include "platform/sim/print_store.h"
#include "printer_setup.h"
#include "product_places.h"
#include "sim_test.h"

namespace {

using namespace places;

const std::u16string kStore = kDriverDir + u"3\\";

class MaintenanceTest : public SimTest {
 protected:
  // None of these words creates a run record (whose spooler check would open the
  // service manager without stopping anything) or shows a window.
  void ExpectSilent(const char* what) {
    EXPECT_TRUE(machine.dialogs.empty()) << what;
    EXPECT_EQ(machine.Count("OpenSCManagerW"), machine.Count("ControlService")) << what;
  }
};

TEST_F(MaintenanceTest, OnInitWithNothingPendingAsksWhetherTheDefaultIsForeign) {
  EXPECT_EQ(Run(u"onInit"), 102) << "no default printer";
  sim::WritePrinter(machine, {u"Laser", u"Generic", u"LPT1:", u"", u"", 0});
  sim::SetDefaultPrinter(machine, u"Laser");
  EXPECT_EQ(Run(u"onInit"), 102) << "another product's printer";
  ASSERT_EQ(Run(u"install"), 1);
  sim::SetDefaultPrinter(machine, u"Corvane");
  machine.journal.clear();
  EXPECT_EQ(Run(u"onInit"), 3);
  EXPECT_EQ(machine.Count("ControlService"), 0);
  EXPECT_EQ(sim::DefaultPrinter(machine), u"Corvane");
  machine.dialogs.clear();
  ExpectSilent("onInit");
}

TEST_F(MaintenanceTest, OnInitReportsPackageFilesStillPendingAfterTwoSpoolerRestarts) {
  const std::pair<const char*, Texts> cases[] = {
      {"rename of an upper-case x64 name", {u"\\??\\" + kStore + u"VEXUI64.DLL", u"\\??\\" + kStore + u"new.dll"}},
      {"deletion that keeps failing", {u"\\??\\" + kSystemMonitor, u""}},
      {"path without prefix", {kStore + u"vexdrv64.dll", u"!" + kStore + u"vexdrv64.old"}},
      {"forward slashes", {u"C:/Temp/vexmon64.dll", u"C:/Temp/x.dll"}},
  };
  for (const auto& [what, pending] : cases) {
    SCOPED_TRACE(what);
    Reset();
    ASSERT_EQ(Run(u"install"), 1);
    sim::SetDefaultPrinter(machine, u"Corvane");
    machine.AddFile(kStore + u"VEXUI64.DLL", {1});
    machine.AddFile(u"C:\\Temp\\vexmon64.dll", {1});
    machine.HoldFile(kSystemMonitor, UINT64_MAX, win::FILE_SHARE_READ, "an old spooler module");
    SetPending(machine, pending);
    const auto before = Pending(machine)->data;
    machine.journal.clear();
    EXPECT_EQ(Run(u"onInit"), 200);
    // Two restarts, and the default printer is not asked about.
    EXPECT_EQ(Counts({"ControlService", "StartServiceW", "GetDefaultPrinterW"}), (std::vector<int>{2, 2, 0}));
    EXPECT_TRUE(machine.SpoolerRunning());
    EXPECT_NE(machine.FindFile(pending[0].substr(pending[0][0] == u'\\' ? 4 : 0)), nullptr);
    EXPECT_EQ(Pending(machine)->data, before);
    ExpectSilent(what);
  }
}

TEST_F(MaintenanceTest, OnInitLetsTheDefaultPrinterDecideOnceNoPackageFileWaits) {
  machine.AddDirectory(u"C:\\Temp\\vexdrv64.dll");
  const std::u16string held = u"C:\\Temp\\Held\\vexmon64.dll";
  const struct {
    const char* what;
    Texts pending;
    int restarts;
    bool stays;
  } cases[] = {
      {"x86 package file", {u"\\??\\C:\\Temp\\vexui32.dll", u"\\??\\C:\\Temp\\x.dll"}, 0, true},
      {"x64 name inside a longer name", {u"\\??\\C:\\Temp\\oldvexui64.dll", u"\\??\\C:\\Temp\\x.dll"}, 0, true},
      {"deletion that succeeds at once", {u"\\??\\" + kStore + u"vexdrv64.dll", u""}, 0, false},
      {"deletion that succeeds in the second pass", {u"\\??\\" + held, u""}, 1, false},
      {"directory", {u"\\??\\C:\\Temp\\vexdrv64.dll", u""}, 0, true},
      {"missing file", {u"\\??\\C:\\Temp\\vexmon64.dll", u""}, 0, false},
  };
  for (const auto& c : cases) {
    machine.AddFile(u"C:\\Temp\\vexui32.dll", {1});
    machine.AddFile(u"C:\\Temp\\oldvexui64.dll", {1});
    machine.AddFile(kStore + u"vexdrv64.dll", {1});
    machine.AddFile(held, {1});
    machine.HoldFile(held, 500);
    SetPending(machine, c.pending);
    machine.journal.clear();
    EXPECT_EQ(Run(u"onInit"), 102) << c.what;
    EXPECT_EQ(machine.Count("ControlService"), c.restarts) << c.what;
    const std::u16string source = c.pending[0].substr(4);
    EXPECT_EQ(machine.FindFile(source) != nullptr, c.stays) << c.what;
    machine.Advance(1000);
  }
  ASSERT_NE(machine.FindFile(u"C:\\Temp\\vexdrv64.dll"), nullptr);
  EXPECT_TRUE(machine.FindFile(u"C:\\Temp\\vexdrv64.dll")->directory);
}

TEST_F(MaintenanceTest, OnChkDrvJudgesTheBuildOfTheFirstProductPrintersDriver) {
  sim::WritePrinter(machine, {u"Laser", u"Generic", u"LPT1:", u"", u"", 0});
  EXPECT_EQ(Run(u"onChkDrv"), 3) << "no product printer";
  ASSERT_EQ(Run(u"install"), 1);
  EXPECT_EQ(Run(u"onChkDrv"), 103) << "the installer's own build";
  const std::pair<std::vector<std::uint8_t>, int> files[] = {
      {sim::VersionedFileImage(2604, 40 * 1024), 3},
      {sim::VersionedFileImage(2605, 40 * 1024), 103},
      {sim::VersionedFileImage(9000, 40 * 1024), 103},
      {std::vector<std::uint8_t>(40 * 1024, 0x5A), 3},  // no version resource
  };
  for (const auto& [image, code] : files) {
    machine.AddFile(kInstalledDriver, image);
    EXPECT_EQ(Run(u"onChkDrv"), code);
  }
  machine.files.erase(sim::Machine::Key(kInstalledDriver));
  EXPECT_EQ(Run(u"onChkDrv"), 3) << "driver file missing";
  EXPECT_TRUE(machine.dialogs.empty());
}

TEST_F(MaintenanceTest, DefSetMakesTheFirstProductPrinterDefaultAndAlwaysExitsFour) {
  sim::WritePrinter(machine, {u"Laser", u"Generic", u"LPT1:", u"", u"", 0});
  sim::SetDefaultPrinter(machine, u"Laser");
  EXPECT_EQ(Run(u"def.set"), 4);
  EXPECT_EQ(sim::DefaultPrinter(machine), u"Laser") << "no product printer: nothing changes";

  ASSERT_EQ(Run(u"install"), 1);
  AddProductPrinter(machine, u"Zeta");
  AddProductPrinter(machine, u"Alpha");
  sim::SetDefaultPrinter(machine, u"Laser");
  EXPECT_EQ(Run(u"def.set"), 4);
  EXPECT_EQ(sim::DefaultPrinter(machine), ProductPrinters(machine).at(0));

  machine.Fail("SetDefaultPrinterW", win::ERROR_ACCESS_DENIED);
  sim::SetDefaultPrinter(machine, u"Laser");
  EXPECT_EQ(Run(u"def.set"), 4) << "a refusal changes nothing in the answer";
  EXPECT_EQ(sim::DefaultPrinter(machine), u"Laser");
  EXPECT_TRUE(machine.dialogs.empty());
}

}  // namespace
