// The order in which a run takes the product off the system and puts it back.
#pragma once

#include "commands/log_output.h"
#include "run/install_state.h"
#include "platform/platform.h"

void UnInstall(InstallState& state);
void ReInstall(InstallState& state);
// Carries out now every pending deletion of an existing file, whoever
// scheduled it; the system's list itself is left as it is.
void DeletePendingNow();
void RetryUndeletable(InstallState& state);
void CompleteUnInstall(InstallState& state);
// The uninstall command's run; `scheduled` receives the number of files
// scheduled for deletion at restart. True when errors were logged.
bool RunUninstall(const LogOutput& output, int& scheduled, bool undoable);
