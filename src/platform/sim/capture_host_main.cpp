// The native corvane-capture: captures the simulated machine of
// CORVANE_SIM_MACHINE into a machine directory inside that machine (DIR is a
// Windows path, found under the saved snapshot's drive_x folders), so that
// what the capture reads and refuses can be tried without Windows.
#include "capture/capture_entry.h"
#include "platform/sim/machine_host.h"

int main(int argc, char** argv) {
  sim::MachineHost host;
  if (!host.Start("corvane-capture")) return sim::ExitMachineUnusable;
  sim::SetCurrent(&host.machine());
  host.SetCommandLine(argc, argv);
  return host.Finish(CaptureEntry());
}
