// The tray companion: stopped by "removetray" and by every uninstall part,
// registered for log-on and started again at the end of an install.
#include "product_places.h"
#include "sim_test.h"

namespace {

using namespace places;

class TrayCompanionTest : public SimTest {
 protected:
  void StartRegistered(const std::u16string& program) {
    machine.SetString(win::HKEY_LOCAL_MACHINE, kRunKey, kRunValue, program);
    sim::StartCompanion(machine, program);
  }
  // Runs "removetray" and gives the virtual time it took. It always goes
  // on to remove the Run value, even after giving up on the companion.
  std::uint64_t RemoveTray() {
    machine.journal.clear();
    const std::uint64_t start = machine.nowMs;
    EXPECT_EQ(Run(u"removetray"), 6);
    EXPECT_TRUE(machine.dialogs.empty());
    for (const auto& [name, mutex] : machine.mutexes) EXPECT_EQ(mutex.programHandles, 0) << "mutex handle left open";
    EXPECT_EQ(RunEntry(machine), nullptr);
    return machine.nowMs - start;
  }
  // Whether the companion runs, how often it was started and asked to end.
  std::vector<int> Companion() const {
    return {machine.companion.running, machine.companion.starts, machine.companion.exitRequests};
  }
  std::u16string RunValue() { return machine.String(win::HKEY_LOCAL_MACHINE, kRunKey, kRunValue); }
  // Puts the installer into `setupDir` with its package files beside it.
  void MoveInstaller(const std::u16string& setupDir, const std::u16string& exe) {
    machine.AddDirectory(setupDir);
    for (const char16_t* f : {u"vexmon64.dll", u"vexdrv64.dll", u"vexui64.dll", u"vexhelp.chm"})
      machine.AddFile(setupDir + f, machine.FindFile(kSetupDir + f)->data);
    machine.modulePath = setupDir + exe;
  }
};

TEST_F(TrayCompanionTest, RemoveTrayWithoutCompanionOrRunValueOnlyPauses) {
  EXPECT_EQ(RemoveTray(), 1000u);
  // No mutex: nobody to ask, nothing to wait for or delete.
  EXPECT_EQ(Counts({"Sleep", "FindWindowW", "WaitForSingleObject", "DeleteFileW"}), (std::vector<int>{1, 0, 0, 0}));
  EXPECT_NE(machine.FindFile(kTray), nullptr);
}

TEST_F(TrayCompanionTest, RemoveTrayEndsAnAnsweringCompanionAndDeletesItsProgram) {
  StartRegistered(kTray);
  EXPECT_LT(RemoveTray(), 1000u);
  EXPECT_EQ(Companion(), (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(machine.Count("WaitForSingleObject"), 1);
  EXPECT_EQ(machine.FindFile(kTray), nullptr);
  // The handshake's names and values, and the Run key opened with every right.
  EXPECT_EVERY_CALL(machine, "CreateMutexA", (sim::CallArguments{{"bInitialOwner", u"0"}}));
  EXPECT_EVERY_CALL(machine, "FindWindowW",
                    (sim::CallArguments{{"lpClassName", sim::CompanionWindowClass}, {"lpWindowName", std::nullopt}}));
  EXPECT_EVERY_CALL(machine, "PostMessageW", (sim::CallArguments{{"Msg", u"1026"}, {"wParam", u"0"}, {"lParam", u"0"}}));
  EXPECT_EVERY_CALL(machine, "RegOpenKeyExW", (sim::CallArguments{{"samDesired", sim::Number(win::KEY_ALL_ACCESS)}}));
  // The image stays mapped a moment after the end: the first attempts are refused.
  EXPECT_GE(CallsOn(machine, "DeleteFileW", kTray), 2);

  // Ending without releasing the mutex is an end all the same, seen at once.
  Reset();
  machine.companionBehaviour.abandonsMutex = true;
  StartRegistered(kTray);
  EXPECT_LT(RemoveTray(), 5000u);
  EXPECT_EQ(Companion(), (std::vector<int>{0, 1, 1}));
  // The abandoned wait goes on; with the window gone, one more wait takes the free mutex.
  EXPECT_EQ(machine.Count("WaitForSingleObject"), 2);
  EXPECT_EQ(machine.FindFile(kTray), nullptr);
}

TEST_F(TrayCompanionTest, RemoveTrayGivesUpOnACompanionThatNeverShowsOrNeverEnds) {
  machine.companionBehaviour.windowDelayMs = 3600 * 1000;
  StartRegistered(kTray);
  // 20 polls of 250 ms, then ten refused deletions of the running program, 100 ms apart.
  EXPECT_EQ(RemoveTray(), 20 * 250u + 10 * 100u);
  EXPECT_EQ(Companion(), (std::vector<int>{1, 1, 0}));
  // No request, nothing to wait for.
  EXPECT_EQ(Counts({"FindWindowW", "WaitForSingleObject"}), (std::vector<int>{20, 0}));
  EXPECT_NE(machine.FindFile(kTray), nullptr);
  EXPECT_EQ(CallsOn(machine, "DeleteFileW", kTray), 10);

  Reset();
  machine.companionBehaviour.ignoresExitRequest = true;
  StartRegistered(kTray);
  const std::uint64_t waited = RemoveTray();
  EXPECT_GE(waited, 100 * 1000u);
  EXPECT_LE(waited, 107 * 1000u);
  EXPECT_EQ(Companion(), (std::vector<int>{1, 1, 20}));
  EXPECT_EQ(machine.Count("WaitForSingleObject"), 21) << "one wait after each request, one more at the end";
}

}  // namespace
