// Windows entry point: hand the module instance to the program.
#include "commands/entry.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return CorvaneEntry(reinterpret_cast<win::HINSTANCE>(instance));
}
