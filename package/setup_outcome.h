// What the installer makes of corvane-setup.exe's exit code. No Windows
// types here, so the rule is tested on the build machine as well.
#pragma once

#include <cstdint>

enum class SetupPhase {
  Install,    // after the files are in place: a failure fails the package
  Uninstall,  // before the files go: fails only when the tool did nothing
  Rollback,   // undoing a failed install: nothing left to fail
};

// corvane-setup.exe's exit code when it did nothing at all.
constexpr std::uint32_t ExitNothingDone = 6;

struct SetupOutcome {
  bool failed;   // the action fails the package (1603)
  bool restart;  // msiexec ends with 3010
  bool warning;  // the installer's log says the tool did not succeed
};

// `started` is false when the tool could not be run at all.
SetupOutcome OutcomeOf(SetupPhase phase, bool started, std::uint32_t exitCode);
