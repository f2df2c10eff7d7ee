// Steps of the install and uninstall runs and of the maintenance words that
// are not built yet. Each changes nothing and reports that nothing was done;
// each moves to its own module when it is built.
#pragma once

#include "core/install_state.h"

void MarkDefaultPrinter(InstallState& state);
void UnInstall(InstallState& state);
void DeletePendingNow();
void RestorePrinters(InstallState& state);
void InstallTray(InstallState& state);
long StopTray();
bool CheckDriverBuild();
bool RetryPendingDriverFiles();
bool DefaultPrinterIsForeign();
void MakeProductPrinterDefault();
