// Process-wide module instance, stored before anything else runs; the log
// dialog's template and the program's own path are looked up through it.
#pragma once

#include "platform/platform.h"

extern win::HINSTANCE ModuleInstance;
