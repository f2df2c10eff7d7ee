#include "setup_outcome.h"

namespace {

// corvane-setup.exe's own codes.
constexpr std::uint32_t ExitInstalled = 1;
constexpr std::uint32_t ExitUninstalled = 2;
constexpr std::uint32_t ExitRestartNeeded = 101;

}  // namespace

SetupOutcome OutcomeOf(SetupPhase phase, bool started, std::uint32_t exitCode) {
  const bool restart = started && exitCode == ExitRestartNeeded;
  const bool succeeded = started && (exitCode == ExitInstalled || exitCode == ExitUninstalled || restart);
  if (succeeded) return {false, restart, false};
  // A removal the tool refused would take the entry from the list of
  // installed programs while the product stays: it fails, and can be
  // retried once the cause is gone. One that ran with errors, or found no
  // tool to run, goes on.
  const bool nothingDone = phase == SetupPhase::Uninstall && started && exitCode == ExitNothingDone;
  if (phase == SetupPhase::Install || nothingDone) return {true, false, false};
  return {false, false, true};
}
