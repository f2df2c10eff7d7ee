// A restart the setup tool asks for (exit code 101). A deferred action may
// not ask the installer for it, so it leaves the request as a value under
// the product's key in HKEY_LOCAL_MACHINE, which only administrators can
// write; the immediate action after InstallFinalize (RequestRestart) reads
// it, without writing, and turns it into the installer's restart request.
#pragma once

// At the start of a deferred action that runs the tool: a value left by an
// earlier run (or by anyone else) never asks this run's installer for a
// restart.
void ForgetRestartRequest();
// When the tool ended with 101.
void LeaveRestartRequest();
