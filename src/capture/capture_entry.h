// corvane-capture DIR [SETUP-FOLDER]: writes the machine it runs on into the
// machine directory DIR (machine_capture.h). Names on standard error what
// it could not read; exits with 0 once DIR holds a usable machine, with 1
// when none could be written and with 2 for a wrong command line.
#pragma once

// The command line comes from GetCommandLineW; the exit code is returned.
int CaptureEntry();
