// A library planted beside a program, as whoever can write to its folder
// would plant one: when loaded it leaves FILE.loaded beside itself (FILE
// being its own path); its exports forward to the system's copy (see the
// .def files), so a program that loads it goes on working.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  constexpr wchar_t Suffix[] = L".loaded";
  wchar_t path[MAX_PATH + sizeof Suffix / sizeof Suffix[0]];
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcpyW(path + length, Suffix);
  HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}
