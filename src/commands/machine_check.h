// The "check" word: how the product stands on the machine, read without
// changing anything, one line a finding, for a fleet's detection script and
// for support on a captured machine.
#pragma once

#include "commands/log_output.h"

// What a check found, by the exit code a caller reads.
enum class CheckOutcome { Healthy, InstallRepairs, RestartFirst };

// Writes the report to standard output and to the log file, when one was
// asked for.
CheckOutcome RunCheck(const LogOutput& output);
