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

// Immediate, after InstallFinalize, in a run whose deferred action ran the
// tool (and so first removed any request left before): reads the request
// and asks the installer for a restart. It runs as the user, whose token
// may not write the key: the request stays until the next deferred action.
__declspec(dllexport) UINT __stdcall RequestRestart(MSIHANDLE install) {
  DWORD requested = 0;
  DWORD size = sizeof requested;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, ProductKey, RequestValue, RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, nullptr,
                   &requested, &size) == ERROR_SUCCESS &&
      requested == 1 && Msi.Load())
    Msi.setMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
  return ERROR_SUCCESS;
}

}  // extern "C"
