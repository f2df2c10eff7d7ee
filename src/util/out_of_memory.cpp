#include "util/out_of_memory.h"

#include "platform/platform.h"

void OutOfMemory() { win::ExitProcess(100); }
