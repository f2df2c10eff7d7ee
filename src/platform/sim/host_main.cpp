// The native corvane-setup: runs the program's entry on a simulated machine;
// the simulated desktop draws any dialog the program shows on standard error.
//
//   CORVANE_SIM_MACHINE=DIR   runs on the machine saved in DIR (see
//                             machine_store.h) and saves it back when the
//                             program ends, through ExitProcess too; without
//                             it the run has a fresh default machine to itself
//   CORVANE_SIM_SHIFT=1       holds the Shift key down during this run
//   CORVANE_SIM_LOCK_WAIT_MS  how long to wait while another run uses DIR
//                             (30000 unless given)
//   CORVANE_SIM_DIE_BEFORE_SWITCH=1  for tests: the run is killed once its new
//                             snapshot is written, before it takes effect
//
// A kill armed on the machine (corvane-sim kill, or a fault with --kill)
// ends the process with SIGKILL at that call, once the machine as the
// program left it is saved.
//
// A machine directory that cannot be used ends the run with exit code 125
// and a message on standard error.
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "commands/entry.h"
#include "platform/sim/machine_host.h"

namespace {

constexpr std::uint64_t RunWatchdogMs = 24ull * 3600 * 1000;

}  // namespace

int main(int argc, char** argv) {
  static sim::MachineHost host;
  if (!host.Start("corvane-setup")) return sim::ExitMachineUnusable;
  sim::Machine& machine = host.machine();
  sim::SetCurrent(&machine);
  host.HoldShiftForThisRun();
  machine.renderDialogs = true;
  machine.echoStandardOutput = true;
  machine.hangLimitMs = machine.nowMs + RunWatchdogMs;
  machine.exitHandler = [](unsigned code) { std::_Exit(host.Finish(static_cast<int>(code))); };
  machine.killHandler = [] {
    if (host.Finish(0) == sim::ExitMachineUnusable) std::_Exit(sim::ExitMachineUnusable);
    std::fflush(nullptr);
    std::raise(SIGKILL);
  };
  host.SetCommandLine(argc, argv);
  const int code = CorvaneEntry(reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000}));
  return host.Finish(code);
}
