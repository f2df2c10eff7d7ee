// corvane-capture.exe's process entry: a console program.
#include "capture/capture_entry.h"

int main() { return CaptureEntry(); }
