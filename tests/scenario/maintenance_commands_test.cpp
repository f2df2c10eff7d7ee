// The words "onInit", "onChkDrv" and "def.set": pending package files, the
// default printer and the installed driver's build, answered by exit code.
#include "platform/sim/print_store.h"
#include "product_places.h"
#include "sim_test.h"

namespace {

using namespace places;

const std::u16string kStore = kDriverDir + u"3\\";

class MaintenanceTest : public SimTest {
 protected:
  void AddPrinter(const std::u16string& name, const std::u16string& driver) {
    sim::PrinterRecord p;
    p.name = name;
    p.driver = driver;
    p.port = driver == u"Corvane printer" ? u"Corvane:" : u"LPT1:";
    sim::WritePrinter(machine, p);
  }
  // None of these words creates a run record (whose spooler check would open the
  // service manager without stopping anything) or shows a window.
  void ExpectSilent(const char* what) {
    EXPECT_TRUE(machine.dialogs.empty()) << what;
    EXPECT_EQ(machine.Count("OpenSCManagerW"), machine.Count("ControlService")) << what;
  }
};

TEST_F(MaintenanceTest, OnInitWithNothingPendingAsksWhetherTheDefaultIsForeign) {
  EXPECT_EQ(Run(u"onInit"), 102) << "no default printer";
  AddPrinter(u"Laser", u"Generic");
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
  struct Case {
    const char* what;
    std::vector<std::u16string> pending;
  };
  const Case cases[] = {
      {"rename of an upper-case x64 name", {u"\\??\\" + kStore + u"VEXUI64.DLL", u"\\??\\" + kStore + u"new.dll"}},
      {"deletion that keeps failing", {u"\\??\\" + kSystemMonitor, u""}},
      {"path without prefix", {kStore + u"vexdrv64.dll", u"!" + kStore + u"vexdrv64.old"}},
      {"forward slashes", {u"C:/Temp/vexmon64.dll", u"C:/Temp/x.dll"}},
  };
  for (const auto& c : cases) {
    Reset();
    ASSERT_EQ(Run(u"install"), 1);
    sim::SetDefaultPrinter(machine, u"Corvane");
    machine.AddFile(kStore + u"VEXUI64.DLL", {1});
    machine.AddFile(u"C:\\Temp\\vexmon64.dll", {1});
    machine.HoldFile(kSystemMonitor, UINT64_MAX, win::FILE_SHARE_READ, "an old spooler module");
    SetPending(machine, c.pending);
    const auto before = Pending(machine)->data;
    machine.journal.clear();
    EXPECT_EQ(Run(u"onInit"), 200) << c.what;
    EXPECT_EQ(machine.Count("ControlService"), 2) << c.what;
    EXPECT_EQ(machine.Count("StartServiceW"), 2) << c.what;
    EXPECT_TRUE(machine.SpoolerRunning()) << c.what;
    EXPECT_EQ(machine.Count("GetDefaultPrinterW"), 0) << "the default printer is not asked about: " << c.what;
    EXPECT_NE(machine.FindFile(c.pending[0].substr(c.pending[0][0] == u'\\' ? 4 : 0)), nullptr) << c.what;
    EXPECT_EQ(Pending(machine)->data, before) << c.what;
    ExpectSilent(c.what);
  }
}

TEST_F(MaintenanceTest, OnInitLetsTheDefaultPrinterDecideOnceNoPackageFileWaits) {
  struct Case {
    const char* what;
    std::vector<std::u16string> pending;
    int restarts;
    bool stays;
  };
  machine.AddDirectory(u"C:\\Temp\\vexdrv64.dll");
  const std::u16string held = u"C:\\Temp\\Held\\vexmon64.dll";
  const Case cases[] = {
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
  AddPrinter(u"Laser", u"Generic");
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
  AddPrinter(u"Laser", u"Generic");
  sim::SetDefaultPrinter(machine, u"Laser");
  EXPECT_EQ(Run(u"def.set"), 4);
  EXPECT_EQ(sim::DefaultPrinter(machine), u"Laser") << "no product printer: nothing changes";

  ASSERT_EQ(Run(u"install"), 1);
  AddPrinter(u"Zeta", u"Corvane printer");
  AddPrinter(u"Alpha", u"Corvane printer");
  std::u16string first;
  for (const auto& p : sim::Printers(machine))
    if (first.empty() && p.driver == u"Corvane printer") first = p.name;
  ASSERT_FALSE(first.empty());
  sim::SetDefaultPrinter(machine, u"Laser");
  EXPECT_EQ(Run(u"def.set"), 4);
  EXPECT_EQ(sim::DefaultPrinter(machine), first);

  machine.Fail("SetDefaultPrinterW", win::ERROR_ACCESS_DENIED);
  sim::SetDefaultPrinter(machine, u"Laser");
  EXPECT_EQ(Run(u"def.set"), 4) << "a refusal changes nothing in the answer";
  EXPECT_EQ(sim::DefaultPrinter(machine), u"Laser");
  EXPECT_TRUE(machine.dialogs.empty());
}

}  // namespace
