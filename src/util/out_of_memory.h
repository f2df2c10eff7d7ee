// What the program does when memory for its own bookkeeping runs out.
#pragma once

// Ends the run at once with exit code 100, the code of a run with errors.
// A string or list that could not grow would otherwise turn into a wrong
// path, a lost log line or a forgotten file, all silently.
[[noreturn]] void OutOfMemory();
