// The journal of remembered printers: written before a reinstall deletes a
// printer, removed at the end, and read back when a run that did not finish
// left it behind.
#include <tuple>

#include "platform/sim/print_store.h"
#include "printer_journal_text.h"
#include "printer_setup.h"
#include "product_places.h"
#include "sim_test.h"

namespace {

using namespace places;

const std::u16string kRecoveryLine = u"Printers left to bring back by a run that did not finish: ";

class PrinterJournalTest : public SimTest {
 protected:
  PrinterJournalTest() {
    machine.shiftHeld = false;
    Run(u"install");
    sim::RemovePrinter(machine, u"Corvane");
    machine.journal.clear();
  }

  Texts RunShowingLog(const std::u16string& word, int code) {
    machine.shiftHeld = true;
    EXPECT_EQ(Run(word), code) << sim::Utf8(word);
    machine.shiftHeld = false;
    return DialogLines();
  }

  // Where in the call journal the first call of that name (and detail part) is; -1 when none.
  int FirstCall(const std::string& call, const std::u16string& part = u"") const {
    for (std::size_t i = 0; i < machine.journal.size(); ++i)
      if (machine.journal[i].call == call && machine.journal[i].detail.find(part) != std::u16string::npos)
        return static_cast<int>(i);
    return -1;
  }
};

TEST_F(PrinterJournalTest, AReinstallJournalsBeforeItDeletesAndRemovesTheJournalWhenDone) {
  AddProductPrinter(machine, u"Lab", u"bench", u"basement");
  SetSettingsKey(machine, u"Lab", u"", "keyLab");
  const auto lines = RunShowingLog(u"install", 1);
  const int written = FirstCall("RegSetValueExW", PrinterJournalValue);
  const int flushed = FirstCall("RegFlushKey");
  const int deleted = FirstCall("DeletePrinter");
  ASSERT_NE(written, -1);
  EXPECT_LT(written, flushed);
  EXPECT_LT(flushed, deleted) << "the journal is on disk before the printer goes";
  EXPECT_GT(FirstCall("RegDeleteValueW", PrinterJournalValue), FirstCall("AddPrinterW"));
  EXPECT_EQ(JournalValue(machine), nullptr);
  for (const auto& line : lines) EXPECT_EQ(line.find(kRecoveryLine), std::u16string::npos) << sim::Utf8(line);
  EXPECT_EQ(SettingsKey(machine, u"Lab", u"DsUser"), "keyLab");
}

TEST_F(PrinterJournalTest, NothingIsJournalledWhenNothingIsRemembered) {
  AddProductPrinter(machine, u"Bare");
  Run(u"install");
  EXPECT_EQ(FirstCall("RegSetValueExW", PrinterJournalValue), -1);
  EXPECT_EQ(FirstCall("RegCreateKeyExW"), -1);
  Run(u"uninstall");
  EXPECT_EQ(machine.FindKey(win::HKEY_LOCAL_MACHINE, ProductMachineKey), nullptr) << "no key made for nothing";
}

TEST_F(PrinterJournalTest, AnInstallBringsBackWhatAnUnfinishedRunLeftInItsOrder) {
  LeaveJournal(machine, {{u"Warehouse", u"keyW", u"", u"Building B", u""},
                         {u"Front desk", u"keyF", u"Reception", u"", u"1"}});
  machine.SetDword(win::HKEY_CURRENT_USER, u"Software\\Brennock\\Corvane\\Corvanes\\keyF", u"deleted", 1);
  const auto lines = RunShowingLog(u"install", 1);
  EXPECT_EQ(lines[LineAt(lines, u"#ReInstall") + 1], u"    " + kRecoveryLine + u"2");
  const int warehouse = LineAt(lines, u"    #AddPrinter(Warehouse)");
  EXPECT_NE(warehouse, -1);
  EXPECT_GT(LineAt(lines, u"    #AddPrinter(Front desk)"), warehouse);
  EXPECT_EQ(LineAt(lines, u"    #AddPrinter(Corvane)"), -1) << "printers came back: no default printer is added";

  const sim::PrinterRecord front = PrinterNamed(machine, u"Front desk");
  EXPECT_EQ(std::tie(front.port, front.driver, front.comment, front.location),
            std::tie(u"Corvane:", u"Corvane printer", u"Reception", u""));
  EXPECT_EQ(PrinterNamed(machine, u"Warehouse").location, u"Building B");
  EXPECT_EQ(SettingsKey(machine, u"Front desk", u""), "keyF");
  EXPECT_EQ(SettingsKey(machine, u"Warehouse", u"DsUser"), "keyW");
  EXPECT_EQ(sim::DefaultPrinter(machine), u"Front desk");
  EXPECT_EQ(machine.FindValue(win::HKEY_CURRENT_USER, u"Software\\Brennock\\Corvane\\Corvanes\\keyF", u"deleted"),
            nullptr);
  EXPECT_EQ(JournalValue(machine), nullptr);
}

// A printer the last run half re-created (no settings yet) takes the
// journal's record; another maker's printer under a journalled name stays.
TEST_F(PrinterJournalTest, TheJournalsRecordWinsAndAnotherMakersPrinterIsLeftAlone) {
  AddProductPrinter(machine, u"Half");
  SetSettingsKey(machine, u"Half", u"", "keyWrong");
  sim::WritePrinter(machine, {u"Taken", u"Fenwick LaserPro", u"LPT1:", u"theirs", u"", 0});
  LeaveJournal(machine, {{u"Half", u"keyHalf", u"was here", u"there", u""},
                         {u"Taken", u"keyTaken", u"", u"", u""}});
  EXPECT_EQ(Run(u"install"), 1) << "no error for the name another printer holds";
  EXPECT_EQ(SettingsKey(machine, u"Half", u"DsUser"), "keyHalf");
  EXPECT_EQ(PrinterNamed(machine, u"Half").comment, u"was here");
  const sim::PrinterRecord taken = PrinterNamed(machine, u"Taken");
  EXPECT_EQ(std::tie(taken.driver, taken.comment), std::tie(u"Fenwick LaserPro", u"theirs"));
  EXPECT_EQ(JournalRecords(machine), (std::vector<JournalRecord>{{u"Taken", u"keyTaken", u"", u"", u""}}));
}

// A printer the reinstall keeps in place because it cannot read its
// settings is still there: the journal does not add it a second time.
TEST_F(PrinterJournalTest, AJournalledPrinterKeptInPlaceIsNotAddedAgain) {
  AddProductPrinter(machine, u"Stays", u"as it was");
  SetSettingsKey(machine, u"Stays", u"", "keyStays");
  LeaveJournal(machine, {{u"Stays", u"keyStays", u"journalled", u"", u""}, {u"Gone", u"keyGone", u"", u"", u""}});
  machine.Fail("OpenPrinterW", win::RPC_S_SERVER_UNAVAILABLE, 1, 0, u"Stays");
  const auto lines = RunShowingLog(u"install", 100);
  for (const auto& line : lines)
    EXPECT_EQ(line.find(u"Error(15)"), std::u16string::npos) << "added again: " << sim::Utf8(line);
  EXPECT_NE(LineAt(lines, u"        Error(18): Can`t read the settings of printer 'Stays' - (The RPC server is unavailable.)"), -1);
  EXPECT_EQ(LineAt(lines, u"    #AddPrinter(Stays)"), -1);
  EXPECT_EQ(PrinterNamed(machine, u"Stays").comment, u"as it was");
  EXPECT_EQ(SettingsKey(machine, u"Gone", u"DsUser"), "keyGone");
  EXPECT_EQ(JournalValue(machine), nullptr);
}

TEST_F(PrinterJournalTest, AnUninstallDropsTheJournalWithALineOfItsOwn) {
  LeaveJournal(machine, {{u"Gone", u"keyG", u"", u"", u""}});
  const auto lines = RunShowingLog(u"uninstall", 2);
  const int uninstall = LineAt(lines, u"#UnInstall");
  ASSERT_GT(uninstall, 0);
  EXPECT_EQ(lines[uninstall - 1], kRecoveryLine + u"1") << "before its first step, at its outer level";
  EXPECT_EQ(ProductPrinters(machine), Texts{});
  EXPECT_EQ(JournalValue(machine), nullptr);
}

// A journal that is not whole records is not read: the install goes on as
// if there were none, and removes it.
TEST_F(PrinterJournalTest, AJournalThatCannotBeTrustedIsIgnoredAndRemoved) {
  auto bytes = [](std::vector<JournalRecord> records) { return JournalBytes(records); };
  const JournalRecord good = {u"P", u"k", u"c", u"l", u""};
  const struct {
    const char* what;
    win::DWORD type;
    std::vector<std::uint8_t> data;
  } cases[] = {
      {"an odd size", win::REG_BINARY, [&] { auto b = bytes({good}); b.push_back(0); return b; }()},
      {"no final zero", win::REG_BINARY, [&] { auto b = bytes({good}); b.resize(b.size() - 2); return b; }()},
      {"four texts", win::REG_BINARY, [&] { auto b = bytes({good}); b.resize(b.size() - 2); return b; }()},
      {"no name", win::REG_BINARY, bytes({{u"", u"k", u"", u"", u""}})},
      {"no key name", win::REG_BINARY, bytes({{u"P", u"", u"", u"", u""}})},
      {"a key name beyond 8 bits", win::REG_BINARY, bytes({{u"P", u"k\u0100", u"", u"", u""}})},
      {"another type", win::REG_MULTI_SZ, bytes({good})},
      {"nothing", win::REG_BINARY, {}},
  };
  for (const auto& c : cases) {
    Reset();
    Run(u"install");
    machine.SetValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, PrinterJournalValue, c.type, c.data);
    const auto lines = RunShowingLog(u"install", 1);
    for (const auto& line : lines) EXPECT_EQ(line.find(kRecoveryLine), std::u16string::npos) << c.what;
    EXPECT_EQ(ProductPrinters(machine), Texts{u"Corvane"}) << c.what;
    EXPECT_EQ(JournalValue(machine), nullptr) << c.what;
  }
}

}  // namespace
