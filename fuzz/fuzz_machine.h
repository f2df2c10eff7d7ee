// A simulated machine for the fuzz targets, fresh or reused per input.
#pragma once

#include <cstdlib>

#include "platform/sim/machine.h"

namespace fuzz {

// A default machine made current; the journal is emptied each time so that
// a long campaign does not grow it without end.
inline sim::Machine& ReusedMachine() {
  static sim::Machine* machine = [] {
    auto* m = new sim::Machine;
    sim::SetUpDefaultMachine(*m);
    sim::SetCurrent(m);
    return m;
  }();
  machine->journal.clear();
  return *machine;
}

// Blocks the program took and did not give back are a finding.
inline void RequireNothingHeld(const sim::Machine& m) {
  if (!m.crtBlocks.empty() || !m.globalBlocks.empty() || !m.localBlocks.empty()) std::abort();
}

}  // namespace fuzz
