// The program's entry: split the command line, run the command its first
// word names, return the process exit code.
#pragma once

#include "platform/platform.h"

int CorvaneEntry(win::HINSTANCE instance);
