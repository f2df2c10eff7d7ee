// Stand-in for the product's printer graphics DLL (vexdrv64.dll). It tells
// the spooler that it runs in user mode, as every driver installed on a
// current Windows must, and declines to render: the product's port discards
// print data anyway, and the installer only registers and removes the file.
#include <windows.h>

namespace {
constexpr DWORD QueryUserMode = 1;  // DRVQUERY_USERMODE
}

extern "C" BOOL WINAPI DrvQueryDriverInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) {
  if (mode != QueryUserMode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (needed) *needed = sizeof(DWORD);
  if (!buffer || size < sizeof(DWORD)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *static_cast<DWORD*>(buffer) = TRUE;
  return TRUE;
}

// No rendering: GDI gets no function table, so no device context can be
// made on this driver.
extern "C" BOOL WINAPI DrvEnableDriver(ULONG, ULONG, PVOID) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

extern "C" VOID WINAPI DrvDisableDriver() {}
