// Recovery that loses nothing: a reinstall that fails part-way keeps the
// journal of what must come back, or names the printer it could not keep,
// and the next clean run brings every printer back. Then stories of what a
// reinstall leaves as it was: a parked printer (another program's file
// replaced at the restart: sequences_test).
#include <functional>
#include <tuple>

#include "platform/sim/print_store.h"
#include "printer_journal_text.h"
#include "printer_setup.h"
#include "product_places.h"
#include "sim_test.h"

namespace {

using namespace places;

const JournalRecord kBackOffice = {u"Back office", u"keyBack", u"Accounts", u"Floor 1", u"1"};
const JournalRecord kFrontDesk = {u"Front desk", u"keyFront", u"Reception", u"Hall", u""};

class RecoveryTest : public SimTest {
 protected:
  // A machine whose last reinstall was cut off once it had deleted "Front
  // desk": the journal holds both printers, "Back office" (the default) is
  // still there.
  void SetUpInterrupted() {
    Reset();
    machine.shiftHeld = false;
    Run(u"install");
    sim::RemovePrinter(machine, u"Corvane");
    AddProductPrinter(machine, kBackOffice[0], kBackOffice[2], kBackOffice[3]);
    for (const char16_t* key : {u"", u"DsUser"}) SetSettingsKey(machine, kBackOffice[0], key, "keyBack");
    sim::SetDefaultPrinter(machine, kBackOffice[0]);
    LeaveJournal(machine, {kBackOffice, kFrontDesk});
  }
};

TEST_F(RecoveryTest, AFailedReinstallKeepsTheJournalOrNamesThePrinterAndTheNextRunBringsAllBack) {
  using Arrange = std::function<void(sim::Machine&)>;
  const struct {
    const char* what;
    Arrange arrange;
    int code;
    std::u16string line;  // a part of one log line
    Texts journal;        // the printers it still holds
    bool backOfficeStays;
  } cases[] = {
      {"read failure", Fails("RegQueryValueExW", 1450, 1, 0, PrinterJournalValue), 100,
       u"Error(21): Can`t read the journal of printers to bring back - ( No Description )",
       {u"Back office", u"Front desk"}, true},
      {"key open failure", Fails("RegOpenKeyExW", 5, 1, 0, u"HKLM\\Software\\Brennock\\Corvane"), 100,
       u"Error(21): Can`t read the journal of printers to bring back - (Access is denied.)",
       {u"Back office", u"Front desk"}, true},
      {"write failure", Fails("RegSetValueExW", 5, -1, 0, PrinterJournalValue), 100,
       u"Error(22): Can`t write printer 'Back office' to the journal - (Access is denied.)",
       {u"Back office", u"Front desk"}, true},
      {"driver failure", Fails("AddPrinterDriverExW", 5, -1), 100,
       u"Error(15): Can`t add printer 'Front desk'", {u"Back office", u"Front desk"}, false},
      {"re-creation failure", Fails("AddPrinterW", 5, 1, 0, u"Front desk"), 100,
       u"Error(15): Can`t add printer 'Front desk'", {u"Front desk"}, true},
      {"settings key write failure", Fails("SetPrinterDataExA", 5, 1, 1), 100,
       u"Error(23): Can`t write the settings key name of printer 'Front desk'", {u"Front desk"}, true},
      // Back office as a failed run left it, no longer the default: kept in
      // place, it keeps its record, whose default mark the next run puts back.
      {"settings unread",
       [](sim::Machine& m) { sim::SetDefaultPrinter(m, u""); m.Fail("GetDefaultPrinterW", 5, 1); }, 100,
       u"Error(18): Can`t read the settings of printer 'Back office' - (Access is denied.)", {u"Back office"}, true},
      {"name taken by another maker",
       [](sim::Machine& m) { sim::WritePrinter(m, {u"Front desk", u"Fenwick LaserPro", u"LPT1:", u"", u"", 0}); }, 1,
       u"Printer 'Front desk' with settings key 'keyFront' waits in the journal: another printer holds its name",
       {u"Front desk"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUpInterrupted();
    c.arrange(machine);
    const Texts lines = RunShowingLog(u"install", c.code);
    const auto has = [&](const std::u16string& part) {
      return std::any_of(lines.begin(), lines.end(), [&](auto& line) { return line.find(part) != line.npos; });
    };
    EXPECT_TRUE(has(c.line));
    // A printer kept in place is never re-created over itself from its record.
    EXPECT_FALSE(has(u"printer 'Back office' - (The printer already exists.)"));
    Texts names;
    for (const auto& record : JournalRecords(machine)) names.push_back(record[0]);
    EXPECT_EQ(names, c.journal);
    EXPECT_EQ(PrinterNamed(machine, u"Back office").driver == u"Corvane printer", c.backOfficeStays);

    machine.faults.clear();
    if (c.code == 1) sim::RemovePrinter(machine, u"Front desk");
    EXPECT_EQ(Run(u"install"), 1);
    for (const JournalRecord& r : {kBackOffice, kFrontDesk}) {
      const sim::PrinterRecord p = PrinterNamed(machine, r[0]);
      const std::string key = sim::Utf8(r[1]);
      EXPECT_EQ(std::tie(p.driver, p.comment, p.location), std::tie(u"Corvane printer", r[2], r[3]));
      EXPECT_EQ(SettingsKey(machine, r[0], u"") + SettingsKey(machine, r[0], u"DsUser"), key + key);
    }
    EXPECT_EQ(sim::DefaultPrinter(machine), u"Back office");
    EXPECT_EQ(JournalValue(machine), nullptr);
  }
}

using RecoveryStory = SimTest;

// The journal is only ever the program's own: a value it could not have
// written brings nothing back, and goes with the reinstall.
TEST_F(RecoveryStory, OnlyAJournalOfWholeRecordsBringsPrintersBack) {
  const auto record = [](std::u16string name, std::u16string key) {
    return JournalBytes({{name, key, kFrontDesk[2], kFrontDesk[3], kFrontDesk[4]}});
  };
  const std::vector<std::uint8_t> whole = JournalBytes({kFrontDesk});
  // `first`, then `second` without its last `cut` bytes.
  const auto Joined = [](std::vector<std::uint8_t> first, const std::vector<std::uint8_t>& second, std::size_t cut) {
    first.insert(first.end(), second.begin(), second.end() - cut);
    return first;
  };
  const std::size_t nameBytes = (kFrontDesk[0].size() + 1) * 2;
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool back;
  } cases[] = {
      {"a whole record", whole, true},
      {"a key name of 63 units, the last of 8 bits", record(u"Front desk", std::u16string(62, u'k') + u"\u00ff"), true},
      {"a key name of 64 units", record(u"Front desk", std::u16string(64, u'k')), false},
      {"a key name beyond 8-bit units", record(u"Front desk", u"key\u0100"), false},
      {"an empty key name: a printer without one", record(u"Front desk", u""), true},
      {"an empty name", record(u"", u"keyFront"), false},
      {"a whole record and one of four texts", Joined(whole, record(u"Back office", u"keyBack"), 2), false},
      {"cut inside the key name", {whole.begin(), whole.begin() + nameBytes + 6}, false},
      {"an odd size", {whole.begin(), whole.end() - 1}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    machine.SetValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, PrinterJournalValue, win::REG_BINARY, c.bytes);
    EXPECT_EQ(Run(u"install"), 1);
    EXPECT_EQ(PrinterNamed(machine, u"Front desk").comment, c.back ? u"Reception" : u"");
    EXPECT_EQ(PrinterNamed(machine, u"Corvane").name, c.back ? u"<none>" : u"Corvane");
    EXPECT_EQ(JournalValue(machine), nullptr);
  }
}

// However many printers a reinstall carries, its journal costs one read at
// the start, one write before the first printer goes and one removal once
// all are back; every printer comes back with its settings, the one an
// earlier run left in the journal too.
TEST_F(RecoveryStory, TheJournalCostsTheSameCallsForAnyNumberOfPrinters) {
  for (const int count : {1, 10, 100}) {
    SCOPED_TRACE(count);
    Reset();
    Run(u"install");
    for (int i = 0; i < count; ++i) {
      const std::u16string n = sim::Number(i);
      AddProductPrinter(machine, u"P" + n, u"Room " + n, u"Floor " + n);
      SetSettingsKey(machine, u"P" + n, u"", "key" + sim::Utf8(n));
      sim::WritePrinter(machine, {u"Other " + n, u"Fenwick LaserPro", u"LPT1:", u"", u"", 0});
    }
    LeaveJournal(machine, {kFrontDesk});
    machine.journal.clear();
    EXPECT_EQ(Run(u"install"), 1);
    std::vector<int> calls;
    for (const char* call : {"RegQueryValueExW", "RegSetValueExW", "RegDeleteValueW"})
      calls.push_back(CallsNaming(machine, call, PrinterJournalValue));
    calls.push_back(CallsNaming(machine, "RegFlushKey", ProductMachineKey));
    EXPECT_EQ(calls, (std::vector<int>{2, 1, 1, 2})) << "size and record read, written, removed; both changes flushed";
    EXPECT_EQ(sim::Printers(machine).size(), 2u * count + 2);
    EXPECT_EQ(PrinterNamed(machine, u"Front desk").comment, u"Reception");
    const std::u16string last = sim::Number(count - 1);
    EXPECT_EQ(PrinterNamed(machine, u"P" + last).location, u"Floor " + last);
    EXPECT_EQ(SettingsKey(machine, u"P" + last, u"DsUser"), "key" + sim::Utf8(last));
  }
}

// Another maker's printer parked on "file:" while an outdated monitor is
// replaced, which cannot be written back: it waits in the journal, and
// the next run puts it back.
TEST_F(RecoveryStory, AParkedPrinterThatCannotMoveBackWaitsForTheNextRun) {
  Run(u"install");
  sim::WritePrinter(machine, {u"Plotter", u"Fenwick LaserPro", u"Corvane:", u"", u"", 0});
  sim::SetFileBuild(machine.FindFile(machine.systemDir + u"\\vexmon64.dll")->data, 2600);
  machine.Fail("SetPrinterW", 5, -1, 1, u"Plotter");
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(PrinterNamed(machine, u"Plotter").port, u"file:");
  EXPECT_NE(machine.FindValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, u"PrintersToMoveBack"), nullptr);
  machine.faults.clear();
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(PrinterNamed(machine, u"Plotter").port, u"Corvane:");
  EXPECT_EQ(machine.FindValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, u"PrintersToMoveBack"), nullptr);
}

}  // namespace
