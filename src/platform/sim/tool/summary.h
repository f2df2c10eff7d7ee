// The readable summary `corvane-sim show` prints: everything of a simulated
// machine that the setup program touches.
#pragma once

#include <string>

#include "platform/sim/machine.h"

namespace simtool {

std::string Summary(sim::Machine& machine);

}  // namespace simtool
