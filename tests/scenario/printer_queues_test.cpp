// Listing, deleting and adding printers, and marking the default printer in
// the run's snapshot.
#include "run/log.h"
#include "printer_setup.h"
#include "printers/printer_queues.h"
#include "printers/printer_settings.h"
#include "sim_test.h"

namespace {

class PrinterQueuesTest : public StateTest {
 protected:
  win::DWORD AttributesOf(const std::u16string& name) {
    for (win::DWORD i = 0; i < state.Printers.count; ++i)
      if (state.Printers.entries[i].pPrinterName == name) return state.Printers.entries[i].Attributes;
    ADD_FAILURE() << "no record " << sim::Utf8(name);
    return 0;
  }
};

TEST_F(PrinterQueuesTest, OnlyTheDefaultPrinterIsMarkedInTheSnapshot) {
  sim::WritePrinter(machine, {u"Laser", u"Other", u"LPT1:", u"", u"", 0});
  sim::WritePrinter(machine, {u"Laser 2", u"Other", u"LPT2:", u"", u"", 0});
  sim::SetDefaultPrinter(machine, u"Laser 2");
  Create();
  ASSERT_EQ(state.Printers.count, 2u);
  EXPECT_EQ(AttributesOf(u"Laser") & win::PRINTER_ATTRIBUTE_DEFAULT, 0u);
  EXPECT_EQ(AttributesOf(u"Laser 2") & win::PRINTER_ATTRIBUTE_DEFAULT, win::PRINTER_ATTRIBUTE_DEFAULT);

  sim::SetDefaultPrinter(machine, u"");
  Create();
  EXPECT_EQ(AttributesOf(u"Laser 2") & win::PRINTER_ATTRIBUTE_DEFAULT, 0u);
}

TEST_F(PrinterQueuesTest, TheListBlockHasRoomToSpare) {
  sim::WritePrinter(machine, {u"Laser", u"Other", u"LPT1:", u"", u"", 0});
  PrinterList list{nullptr, 0};
  ListPrinters(list);
  win::DWORD needed = 0, returned = 0;
  win::EnumPrintersW(6, nullptr, 2, nullptr, 0, &needed, &returned);
  EXPECT_EQ(machine.globalBlocks.at(list.entries), needed + 32u);
  machine.Fail("EnumPrintersW", win::ERROR_ACCESS_DENIED, 1, 1);
  ListPrinters(list);
  EXPECT_EQ(list.entries, nullptr) << "a failed fetch leaves no partial list";
  EXPECT_EQ(list.count, 0u);
}

TEST_F(PrinterQueuesTest, OnlyProductPrintersAreDeleted) {
  Create();
  DeleteAllPrinterQueues(state);
  EXPECT_EQ(Log(), (Texts{u"#DeleteAllPrinters"}));

  AddProductPrinter(machine, u"Mine");
  sim::WritePrinter(machine, {u"Lookalike", u"corvane printer", u"Corvane:", u"", u"", 0});
  sim::WritePrinter(machine, {u"Neighbour", u"Other", u"Corvane:", u"", u"", 0});
  Create();
  DeleteAllPrinterQueues(state);
  EXPECT_EQ(Log(), (Texts{u"#DeleteAllPrinters", u"  #DeletePrinter(Mine)", u"    OK"}));
  const auto opens = machine.Arguments("OpenPrinterW");
  ASSERT_FALSE(opens.empty());
  EXPECT_EQ(Mismatches(opens.back(), {{"pPrinterName", u"Mine"},
                                      {"pDatatype", std::nullopt},
                                      {"pDevMode", u"0"},
                                      {"DesiredAccess", sim::Number(win::DELETE | win::PRINTER_ACCESS_ADMINISTER)}}),
            std::vector<std::string>{});
  EXPECT_EVERY_CALL(machine, "SetPrinterW",
                    (sim::CallArguments{{"level", u"0"}, {"command", sim::Number(win::PRINTER_CONTROL_PURGE)}}));
  Texts left;
  for (const auto& p : sim::Printers(machine)) left.push_back(p.name);
  EXPECT_EQ(left, (Texts{u"Lookalike", u"Neighbour"}));
}

TEST_F(PrinterQueuesTest, DeletionFailuresAreCountedWithTheSpoolersReason) {
  Create();
  DeletePrinterQueue(state, u"Nobody");
  machine.Fail("DeletePrinter", win::ERROR_ACCESS_DENIED);
  AddProductPrinter(machine, u"Mine");
  DeletePrinterQueue(state, u"Mine");
  EXPECT_EQ(Log(), (Texts{u"#DeletePrinter(Nobody)",
                          u"  Error(16): Can`t open printer 'Nobody' - (The printer name is invalid.)",
                          u"#DeletePrinter(Mine)", u"  Error(17): Can`t delete printer 'Mine' - (Access is denied.)"}));
  EXPECT_EQ(state.ErrorCount, 2);
  EXPECT_EQ(state.Indent, 0);
}

TEST_F(PrinterQueuesTest, APrinterIsAddedEvenWithoutTheMonitor) {
  Create();
  EXPECT_EQ(AddPrinterQueue(state, u"Corvane"), nullptr);
  EXPECT_EQ(Log(),
            (Texts{u"#AddPrinter(Corvane)", u"  Let's check our port monitors",
                   u"  No Corvane port monitor (Windows x64) was found.", u"  ------- 1 existing monitors ----------",
                   u"  1. Local Port", u"  ---------------------------------------",
                   u"  Error(15): Can`t add printer 'Corvane' - (The printer driver is unknown.)"}));
  EXPECT_EQ(machine.Count("AddPrinterW"), 1);
  // The record of the table: an empty comment, never a null one; all else null or zero.
  const std::optional<std::u16string> none;
  sim::CallArguments record = {{"server", none},        {"level", u"2"},
                               {"pServerName", none},   {"pPrinterName", u"Corvane"},
                               {"pShareName", none},    {"pPortName", u"Corvane:"},
                               {"pDriverName", u"Corvane printer"}, {"pComment", u""},
                               {"pLocation", none},     {"pDevMode", u"0"},
                               {"pSepFile", none},      {"pPrintProcessor", u"WinPrint"},
                               {"pDatatype", none},     {"pParameters", none},
                               {"pSecurityDescriptor", u"0"}};
  const std::u16string zeroText = u"0";
  for (const char* zero : {"Attributes", "Priority", "DefaultPriority", "StartTime", "UntilTime", "Status", "cJobs",
                           "AveragePPM"})
    record[zero] = zeroText;
  EXPECT_EVERY_CALL(machine, "AddPrinterW", record);
}

// The snapshot holds the local printers and the user's connections, a
// connection that is the default marked as such.
TEST_F(PrinterQueuesTest, TheSnapshotListsLocalPrintersAndConnections) {
  sim::WritePrinter(machine, {u"Laser", u"Other", u"LPT1:", u"", u"", 0});
  sim::AddConnection(machine, u"office", u"Colour", u"Other");
  sim::SetDefaultPrinter(machine, u"\\\\office\\Colour");
  machine.journal.clear();
  Create();
  ASSERT_EQ(state.Printers.count, 2u);
  EXPECT_EQ(AttributesOf(u"Laser") & win::PRINTER_ATTRIBUTE_DEFAULT, 0u);
  EXPECT_EQ(AttributesOf(u"\\\\office\\Colour") & win::PRINTER_ATTRIBUTE_DEFAULT, win::PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_EVERY_CALL(machine, "EnumPrintersW",
                    (sim::CallArguments{{"flags", sim::Number(win::PRINTER_ENUM_LOCAL | win::PRINTER_ENUM_CONNECTIONS)},
                                        {"name", std::nullopt},
                                        {"level", u"2"}}));
}

}  // namespace
