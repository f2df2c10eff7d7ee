// The program's entry: split the command line, run the command its first
// word names, return the process exit code.
#pragma once

#include "platform/platform.h"

// Process-wide module instance, stored before anything else runs; the log
// dialog's template and the program's own path are looked up through it.
extern win::HINSTANCE ModuleInstance;

int CorvaneEntry(win::HINSTANCE instance);
