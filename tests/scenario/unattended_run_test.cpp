// Runs without a person: "/quiet" keeps the log dialog away, "/log=PATH"
// leaves the log in a file, and neither changes what the program does.
#include "platform/sim/machine_text.h"
#include "platform/sim/registry_text.h"
#include "printer_setup.h"
#include "sim_test.h"

namespace {

constexpr char16_t LogPath[] = u"C:\\Deploy\\corvane.log";

class UnattendedRunTest : public SimTest {
 protected:
  UnattendedRunTest() { machine.AddDirectory(u"C:\\Deploy"); }

  std::string FileBytes(std::u16string_view path) {
    const sim::FileNode* node = machine.FindFile(path);
    if (!node) return "<no file>";
    return std::string(node->data.begin(), node->data.end());
  }

  // Everything a run could change: registry, files, services, handles.
  std::string MachineImage() {
    std::string error;
    std::string image = sim::RegistryText(machine, error) + sim::MachineText(machine, {});
    for (const auto& [key, node] : machine.files)
      image += sim::Utf8(key) + "=" + std::string(node.data.begin(), node.data.end()) + "\n";
    return image + error;
  }

  // The index in the journal of the first call named `call`, or -1.
  int FirstCall(const char* call) const {
    for (std::size_t i = 0; i < machine.journal.size(); ++i)
      if (machine.journal[i].call == call) return static_cast<int>(i);
    return -1;
  }
};

TEST_F(UnattendedRunTest, QuietShowsNoDialogAndKeepsTheExitCode) {
  const struct {
    const char16_t* words;
    bool errors, shift;
    int code;
  } runs[] = {
      {u"install", true, false, 100},   {u"uninstall", true, false, 100}, {u"in_notray", true, false, 100},
      {u"install", false, true, 1},     {u"un", false, true, 2},
  };
  for (const auto& run : runs) {
    for (const char16_t* quiet : {u"", u" /quiet", u" /QUIET"}) {
      const std::u16string words = run.words + std::u16string(quiet);
      SCOPED_TRACE(sim::Utf8(words));
      Reset();
      machine.shiftHeld = run.shift;
      if (run.errors) machine.Fail("OpenSCManagerW", win::ERROR_ACCESS_DENIED);
      EXPECT_EQ(Run(words), run.code);
      EXPECT_EQ(machine.dialogs.size(), *quiet ? 0u : 1u);
      EXPECT_TRUE(machine.crtBlocks.empty()) << "the install state was not released";
    }
  }
}

TEST_F(UnattendedRunTest, LogFileHoldsTheTitleAndTheWholeLogAsUtf8) {
  const struct {
    const char16_t* switches;
    bool errors;
    const char* title;
  } runs[] = {
      {u"/log=C:\\Deploy\\corvane.log", true, "Corvane build 2620- Install error log!"},
      {u"/LOG=C:\\Deploy\\corvane.log", false, "Corvane build 2620- Install log."},
  };
  for (const auto& run : runs) {
    for (const char16_t* word : {u"install", u"uninstall"}) {
      SCOPED_TRACE(sim::Utf8(word) + (run.errors ? " with errors" : ""));
      Reset();
      machine.AddDirectory(u"C:\\Deploy");
      // Shift makes the same log visible in the dialog to compare with.
      machine.shiftHeld = true;
      if (run.errors) machine.Fail("OpenSCManagerW", win::ERROR_ACCESS_DENIED);
      Run(std::u16string(word) + u" " + run.switches);
      ASSERT_EQ(machine.dialogs.size(), 1u);
      EXPECT_EQ(FileBytes(LogPath),
                "\xEF\xBB\xBF" + std::string(run.title) + "\r\n" + sim::Utf8(machine.dialogs[0].text));
    }
  }
}

TEST_F(UnattendedRunTest, LogFileEncodesEveryCharacterOfTheLog) {
  // A printer whose name needs two, three and four bytes in UTF-8.
  AddProductPrinter(machine, u"B\u00FCro \u2603 \U0001D11E");
  EXPECT_EQ(Run(u"uninstall /quiet /log=C:\\Deploy\\corvane.log"), 2);
  EXPECT_TRUE(machine.dialogs.empty());
  const std::string bytes = FileBytes(LogPath);
  EXPECT_HAS(bytes, "\r\n    #DeletePrinter(B\xC3\xBCro \xE2\x98\x83 \xF0\x9D\x84\x9E)\r\n");
  EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF" "Corvane build 2620- Install log.\r\nCorvane 2620\r\n#Check Spooler\r\n", 0), 0u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  std::size_t bareLineFeeds = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) bareLineFeeds += bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r');
  EXPECT_EQ(bareLineFeeds, 0u);
}

TEST_F(UnattendedRunTest, LogFileIsCreatedBeforeTheMachineChangesAndEmptiedFirst) {
  machine.AddFile(LogPath, std::vector<std::uint8_t>(100000, 'x'));
  machine.AddHelpWindow(0);
  EXPECT_EQ(Run(u"install /log=C:\\Deploy\\corvane.log"), 1);
  const int created = FirstCall("CreateFileW");
  ASSERT_GE(created, 0);
  EXPECT_EQ(machine.journal[created].detail, u"C:\\Deploy\\corvane.log");
  for (const char* call : {"FindWindowW", "PostMessageW", "OpenSCManagerW", "AddMonitorW"})
    EXPECT_LT(created, FirstCall(call)) << call;
  const std::string bytes = FileBytes(LogPath);
  EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF" "Corvane build 2620- Install log.\r\n", 0), 0u);
  EXPECT_EQ(bytes.find("xxx"), std::string::npos) << "the old content was not emptied";
  EXPECT_TRUE(machine.handles.empty()) << "the log file was left open";
}

TEST_F(UnattendedRunTest, AFailedWriteChangesNeitherTheRunNorItsOutcome) {
  const struct {
    const char* call;
    win::DWORD error;
    bool written;
  } faults[] = {{"WriteFile", win::ERROR_DISK_FULL, false}, {"CloseHandle", win::ERROR_INVALID_HANDLE, true}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.call);
    Reset();
    machine.AddDirectory(u"C:\\Deploy");
    machine.Fail(fault.call, fault.error, 1, 0, u"C:\\DEPLOY\\CORVANE.LOG");
    EXPECT_EQ(Run(u"install /quiet /log=C:\\Deploy\\corvane.log"), 1);
    EXPECT_EQ(ProductPrinters(machine), Texts{u"Corvane"});
    EXPECT_EQ(FileBytes(LogPath).empty(), !fault.written);
  }
}

TEST_F(UnattendedRunTest, WordsWithoutALogLeaveAnEmptyFileAndTheirExitCode) {
  const std::pair<const char16_t*, int> words[] = {
      {u"onChkDrv", 3}, {u"onInit", 102}, {u"removetray", 6}, {u"def.set", 4}};
  for (const auto& [word, code] : words) {
    SCOPED_TRACE(sim::Utf8(word));
    machine.AddFile(LogPath, {'o', 'l', 'd'});
    EXPECT_EQ(Run(std::u16string(word) + u" /log=C:\\Deploy\\corvane.log /quiet"), code);
    EXPECT_EQ(FileBytes(LogPath), "");
  }
  // An unrecognised word does nothing at all, not even the file.
  EXPECT_EQ(Run(u"bogus /log=C:\\Deploy\\other.log"), 6);
  EXPECT_EQ(Run(u"/quiet install"), 6) << "a switch is no command word";
  EXPECT_EQ(FileBytes(u"C:\\Deploy\\other.log"), "<no file>");
}

TEST_F(UnattendedRunTest, ALogThatCannotBeWrittenStopsTheRunBeforeAnyChange) {
  machine.AddDirectory(u"C:\\Deploy\\folder");
  machine.AddFile(u"C:\\Deploy\\readonly.log", {'r'});
  machine.FindFile(u"C:\\Deploy\\readonly.log")->attributes |= win::FILE_ATTRIBUTE_READONLY;
  machine.AddFile(u"C:\\Deploy\\held.log", {'h'});
  machine.HoldFile(u"C:\\Deploy\\held.log", UINT64_MAX);
  AddProductPrinter(machine, u"Front desk");
  machine.AddHelpWindow(0);
  machine.shiftHeld = true;
  machine.Fail("OpenSCManagerW", win::ERROR_ACCESS_DENIED, -1);  // a run would show its dialog
  const std::u16string paths[] = {u"C:\\Missing\\corvane.log", u"C:\\Deploy\\folder", u"C:\\Deploy\\readonly.log",
                                  u"C:\\Deploy\\held.log", u""};
  for (const char16_t* word : {u"install", u"uninstall", u"in_notray", u"def.set", u"onInit", u"removetray"}) {
    for (const auto& path : paths) {
      const std::u16string words = std::u16string(word) + u" \"/log=" + path + u"\"";
      SCOPED_TRACE(sim::Utf8(words));
      const std::string before = MachineImage();
      machine.journal.clear();
      EXPECT_EQ(Run(words), 6);
      EXPECT_EQ(MachineImage(), before);
      EXPECT_TRUE(machine.dialogs.empty());
      ASSERT_FALSE(machine.journal.empty());
      EXPECT_EQ(machine.journal.back().call, "CreateFileW") << "the run went on after the file";
      EXPECT_EQ(machine.Count("CreateFileW"), 1);
    }
  }
}

}  // namespace
