// Creating and releasing the record of a run.
#include "run/log.h"
#include "sim_test.h"

namespace {

using InstallStateTest = StateTest;

TEST_F(InstallStateTest, DirectoriesKeepOneLastSeparator) {
  const std::pair<const char16_t*, const char16_t*> modules[] = {
      {u"corvane-setup.exe", u""},
      {u"C:corvane-setup.exe", u"C:"},
      {u"D:/kits/corvane-setup.exe", u"D:/kits/"},
      {u"C:\\corvane-setup.exe", u"C:\\"},
  };
  for (const auto& [path, dir] : modules) {
    machine.modulePath = path;
    Create(2);
    EXPECT_EQ(std::u16string(Text(state.ModuleDir)), dir) << sim::Utf8(path);
  }
  // A system directory at a drive root gets no second backslash.
  machine.systemDir = u"C:\\";
  Create(2);
  EXPECT_EQ(std::u16string(Text(state.SystemDir)), u"C:\\");
}

TEST_F(InstallStateTest, UnreadableDirectoriesAreErrorsSevenAndSix) {
  machine.Fail("GetSystemDirectoryW", win::ERROR_ACCESS_DENIED);
  Create(2, true);
  EXPECT_EQ(Length(state.SystemDir), 0u);
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_HAS(LogOf(state), u"Error(7): Can`t retrieve system directory. - (Access is denied.)\r\n");

  machine.Fail("GlobalAlloc", win::ERROR_NOT_ENOUGH_MEMORY);
  Create(2, true);
  EXPECT_EQ(Length(state.DriverDir), 0u);
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_HAS(LogOf(state), u"Error(6): Can`t retrieve printer driver directory. - (Not enough memory");
}

TEST_F(InstallStateTest, DriverDirectoryOfAStoppedSpoolerIsErrorSix) {
  machine.services[0].state = win::SERVICE_STOPPED;
  machine.services[0].startError = win::ERROR_SERVICE_DISABLED;
  Create(2, true);
  EXPECT_EQ(Length(state.DriverDir), 0u);
  EXPECT_EQ(Log(), (Texts{u"Corvane 2620", u"#Check Spooler",
                          u"  Error(4): Can't start the spooler - (The service cannot be started, either because it is "
                          u"disabled or because it has no enabled devices associated with it.)",
                          u"Error(6): Can`t retrieve printer driver directory. - (The RPC server is unavailable.)"}));
  EXPECT_EQ(std::u16string(state.HelpFile), u"vexhelp.chm");
}

}  // namespace
