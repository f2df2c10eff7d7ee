// The process around a program run on the simulated machine: the machine
// from CORVANE_SIM_MACHINE (or a fresh default one), the program's command
// line, and the machine saved back when the program ends. Shared by the
// native corvane-setup and corvane-capture.
#pragma once

#include <string>

#include "platform/sim/machine.h"
#include "platform/sim/machine_store.h"

namespace sim {

// A machine directory that cannot be used ends the run with this code.
inline constexpr int ExitMachineUnusable = 125;

class MachineHost {
 public:
  // False, with the reason on standard error, when the machine cannot be had.
  bool Start(const char* program);
  Machine& machine() { return machine_; }
  // The program's command line: its module path, then each argument quoted
  // so that the shell's splitting gives it back.
  void SetCommandLine(int argc, char** argv);
  // The program's process is gone; the machine goes back to its directory.
  // The exit code to give, ExitMachineUnusable when the save failed.
  int Finish(int code);
  void HoldShiftForThisRun();

 private:
  Machine machine_;
  MachineDirectory store_;
  std::string program_;
  std::string dirName_;
  bool persistent_ = false;
  bool shiftBefore_ = false;
};

}  // namespace sim
