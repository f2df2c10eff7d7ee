// Windows entry point: hand the module instance to the program.
#include "commands/entry.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything can load a library: from now on libraries come from the
  // system directory only, never from the program's own folder (which whoever
  // unpacked the program may write to) nor the current one. Should the call
  // fail, the platform layer still names the system directory for its own.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return CorvaneEntry(reinterpret_cast<win::HINSTANCE>(instance));
}
