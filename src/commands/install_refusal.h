// What an install checks before it changes anything, and refuses for.
#pragma once

#include "commands/log_output.h"

enum class InstallRefusal { None, ProtectedPrintMode, UntrustedPackage };

// With a refusal, its error line is logged and the log presented as a run's.
InstallRefusal RefuseInstall(unsigned mode, const LogOutput& output);
