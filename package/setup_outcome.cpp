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
  if (phase == SetupPhase::Install) return {true, false, false};
  return {false, false, true};
}
