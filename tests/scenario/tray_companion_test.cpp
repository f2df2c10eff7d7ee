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

TEST_F(TrayCompanionTest, ReinstallRestartsTheCompanionWithoutDeletingItsProgram) {
  ASSERT_EQ(Run(u"install"), 1);
  ASSERT_TRUE(machine.companion.running);
  machine.journal.clear();
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(Companion(), (std::vector<int>{1, 2, 1})) << "stopped by the handshake, started again";
  EXPECT_NE(machine.FindFile(kTray), nullptr);
  EXPECT_EQ(CallsOn(machine, "DeleteFileW", kTray), 0);
  EXPECT_EQ(RunValue(), kTray);
}

TEST_F(TrayCompanionTest, UninstallAndOtherRemovalsDeleteTheProgram) {
  ASSERT_EQ(Run(u"install"), 1);
  EXPECT_EQ(Run(u"uninstall"), 2);
  EXPECT_EQ(Companion(), (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(machine.FindFile(kTray), nullptr);
  EXPECT_EQ(RunEntry(machine), nullptr);

  // A Run value left by an installation elsewhere names a program nobody starts again.
  Reset();
  const std::u16string old = u"C:\\Old\\cortray.exe";
  machine.AddFile(old, machine.FindFile(kTray)->data);
  StartRegistered(old);
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(Present({old, kTray}), (std::vector<bool>{false, true}));
  EXPECT_EQ(machine.companion.image, kTray);
  EXPECT_EQ(RunValue(), kTray);

  // Without the tray the install does not start it again, so it may go.
  Reset();
  ASSERT_EQ(Run(u"install"), 1);
  EXPECT_EQ(Run(u"in_notray"), 1);
  EXPECT_EQ(Companion(), (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(machine.FindFile(kTray), nullptr);
  EXPECT_EQ(RunEntry(machine), nullptr);
}

TEST_F(TrayCompanionTest, InstallRegistersAndStartsOnlyWhereItShould) {
  EXPECT_EQ(Run(u"install"), 1);
  // Started by its quoted path alone, shown, with nothing of the installer's handed down.
  EXPECT_EVERY_CALL(machine, "CreateProcessW",
                    (sim::CallArguments{{"lpApplicationName", std::nullopt},
                                        {"lpCommandLine", u"\"" + kTray + u"\""},
                                        {"lpProcessAttributes", u"0"},
                                        {"lpThreadAttributes", u"0"},
                                        {"bInheritHandles", u"0"},
                                        {"dwCreationFlags", sim::Number(win::NORMAL_PRIORITY_CLASS)},
                                        {"lpEnvironment", u"0"},
                                        {"lpCurrentDirectory", std::nullopt},
                                        {"cb", u"104"},
                                        {"dwFlags", sim::Number(win::STARTF_USESHOWWINDOW)},
                                        {"wShowWindow", sim::Number(win::SW_SHOW)}}));

  Reset();
  EXPECT_EQ(Run(u"in_notray"), 1);
  EXPECT_EQ(RunEntry(machine), nullptr);
  EXPECT_TRUE(machine.processesStarted.empty());
  EXPECT_EQ(machine.Count("CreateProcessW"), 0);

  for (const auto& [major, platform] : {std::pair<win::DWORD, win::DWORD>{5, win::VER_PLATFORM_WIN32_NT},
                                        {10, win::VER_PLATFORM_WIN32_NT - 1}}) {
    Reset();
    machine.osMajor = major;
    machine.osPlatform = platform;
    EXPECT_EQ(Run(u"install"), 1) << major;
    EXPECT_EQ(RunEntry(machine), nullptr) << major;
    EXPECT_EQ(machine.Count("CreateProcessW"), 0) << major;
    EXPECT_FALSE(machine.companion.running) << major;
  }
}

TEST_F(TrayCompanionTest, TrayPathComesFromTheInstallersParentFolder) {
  // At the root of a drive there is no parent folder: the bare name is used.
  MoveInstaller(u"D:\\", u"corvane-setup.exe");
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(RunValue(), u"cortray.exe");
  EXPECT_EQ(CallsOn(machine, "CreateProcessW", u"\"cortray.exe\""), 1);

  // A path the command line cannot hold whole is registered whole but never run cut short.
  Reset();
  const std::u16string parent = u"C:\\" + std::u16string(247, u'a');
  MoveInstaller(parent + u"\\S\\", u"x.exe");
  const std::u16string tray = parent + u"\\cortray.exe";
  machine.AddFile(tray, machine.FindFile(kTray)->data);
  ASSERT_GT(tray.size(), 259u);
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(RunValue(), tray);
  EXPECT_EQ(machine.Count("CreateProcessW"), 0);
  EXPECT_TRUE(machine.processesStarted.empty());
  EXPECT_FALSE(machine.companion.running);
}

// On a system older than NT 6 the reinstall starts no companion, so it keeps
// none: the program the Run value names is deleted.
TEST_F(TrayCompanionTest, ReinstallOnAnOldSystemDeletesTheCompanionItWillNotStart) {
  StartRegistered(kTray);
  machine.osMajor = 5;
  EXPECT_EQ(Run(u"install"), 1);
  EXPECT_EQ(machine.FindFile(kTray), nullptr);
  EXPECT_EQ(RunEntry(machine), nullptr);
  EXPECT_FALSE(machine.companion.running);
  EXPECT_EQ(machine.Count("CreateProcessW"), 0);
}

}  // namespace
