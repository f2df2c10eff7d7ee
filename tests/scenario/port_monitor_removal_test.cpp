// Removing "Corvane:" when its record names a file that would lead out of
// the system directory (whole runs, and the build of a monitor file: runs_test).
#include "run/log.h"
#include "monitor/port_monitor_removal.h"
#include "platform/sim/print_store.h"
#include "sim_test.h"

namespace {

const std::u16string kMonitorDll = u"C:\\Windows\\system32\\vexmon64.dll";

class PortMonitorRemovalTest : public StateTest {
 protected:
  // Runs the removal step as a reinstall (`checking`) or an uninstall would.
  void Remove(bool checking) {
    Create();
    state.CheckMonitorVersion = checking;
    MonitorList list = ListPortMonitors(state);
    RemovePortMonitor(state, list);
    win::GlobalFree(list.entries);
  }
  bool Has(const std::u16string& line) { return LogOf(state).find(line + u"\r\n") != std::u16string::npos; }
};

// A record whose file name leads out of the system directory: the monitor
// goes, no file is deleted or left for a later deletion.
TEST_F(PortMonitorRemovalTest, FileNamesWithFolderPartsDeleteNothing) {
  for (const std::u16string dll : {u"..\\win.ini", u"C:\\Windows\\win.ini", u"../win.ini", u"C:win.ini", u"..",
                                   u"."}) {
    SCOPED_TRACE(sim::Utf8(dll));
    Fresh();
    machine.AddFile(u"C:\\Windows\\win.ini", {1, 2});
    sim::RegisterMonitor(machine, u"Corvane:", dll, {u"Corvane:"});
    Remove(false);
    EXPECT_TRUE(Has(u"  Monitor was removed :)"));
    EXPECT_TRUE(Has(u"  Monitor file name '" + dll + u"' leads out of the system directory: no file is deleted"));
    EXPECT_FALSE(sim::MonitorRegistered(machine, u"Corvane:"));
    EXPECT_EQ(machine.Count("DeleteFileW"), 0);
    EXPECT_EQ(state.Undeletable, nullptr);
    EXPECT_EQ(state.ErrorCount, 0);
    EXPECT_NE(machine.FindFile(u"C:\\Windows\\win.ini"), nullptr);
  }
  // A plain name is still deleted.
  Fresh();
  sim::RegisterMonitor(machine, u"Corvane:", u"vexmon64.dll", {u"Corvane:"});
  machine.AddFile(kMonitorDll, {1});
  Remove(false);
  EXPECT_EQ(machine.FindFile(kMonitorDll), nullptr);
}

}  // namespace
