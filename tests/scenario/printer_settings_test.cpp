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

}  // namespace
