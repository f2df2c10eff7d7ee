// Whole runs through the program's entry: the parent window that owns the
// log dialog, and the help windows closed first (the ways of closing the
// dialog: runs_test).
#include "product_places.h"
#include "sim_test.h"

namespace {

using places::CallsOn;
using EntryTest = SimTest;

TEST_F(EntryTest, ParentWindowOwnsTheDialogOnlyWithExactlyThreeWords) {
  machine.AddDirectory(u"C:\\Deploy");
  machine.shiftHeld = true;
  sim::Window& owner = machine.AddWindow(u"CorvaneMain", u"Corvane");
  const std::u16string number = sim::Number(owner.handle);
  const std::pair<std::u16string, std::uintptr_t> cases[] = {
      {u"install " + number, owner.handle},
      {u"install \"  +" + number + u"xyz\"", owner.handle},  // blanks, sign, trailing junk
      {u"install " + number + u" extra", 0},
      {u"install", 0},
      {u"install 4096", 0},  // names no window
      // Switches are left out before the words are counted.
      {u"install /LOG=C:\\Deploy\\b.log " + number, owner.handle},
      {u"install " + number + u" extra /log=C:\\Deploy\\b.log", 0},
      {u"install -unknown " + number, 0},  // not a switch: a fourth word
  };
  for (const auto& [arguments, expected] : cases) {
    machine.dialogs.clear();
    Run(arguments);
    ASSERT_EQ(machine.dialogs.size(), 1u) << sim::Utf8(arguments);
    EXPECT_EQ(machine.dialogs[0].owner, expected) << sim::Utf8(arguments);
  }
  // With "/quiet" the window is still named, and still owns nothing.
  machine.dialogs.clear();
  machine.journal.clear();
  EXPECT_EQ(Run(u"install /quiet " + number), 1);
  EXPECT_EQ(machine.Count("IsWindow"), 1);
  EXPECT_TRUE(machine.dialogs.empty());
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
  EXPECT_EQ(CallsOn(machine, "PostMessageW", u"HH Parent"), 1);

  // One that never closes delays the run boundedly.
  machine.AddHelpWindow(0, false);
  machine.journal.clear();
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(CallsOn(machine, "PostMessageW", u"HH Parent"), 100);
  std::vector<std::uint64_t> lookups;
  for (const auto& e : machine.journal)
    if (e.call == "FindWindowW" && e.detail == u"Corvane Help") lookups.push_back(e.timeMs);
  ASSERT_EQ(lookups.size(), 100u);
  EXPECT_EQ(lookups.back() - lookups.front(), 99u * 50u);
}

}  // namespace
