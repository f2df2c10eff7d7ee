// The short checks and repairs the product's other programs ask for:
// "onInit", "onChkDrv" and "def.set". They keep no log and show no window.
#pragma once

// Deletes pending package files now, twice at most with a spooler restart
// between; true when an x64 package file still waits for the next restart.
bool RetryPendingDriverFiles();
// False only when the default printer's driver is the product's.
bool DefaultPrinterIsForeign();
// True when the first product printer's driver file has build 2605 or later.
bool CheckDriverBuild();
void MakeProductPrinterDefault();
