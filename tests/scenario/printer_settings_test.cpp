// Product printers survive a reinstall: name, settings key name in both
// places, comment, location and default status; the "deleted" mark goes.
#include "platform/sim/print_store.h"
#include "printer_setup.h"
#include "sim_test.h"

namespace {

const std::u16string kUserKey = u"Software\\Brennock\\Corvane\\Corvanes\\";

class PrinterSettingsTest : public SimTest {
 protected:
  PrinterSettingsTest() { EXPECT_EQ(Run(u"install"), 1); }
  Texts PrinterNames() {
    Texts names;
    for (const auto& p : sim::Printers(machine)) names.push_back(p.name);
    return names;
  }
  Texts AddedInOrder() {
    Texts added;
    for (const auto& e : machine.journal)
      if (e.call == "AddPrinterW") added.push_back(e.detail);
    return added;
  }
  sim::PrinterRecord Printer(const std::u16string& name) { return PrinterNamed(machine, name); }
};

TEST_F(PrinterSettingsTest, EveryPrinterWithAKeyNameComesBackWithItsSettings) {
  machine.hklm.Remove(sim::PrinterKey(u"Corvane"));
  AddProductPrinter(machine, u"A", u"Front desk", u"Hall");
  AddProductPrinter(machine, u"B", u"Back office", u"Floor 2");
  AddProductPrinter(machine, u"C");
  SetSettingsKey(machine, u"A", u"", "keyA");
  SetSettingsKey(machine, u"A", u"DsUser", "keyA");
  SetSettingsKey(machine, u"B", u"DsUser", "keyB");  // only under DsUser
  SetSettingsKey(machine, u"C", u"", "", win::REG_DWORD);
  SetSettingsKey(machine, u"C", u"DsUser", std::string(63, 'c'));
  sim::AddJob(machine, u"B");
  sim::SetDefaultPrinter(machine, u"B");
  for (const char16_t* key : {u"keyA", u"keyB"}) {
    machine.SetDword(win::HKEY_CURRENT_USER, kUserKey + key, u"deleted", 1);
    machine.SetDword(win::HKEY_CURRENT_USER, kUserKey + key, u"Paper", 9);
  }
  machine.journal.clear();

  EXPECT_EQ(Run(u"install"), 1);

  EXPECT_EQ(AddedInOrder(), (Texts{u"C", u"B", u"A"}));
  EXPECT_EQ(PrinterNames(), (Texts{u"A", u"B", u"C"})) << "no extra \"Corvane\"";
  // The key name in both places, from whichever place had it.
  EXPECT_EQ((std::vector<std::string>{SettingsKey(machine, u"A", u""), SettingsKey(machine, u"A", u"DsUser"),
                                      SettingsKey(machine, u"B", u""), SettingsKey(machine, u"B", u"DsUser"),
                                      SettingsKey(machine, u"C", u"")}),
            (std::vector<std::string>{"keyA", "keyA", "keyB", "keyB", std::string(63, 'c')}));
  EXPECT_EQ((Texts{Printer(u"A").comment, Printer(u"A").location, Printer(u"B").location, Printer(u"B").port}),
            (Texts{u"Front desk", u"Hall", u"Floor 2", u"Corvane:"}));
  // Written as REG_SZ with its terminator, in both places.
  for (const char16_t* key : {u"", u"DsUser"}) {
    const sim::RegistryValue* value = machine.FindValue(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(u"A", key), u"SubKey");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, win::REG_SZ);
    EXPECT_EQ(value->data, sim::StoredFromAnsi({'k', 'e', 'y', 'A', 0}));
  }
  // Remembered through a handle opened with no defaults; re-created ones written back at level 2.
  const auto opens = machine.Arguments("OpenPrinterW");
  ASSERT_FALSE(opens.empty());
  EXPECT_EQ(Mismatches(opens.front(), {{"pPrinterName", u"A"}, {"pDefault", u"0"}}), std::vector<std::string>{});
  for (const auto& write : machine.Arguments("SetPrinterW")) {
    if (write.at("level") == u"0") continue;  // a purge
    EXPECT_EQ(Mismatches(write, {{"level", u"2"}, {"command", u"0"}}), std::vector<std::string>{});
  }
  EXPECT_EQ(sim::DefaultPrinter(machine), u"B");
  EXPECT_EQ(sim::JobCount(machine, u"B"), 0) << "queued jobs are purged before the deletion";
  for (const char16_t* key : {u"keyA", u"keyB"}) {
    EXPECT_EQ(machine.FindValue(win::HKEY_CURRENT_USER, kUserKey + key, u"deleted"), nullptr);
    EXPECT_NE(machine.FindValue(win::HKEY_CURRENT_USER, kUserKey + key, u"Paper"), nullptr);
  }
}

TEST_F(PrinterSettingsTest, PrintersWithoutAUsableKeyNameAreReplacedByOne) {
  machine.hklm.Remove(sim::PrinterKey(u"Corvane"));
  AddProductPrinter(machine, u"Long");
  SetSettingsKey(machine, u"Long", u"", std::string(64, 'x'));
  SetSettingsKey(machine, u"Long", u"DsUser", std::string(64, 'x'));
  AddProductPrinter(machine, u"Bare");
  AddProductPrinter(machine, u"Dword");
  SetSettingsKey(machine, u"Dword", u"", "", win::REG_DWORD);

  EXPECT_EQ(Run(u"install"), 1);

  EXPECT_EQ(PrinterNames(), (Texts{u"Corvane"}));
  EXPECT_EQ(ProductPrinters(machine), (Texts{u"Corvane"}));
  EXPECT_EQ(Printer(u"Corvane").port, u"Corvane:");
  EXPECT_EQ(SettingsKey(machine, u"Corvane", u""), "<none>");
}

TEST_F(PrinterSettingsTest, AFailedRecreationLosesOnlyThatPrinter) {
  for (const char16_t* name : {u"A", u"B", u"C"}) {
    AddProductPrinter(machine, name);
    SetSettingsKey(machine, name, u"", "key" + sim::Utf8(name));
  }
  machine.Fail("AddPrinterW", win::ERROR_ACCESS_DENIED, 1, 0, u"B");
  machine.shiftHeld = true;
  EXPECT_EQ(Run(u"install"), 100);
  EXPECT_EQ(PrinterNames(), (Texts{u"A", u"C"}));
  EXPECT_EQ(SettingsKey(machine, u"C", u"DsUser"), "keyC");
  int errors = 0;
  for (const auto& line : DialogLines()) errors += line.find(u"Error(") != std::u16string::npos;
  EXPECT_EQ(errors, 1);
  EXPECT_NE(machine.dialogs.back().text.find(u"Error(15): Can`t add printer 'B' - (Access is denied.)"),
            std::u16string::npos);
}

TEST_F(PrinterSettingsTest, APrinterThatCouldNotBeDeletedIsStillRecreated) {
  machine.hklm.Remove(sim::PrinterKey(u"Corvane"));
  AddProductPrinter(machine, u"Stuck");
  SetSettingsKey(machine, u"Stuck", u"", "stuck");
  machine.Fail("DeletePrinter", win::ERROR_ACCESS_DENIED, 1);
  machine.shiftHeld = true;
  EXPECT_EQ(Run(u"install"), 100);
  const std::u16string log = machine.dialogs.back().text;
  EXPECT_NE(log.find(u"Error(17): Can`t delete printer 'Stuck'"), std::u16string::npos);
  EXPECT_NE(log.find(u"#AddPrinter(Stuck)"), std::u16string::npos);
  EXPECT_NE(log.find(u"Error(15): Can`t add printer 'Stuck' - (The printer already exists.)"),
            std::u16string::npos);
}

TEST_F(PrinterSettingsTest, ForeignPrintersAndDefaultStayAsTheyWere) {
  sim::WritePrinter(machine, {u"Office Laser", u"Other driver", u"LPT1:", u"Theirs", u"", 0});
  sim::SetDefaultPrinter(machine, u"Office Laser");
  AddProductPrinter(machine, u"A");
  SetSettingsKey(machine, u"A", u"", "keyA");
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(sim::DefaultPrinter(machine), u"Office Laser");
  EXPECT_EQ(Printer(u"Office Laser").comment, u"Theirs");
  EXPECT_EQ(Printer(u"Office Laser").port, u"LPT1:");
}

// "Lab", the default printer, whose settings a reinstall cannot read: it is
// kept as it is, with error 18, and no "Corvane" is added beside it.
TEST_F(PrinterSettingsTest, AReinstallKeepsAPrinterWhoseSettingsItCannotRead) {
  struct Case {
    const char* what;
    const char* call;  // the failing call; GlobalAlloc is the node's allocation
    win::DWORD error;
    bool keyUnderDsUserOnly;
    const char16_t* systemText;
  };
  const Case cases[] = {
      {"printer not opened", "OpenPrinterW", win::RPC_S_SERVER_UNAVAILABLE, false, u"(The RPC server is unavailable.)"},
      {"plain value not read", "GetPrinterDataA", win::RPC_S_SERVER_UNAVAILABLE, false,
       u"(The RPC server is unavailable.)"},
      {"DsUser value not read", "GetPrinterDataExA", win::RPC_S_SERVER_UNAVAILABLE, true,
       u"(The RPC server is unavailable.)"},
      {"node not allocated", "GlobalAlloc", win::ERROR_NOT_ENOUGH_MEMORY, false,
       u"(Not enough memory resources are available to process this command.)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto setUp = [&] {
      Reset();
      ASSERT_EQ(Run(u"install"), 1);
      machine.hklm.Remove(sim::PrinterKey(u"Corvane"));
      AddProductPrinter(machine, u"Lab", u"Room 2", u"Floor 1");
      SetSettingsKey(machine, u"Lab", c.keyUnderDsUserOnly ? u"DsUser" : u"", "keyLab");
      sim::SetDefaultPrinter(machine, u"Lab");
      machine.journal.clear();
    };
    int skip = 0;
    if (std::string(c.call) == "GlobalAlloc") {
      // The allocation right after the settings were read, counted on a
      // run of the same machine.
      setUp();
      Run(u"install");
      bool read = false;
      for (const auto& e : machine.journal) {
        if (e.call == "GetPrinterDataA") read = true;
        if (e.call != "GlobalAlloc") continue;
        if (read) break;
        ++skip;
      }
    }
    setUp();
    machine.Fail(c.call, c.error, 1, skip);
    machine.shiftHeld = true;
    EXPECT_EQ(Run(u"install"), 100);
    const std::u16string log = machine.dialogs.back().text;
    EXPECT_HAS(log, u"      #DeleteAllPrinters\r\n        Error(18): Can`t read the settings of printer 'Lab' - " +
                        std::u16string(c.systemText) + u"\r\n");
    EXPECT_EQ(log.find(u"#DeletePrinter(Lab)"), std::u16string::npos);
    EXPECT_EQ(log.find(u"#AddPrinter("), std::u16string::npos) << "the kept printer counts as come back";
    EXPECT_EQ(ProductPrinters(machine), Texts{u"Lab"});
    EXPECT_EQ(SettingsKey(machine, u"Lab", c.keyUnderDsUserOnly ? u"DsUser" : u""), "keyLab");
    EXPECT_EQ(Printer(u"Lab").comment, u"Room 2");
    EXPECT_EQ(Printer(u"Lab").location, u"Floor 1");
    EXPECT_EQ(sim::DefaultPrinter(machine), u"Lab");
  }
}

// The uninstall deletes every product printer, remembered or not.
TEST_F(PrinterSettingsTest, AnUninstallDeletesAPrinterWhoseSettingsItCannotRead) {
  AddProductPrinter(machine, u"Lab", u"Room 2");
  SetSettingsKey(machine, u"Lab", u"", "keyLab");
  machine.Fail("OpenPrinterW", win::RPC_S_SERVER_UNAVAILABLE, 1, 0, u"Lab");
  EXPECT_EQ(Run(u"uninstall"), 2);
  EXPECT_EQ(ProductPrinters(machine), Texts{});
}

// What does not come back with a re-created printer is said, by name.
TEST_F(PrinterSettingsTest, SettingsThatDoNotComeBackAreCountedByName) {
  struct Case {
    const char* call;
    int skip;  // the one made for "Lab" (the second printer re-created)
  };
  for (const Case& c : {Case{"GetPrinterW", 2}, Case{"SetPrinterW", 3}, Case{"SetDefaultPrinterW", 0}}) {
    SCOPED_TRACE(c.call);
    Reset();
    ASSERT_EQ(Run(u"install"), 1);
    machine.hklm.Remove(sim::PrinterKey(u"Corvane"));
    for (const char16_t* name : {u"Lab", u"Office"}) {
      AddProductPrinter(machine, name, u"Room 2", u"Floor 1");
      SetSettingsKey(machine, name, u"", "key" + sim::Utf8(name));
    }
    sim::SetDefaultPrinter(machine, u"Lab");
    machine.Fail(c.call, win::RPC_S_SERVER_UNAVAILABLE, 1, c.skip);
    machine.shiftHeld = true;
    EXPECT_EQ(Run(u"install"), 100);
    const std::u16string log = machine.dialogs.back().text;
    EXPECT_HAS(log, u"Error(20): Can`t restore the comment, location or default of printer 'Lab' - "
                    u"(The RPC server is unavailable.)\r\n");
    EXPECT_EQ(log.find(u"Error(20): Can`t restore the comment, location or default of printer 'Office'"),
              std::u16string::npos);
    EXPECT_EQ(Printer(u"Office").comment, u"Room 2");
  }
}

// When the default printer cannot be told, no product printer can be put
// back as it was: a reinstall keeps each in place.
TEST_F(PrinterSettingsTest, AnUnknownDefaultKeepsEveryProductPrinterInPlace) {
  machine.hklm.Remove(sim::PrinterKey(u"Corvane"));
  for (const char16_t* name : {u"Lab", u"Office"}) {
    AddProductPrinter(machine, name, u"Room 2", u"Floor 1");
    SetSettingsKey(machine, name, u"", "key" + sim::Utf8(name));
  }
  sim::SetDefaultPrinter(machine, u"Lab");
  machine.Fail("GetDefaultPrinterW", win::RPC_S_SERVER_UNAVAILABLE);
  machine.shiftHeld = true;
  EXPECT_EQ(Run(u"install"), 100);
  const std::u16string log = machine.dialogs.back().text;
  for (const std::u16string name : {u"Lab", u"Office"})
    EXPECT_HAS(log, u"Error(18): Can`t read the settings of printer '" + name + u"' - (The RPC server is unavailable.)");
  EXPECT_EQ(ProductPrinters(machine), (Texts{u"Lab", u"Office"}));
  EXPECT_EQ(sim::DefaultPrinter(machine), u"Lab");

  // Without any default printer there is nothing to tell.
  Reset();
  ASSERT_EQ(Run(u"install"), 1);
  ASSERT_EQ(sim::DefaultPrinter(machine), u"");
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(ProductPrinters(machine), Texts{u"Corvane"});
}

}  // namespace
