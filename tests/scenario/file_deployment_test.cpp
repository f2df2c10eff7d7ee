// Copying package files into place: locked targets, slow attempts, short
// writes, failed reads, and paths that do not fit.
#include "spooler/file_deployment.h"

#include "product_places.h"
#include "run/log.h"
#include "sim_test.h"

namespace {

const std::u16string kSystem = u"C:\\Windows\\system32\\";
const std::u16string kSource = u"C:\\Program Files\\Corvane\\Setup\\vexmon64.dll";
const std::u16string kTarget = u"C:\\Windows\\system32\\vexmon64.dll";
const std::u16string kCopied = u"  CopyFile vexmon64.dll to C:\\Windows\\system32\\)- OK\r\n";

class FileDeploymentTest : public StateTest {
 protected:
  FileDeploymentTest() { Assign(state.ModuleDir, u"C:\\Program Files\\Corvane\\Setup\\"); }
  win::HRESULT Copy(const std::u16string& dir, bool counted, char16_t* targetPath = nullptr) {
    return CopyPackageFile(state, dir.c_str(), u"vexmon64.dll", targetPath, counted);
  }
  std::vector<std::uint8_t> Data(const std::u16string& path) { return machine.FindFile(path)->data; }
};

TEST_F(FileDeploymentTest, CopiesTheWholeFileAndLogsOneLine) {
  // Longest first: each copy lands on a longer file, of which nothing may be left.
  for (std::size_t size : {std::size_t{3 * 8192 + 5}, std::size_t{8193}, std::size_t{8192}, std::size_t{0}}) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    machine.AddFile(kSource, data);
    Release(state.Log);
    machine.journal.clear();
    EXPECT_EQ(Copy(kSystem, true), 0) << size;
    EXPECT_EQ(Data(kTarget), data) << size;
    EXPECT_EQ(machine.Count("ReadFile"), static_cast<int>(size / 8192 + 1)) << size;
    EXPECT_EQ(LogOf(state), kCopied);
    EXPECT_EQ(state.Indent, 0);
  }
  // The source is opened to read, sharing reads; the target is created anew, sharing reads.
  const auto opens = machine.Arguments("CreateFileW");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(Mismatches(opens[0], {{"lpFileName", kSource},
                                  {"dwDesiredAccess", sim::Number(win::GENERIC_READ)},
                                  {"dwShareMode", sim::Number(win::FILE_SHARE_READ)},
                                  {"dwCreationDisposition", sim::Number(win::OPEN_EXISTING)}}),
            std::vector<std::string>{});
  EXPECT_EQ(Mismatches(opens[1], {{"lpFileName", kTarget},
                                  {"dwDesiredAccess", sim::Number(win::GENERIC_WRITE)},
                                  {"dwShareMode", sim::Number(win::FILE_SHARE_READ)},
                                  {"dwCreationDisposition", sim::Number(win::CREATE_ALWAYS)},
                                  {"dwFlagsAndAttributes", u"0"}}),
            std::vector<std::string>{});
  // With or without its backslash, the folder gives one target path.
  char16_t with[TargetPathCapacity], without[TargetPathCapacity];
  EXPECT_EQ(Copy(kSystem, false, with), 0);
  EXPECT_EQ(Copy(u"C:\\Windows\\system32", false, without), 0);
  EXPECT_EQ(std::u16string(with), kTarget);
  EXPECT_EQ(std::u16string(without), kTarget);
}

TEST_F(FileDeploymentTest, TargetLockedForThreeSecondsIsWaitedFor) {
  machine.AddFile(kTarget, {1, 2, 3});
  machine.HoldFile(kTarget, 3000);
  EXPECT_EQ(Copy(kSystem, true), 0);
  EXPECT_GE(machine.nowMs, 3000u);
  EXPECT_LT(machine.nowMs, 3100u);
  EXPECT_EQ(LogOf(state), kCopied);
  EXPECT_EQ(Data(kTarget), Data(kSource));
}

TEST_F(FileDeploymentTest, TargetLockedForGoodFailsAtTheHundredthAttempt) {
  machine.AddFile(kTarget, {1, 2, 3});
  machine.HoldFile(kTarget, UINT64_MAX);
  EXPECT_EQ(Copy(kSystem, false), CopyFailed);
  EXPECT_EQ(places::CallsOn(machine, "CreateFileW", kTarget), 100);
  EXPECT_LT(machine.nowMs, 10000u);
  EXPECT_EQ(LogOf(state),
            u"  CopyFile vexmon64.dll to C:\\Windows\\system32\\) Cant't open destination file- FAILED!\r\n");
  EXPECT_EQ(state.ErrorCount, 0);
  EXPECT_EQ(Data(kTarget), (std::vector<std::uint8_t>{1, 2, 3})) << "the target is untouched";

  EXPECT_EQ(Copy(kSystem, true), CopyFailed);
  EXPECT_EQ(state.ErrorCount, 1);
  EXPECT_HAS(LogOf(state),
             u"  Error(9): CopyFile vexmon64.dll to C:\\Windows\\system32\\) Cant't open destination file- "
             u"FAILED! - (The process cannot access the file because it is being used by another "
             u"process.)\r\n");

  // Attempts that each take long end on the time limit instead.
  Release(state.Log);
  machine.journal.clear();
  machine.callCostMs["CreateFileW"] = 150;
  EXPECT_EQ(Copy(kSystem, false), CopyFailed);
  EXPECT_LT(places::CallsOn(machine, "CreateFileW", kTarget), 100);
  EXPECT_EQ(Log(),
            (Texts{u"  CreateFile - timeout",
                   u"  CopyFile vexmon64.dll to C:\\Windows\\system32\\) Cant't open destination file- FAILED!"}));
}

TEST_F(FileDeploymentTest, MissingSourceCreatesNoTarget) {
  machine.files.erase(sim::Machine::Key(kSource));
  EXPECT_EQ(Copy(kSystem, true), CopyFailed);
  EXPECT_EQ(machine.FindFile(kTarget), nullptr);
  EXPECT_EQ(LogOf(state),
            u"  Error(10): CopyFile vexmon64.dll to C:\\Windows\\system32\\) Cant't open source file- "
            u"FAILED! - (The system cannot find the file specified.)\r\n");
}

TEST_F(FileDeploymentTest, ShortWriteOrFailedReadKeepsWhatWasWritten) {
  machine.AddFile(kSource, std::vector<std::uint8_t>(20000, 0x5A));
  machine.diskFreeBytes = 10000;
  EXPECT_EQ(Copy(kSystem, true), CopyFailed);
  EXPECT_EQ(Data(kTarget).size(), 8192u);
  EXPECT_EQ(Log().at(0),
            u"  Error(8): CopyFile vexmon64.dll to C:\\Windows\\system32\\)Copy Error- FAILED! - (There "
            u"is not enough space on the disk.)");

  machine.diskFreeBytes = UINT64_MAX;
  machine.files.erase(sim::Machine::Key(kTarget));
  Release(state.Log);
  machine.Fail("ReadFile", 23 /* ERROR_CRC */, 1, 1);
  EXPECT_EQ(Copy(kSystem, false), CopyFailed);
  EXPECT_EQ(Data(kTarget).size(), 8192u);
  EXPECT_EQ(LogOf(state), u"  CopyFile vexmon64.dll to C:\\Windows\\system32\\)Copy Error- FAILED!\r\n");
}

// A target path of the buffer's length less its terminator is copied; one
// character more is refused, and nothing past the buffer is touched.
TEST_F(FileDeploymentTest, TargetPathOfTheBuffersLengthFitsAndOneMoreDoesNot) {
  const std::size_t fileName = std::u16string(u"\\vexmon64.dll").size();
  for (const std::size_t length : {std::size_t{TargetPathCapacity - 1}, std::size_t{TargetPathCapacity}}) {
    SCOPED_TRACE(length);
    Fresh();
    Assign(state.ModuleDir, u"C:\\Program Files\\Corvane\\Setup\\");
    const std::u16string deep = u"C:\\" + std::u16string(length - fileName - 3, u'd');
    machine.AddDirectory(deep);
    char16_t buffer[TargetPathCapacity + 8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    const bool fits = length < TargetPathCapacity;
    EXPECT_EQ(Copy(deep, true, buffer), fits ? 0 : CopyFailed);
    EXPECT_EQ(std::u16string(buffer), fits ? deep + u"\\vexmon64.dll" : u"");
    for (std::size_t i = TargetPathCapacity; i < TargetPathCapacity + 8; ++i) EXPECT_EQ(buffer[i], u'#');
    EXPECT_EQ(machine.FindFile(deep + u"\\vexmon64.dll") != nullptr, fits);
    EXPECT_EQ(state.ErrorCount, fits ? 0 : 1);
    if (!fits) {
      EXPECT_HAS(LogOf(state), u"Cant't open destination file- FAILED!");
    }
  }
}

// The names each platform installs under, and the spooler's folder for it.
TEST_F(FileDeploymentTest, EachPlatformHasItsFileAndEnvironmentNames) {
  const struct {
    bool x64;
    const char16_t *environment, *monitor, *driver, *ui, *folder;
  } platforms[] = {
      {true, u"Windows x64", u"vexmon64.dll", u"vexdrv64.dll", u"vexui64.dll", u"x64"},
      {false, u"Windows NT x86", u"vexmon32.dll", u"vexdrv32.dll", u"vexui32.dll", u"W32X86"},
  };
  for (const auto& p : platforms) {
    SelectPlatform(state, p.x64);
    EXPECT_EQ(std::u16string(state.Environment), p.environment);
    EXPECT_EQ(std::u16string(state.MonitorFile), p.monitor);
    EXPECT_EQ(std::u16string(state.DriverFile), p.driver);
    EXPECT_EQ(std::u16string(state.UiFile), p.ui);
    EXPECT_EQ(std::u16string(state.HelpFile), u"vexhelp.chm");
    EXPECT_EQ(std::u16string(Text(state.DriverDir)),
              u"C:\\Windows\\system32\\spool\\drivers\\" + std::u16string(p.folder) + u"\\");
    EXPECT_EQ(state.Is64Bit, p.x64 ? 1 : 0);
    EXPECT_EQ(state.ErrorCount, 0);
  }
}

TEST_F(FileDeploymentTest, PercentSignsInPathsReachTheLogUnchanged) {
  machine.AddDirectory(u"C:\\100%s%d");
  machine.Fail("CreateFileW", win::ERROR_ACCESS_DENIED, -1, 0, u"100%");
  EXPECT_EQ(Copy(u"C:\\100%s%d", true), CopyFailed);
  EXPECT_HAS(LogOf(state), u"to C:\\100%s%d)");
}

}  // namespace
