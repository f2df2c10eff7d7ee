#include "core/not_yet_built.h"

void MarkDefaultPrinter(InstallState&) {}
void UnInstall(InstallState&) {}
void DeletePendingNow() {}
void RestorePrinters(InstallState&) {}
void InstallTray(InstallState&) {}
long StopTray() { return 0; }
bool CheckDriverBuild() { return false; }
bool RetryPendingDriverFiles() { return false; }
bool DefaultPrinterIsForeign() { return false; }
void MakeProductPrinterDefault() {}
