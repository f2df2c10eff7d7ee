// Whole runs through the program's entry: command words, parent window,
// help windows, the log dialog and the exit codes.
#include "sim_test.h"

namespace {

class EntryTest : public SimTest {
 protected:
  int HelpCloseRequests() const {
    int n = 0;
    for (const auto& e : machine.journal) n += e.call == "PostMessageW" && e.detail == u"HH Parent";
    return n;
  }
};

const std::u16string kDriverDirLine =
    u"PrinterDriverDirectory:C:\\Windows\\system32\\spool\\drivers\\x64\\";

TEST_F(EntryTest, UnrecognisedCommandLinesDoNothingAndExitSix) {
  for (std::u16string words : {u"", u"bogus", u"def.SET", u"DEF.SET", u"def.settings", u"installx",
                               u"\"in stall\"", u"install2", u"-install"}) {
    machine.journal.clear();
    EXPECT_EQ(Run(words), 6) << sim::Utf8(words);
    EXPECT_EQ(machine.Count("OpenSCManagerW"), 0) << sim::Utf8(words);
  }
  EXPECT_TRUE(machine.dialogs.empty());
}

TEST_F(EntryTest, CommandLineThatCannotBeSplitExitsSix) {
  machine.Fail("CommandLineToArgvW", win::ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(Run(u"install"), 6);
  EXPECT_EQ(machine.Count("OpenSCManagerW"), 0);
  EXPECT_TRUE(machine.localBlocks.empty());
}

TEST_F(EntryTest, EveryInstallWordInAnyCaseRunsTheInstall) {
  for (std::u16string word : {u"in", u"IN", u"install", u"InStAlL", u"serverinstall",
                              u"ServerInstall", u"in_notray", u"IN_NOTRAY"}) {
    Reset();
    machine.shiftHeld = true;
    EXPECT_EQ(Run(word), 1) << sim::Utf8(word);
    ASSERT_EQ(machine.dialogs.size(), 1u) << sim::Utf8(word);
    const auto lines = DialogLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], u"Corvane 2620");
    EXPECT_EQ(lines[3], u"##0010");
    EXPECT_TRUE(machine.localBlocks.empty()) << "the split command line was not released";
    EXPECT_TRUE(machine.crtBlocks.empty()) << "the install state was not released";
    EXPECT_TRUE(machine.globalBlocks.empty()) << "global blocks left";
  }
}

TEST_F(EntryTest, InstallLogBeginsWithTheFixedLines) {
  machine.shiftHeld = true;
  ASSERT_EQ(Run(u"install"), 1);
  const auto lines = DialogLines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], u"Corvane 2620");
  EXPECT_EQ(lines[1], u"#Check Spooler");
  EXPECT_EQ(lines[2], kDriverDirLine);
  EXPECT_EQ(lines[3], u"##0010");
  EXPECT_EQ(lines[4], u"#ReInstall");
  EXPECT_EQ(machine.dialogs.back().title, u"Corvane build 2620- Install log.");
}

TEST_F(EntryTest, UninstallWordsRunTheUninstall) {
  machine.shiftHeld = true;
  for (std::u16string word : {u"un", u"UN", u"uninstall", u"UnInstall"}) {
    machine.dialogs.clear();
    EXPECT_EQ(Run(word), 2) << sim::Utf8(word);
    const auto lines = DialogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], u"Corvane 2620");
    EXPECT_EQ(lines[2], kDriverDirLine);
  }
}

TEST_F(EntryTest, MaintenanceWordsReachTheirCommandsWithoutStateOrWindow) {
  for (std::u16string word : {u"onChkDrv", u"ONCHKDRV", u"onInit", u"oninit"}) {
    machine.journal.clear();
    EXPECT_NE(Run(word), 6) << sim::Utf8(word);
    EXPECT_EQ(machine.Count("OpenSCManagerW"), 0) << "no install state for " << sim::Utf8(word);
    EXPECT_EQ(machine.Count("IsWindow"), 0);
  }
  EXPECT_EQ(Run(u"def.set"), 4);
  EXPECT_EQ(Run(u"def.set 12345"), 4);
  EXPECT_TRUE(machine.dialogs.empty());
}

TEST_F(EntryTest, ParentWindowOwnsTheDialogOnlyWithExactlyThreeWords) {
  machine.shiftHeld = true;
  sim::Window& owner = machine.AddWindow(u"CorvaneMain", u"Corvane");
  const std::u16string number = [&] {
    std::string digits = std::to_string(owner.handle);
    return std::u16string(digits.begin(), digits.end());
  }();
  struct Case {
    std::u16string arguments;
    std::uintptr_t owner;
  } cases[] = {
      {u"install " + number, owner.handle},
      {u"install \"  +" + number + u"xyz\"", owner.handle},  // blanks, sign, trailing junk
      {u"uninstall " + number, owner.handle},
      {u"install " + number + u" extra", 0},
      {u"install", 0},
      {u"install 0", 0},
      {u"install abc", 0},
      {u"install 4096", 0},  // names no window
      {u"install 99999999999999", 0},
      {u"install -" + number, 0},
  };
  for (const auto& c : cases) {
    machine.dialogs.clear();
    Run(c.arguments);
    ASSERT_EQ(machine.dialogs.size(), 1u) << sim::Utf8(c.arguments);
    EXPECT_EQ(machine.dialogs[0].owner, c.owner) << sim::Utf8(c.arguments);
  }
}

TEST_F(EntryTest, ErrorsShowTheErrorLogAndExitHundred) {
  machine.Fail("OpenSCManagerW", win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(u"install"), 100);
  ASSERT_EQ(machine.dialogs.size(), 1u);
  EXPECT_EQ(machine.dialogs[0].title, u"Corvane build 2620- Install error log!");
  const auto lines = DialogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[2], u"  Error(1): Can't open service manager. - (Access is denied.)");

  machine.Fail("OpenSCManagerW", win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(u"uninstall"), 100);
  EXPECT_EQ(machine.dialogs.size(), 2u);
}

TEST_F(EntryTest, NoDialogWithoutErrorsOrShift) {
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(Run(u"uninstall"), 2);
  EXPECT_TRUE(machine.dialogs.empty());
  EXPECT_EQ(machine.Count("DialogBoxParamW"), 0);
}

TEST_F(EntryTest, EveryWayOfClosingTheDialogEndsTheRun) {
  machine.shiftHeld = true;
  const std::pair<sim::DialogClose, win::INT_PTR> ways[] = {
      {sim::DialogClose::CloseButton, 1},
      {sim::DialogClose::EnterKey, 1},
      {sim::DialogClose::EscapeKey, 0},
      {sim::DialogClose::CloseBox, 0},
  };
  for (const auto& [way, result] : ways) {
    Reset();
    machine.shiftHeld = true;
    machine.dialogActions = {way};
    EXPECT_EQ(Run(u"install"), 1);
    EXPECT_EQ(machine.dialogs.back().result, result);
  }
  Reset();
  machine.shiftHeld = true;
  machine.Fail("DialogBoxParamW", win::ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(Run(u"install"), 1) << "a dialog that fails to show does not change the outcome";
}

TEST_F(EntryTest, HelpWindowsAreClosedBeforeInstallAndUninstall) {
  machine.AddHelpWindow(120);
  machine.AddHelpWindow(0);
  machine.AddWindow(u"HH Parent", u"Other Help");
  EXPECT_EQ(Run(u"install"), 1);
  int open = 0;
  for (const auto& w : machine.windows) open += w->alive && w->className == u"HH Parent";
  EXPECT_EQ(open, 1) << "only the product's help windows are closed";

  machine.AddHelpWindow(0);
  machine.journal.clear();
  EXPECT_EQ(Run(u"un"), 2);
  EXPECT_EQ(HelpCloseRequests(), 1);
}

TEST_F(EntryTest, HelpWindowThatNeverClosesDelaysTheRunBoundedly) {
  machine.AddHelpWindow(0, false);
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(HelpCloseRequests(), 100);
  std::vector<std::uint64_t> lookups;
  for (const auto& e : machine.journal)
    if (e.call == "FindWindowW" && e.detail == u"Corvane Help") lookups.push_back(e.timeMs);
  ASSERT_EQ(lookups.size(), 100u);
  EXPECT_EQ(lookups.back() - lookups.front(), 99u * 50u);
}

TEST_F(EntryTest, MaintenanceWordsLeaveHelpWindowsOpen) {
  machine.AddHelpWindow(0);
  Run(u"onInit");
  Run(u"def.set");
  EXPECT_EQ(HelpCloseRequests(), 0);
}

}  // namespace
