#include "restart_request.h"

#include "msi_functions.h"
#include "spooler/product_key.h"

namespace {

const auto* const ProductKey = reinterpret_cast<const wchar_t*>(ProductMachineKey);
constexpr wchar_t RequestValue[] = L"PackageRestartRequested";

}  // namespace

void ForgetRestartRequest() {
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, ProductKey, RequestValue);
}

void LeaveRestartRequest() {
  const DWORD requested = 1;
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, ProductKey, RequestValue, REG_DWORD, &requested, sizeof requested);
}

extern "C" {

// Immediate, after InstallFinalize: reads the request, removes it and asks
// the installer for a restart.
__declspec(dllexport) UINT __stdcall RequestRestart(MSIHANDLE install) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ProductKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return ERROR_SUCCESS;
  DWORD requested = 0;
  DWORD size = sizeof requested;
  DWORD type = REG_NONE;
  const bool found = RegQueryValueExW(key, RequestValue, nullptr, &type, reinterpret_cast<BYTE*>(&requested),
                                      &size) == ERROR_SUCCESS;
  if (found) RegDeleteValueW(key, RequestValue);
  RegCloseKey(key);
  if (found && type == REG_DWORD && requested == 1 && Msi.Load()) Msi.setMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
  return ERROR_SUCCESS;
}

}  // extern "C"
