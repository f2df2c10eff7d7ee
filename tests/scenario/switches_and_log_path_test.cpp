// Refused runs: a mistyped switch, a "/log=" path that cannot be written, or
// one someone planted as a link or a second name of another file. Nothing is
// done, no dialog shows, and no byte is written through the planted path.
#include "printer_setup.h"
#include "product_places.h"
#include "read_only_check.h"
#include "sim_test.h"

namespace {

using places::FileBytes;

constexpr char16_t Log[] = u"C:\\Deploy\\corvane.log";
constexpr char16_t Kept[] = u"C:\\Windows\\win.ini";  // what a planted path leads to

enum class Plant { Nothing, SymbolicLink, HardLink, ReadOnly, Held };

class SwitchesAndLogPathTest : public SimTest {
 protected:
  void PlantAtLog(Plant plant) {
    machine.AddFile(Kept, {'k', 'e', 'e', 'p'});
    if (plant == Plant::Nothing) return;
    const std::string bytes = plant == Plant::SymbolicLink ? "" : plant == Plant::HardLink ? "keep" : "old";
    machine.AddFile(Log, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (plant == Plant::Held) machine.HoldFile(Log, UINT64_MAX);
    sim::FileNode& log = *machine.FindFile(Log);
    if (plant == Plant::ReadOnly) log.attributes |= win::FILE_ATTRIBUTE_READONLY;
    if (plant == Plant::HardLink) log.links = 2;  // both names are one file: the log path's node stands for it
    if (plant == Plant::SymbolicLink) {
      log.attributes |= win::FILE_ATTRIBUTE_REPARSE_POINT;
      log.linkTarget = Kept;
    }
  }
};

TEST_F(SwitchesAndLogPathTest, RefusedRunsDoNothingAndWriteNothingThroughAPlantedPath) {
  const std::string refusal = "\xEF\xBB\xBF" "Unknown switch: /quite\r\n";
  const struct {
    const char16_t* words;
    Plant plant;
    const char* logBytes;  // the log path's own bytes afterwards
  } cases[] = {
      {u"install /quite /log=C:\\Deploy\\corvane.log", Plant::Nothing, refusal.c_str()},
      {u"uninstall /log=C:\\Deploy\\corvane.log /quite /x", Plant::Nothing, refusal.c_str()},  // the first is named
      {u"install /QUIET /quite", Plant::Nothing, "<no file>"},
      {u"onInit /quite /log=C:\\Deploy\\corvane.log", Plant::SymbolicLink, ""},
      {u"install /log=C:\\Deploy\\corvane.log", Plant::SymbolicLink, ""},
      {u"install /log=C:\\Deploy\\corvane.log", Plant::HardLink, "keep"},
      {u"def.set /log=C:\\Deploy\\corvane.log", Plant::HardLink, "keep"},
      {u"install /log=C:\\Missing\\corvane.log", Plant::Nothing, "<no file>"},
      {u"uninstall /log=C:\\Deploy", Plant::Nothing, "<no file>"},
      {u"in_notray \"/log=\"", Plant::Nothing, "<no file>"},
      {u"onInit /log=C:\\Deploy\\corvane.log", Plant::ReadOnly, "old"},
      {u"removetray /log=C:\\Deploy\\corvane.log", Plant::Held, "old"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::Utf8(c.words) + " plant " + std::to_string(static_cast<int>(c.plant)));
    Reset();
    machine.AddDirectory(u"C:\\Deploy");
    AddProductPrinter(machine, u"Front desk");
    machine.shiftHeld = true;  // a run would show its dialog
    PlantAtLog(c.plant);
    const std::string before = read_only::WholeState(machine, Log);
    EXPECT_EQ(Run(c.words), 6);
    EXPECT_TRUE(read_only::WholeState(machine, Log) == before) << "the machine changed";
    EXPECT_TRUE(machine.dialogs.empty());
    EXPECT_EQ(FileBytes(machine, Log), c.logBytes);
    EXPECT_EQ(FileBytes(machine, Kept), "keep");
    EXPECT_TRUE(machine.handles.empty()) << "the log file was left open";
    const bool logged = std::u16string_view(c.words).find(u"/log=") != std::u16string_view::npos;
    EXPECT_EQ(machine.Count("CreateFileW"), logged ? 1 : 0) << "the run went on after the file";
  }
}

}  // namespace
