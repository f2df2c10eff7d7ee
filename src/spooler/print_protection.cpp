#include "spooler/print_protection.h"

#include "platform/platform.h"

namespace {

// A DWORD value of 1 under HKEY_LOCAL_MACHINE.
bool IsOne(const char16_t* path, const char16_t* name) {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, path, 0, win::KEY_QUERY_VALUE, &key) != win::ERROR_SUCCESS)
    return false;
  win::DWORD value = 0, type = 0, size = sizeof value;
  const bool one = win::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<win::BYTE*>(&value), &size) ==
                       win::ERROR_SUCCESS &&
                   type == win::REG_DWORD && size == sizeof value && value == 1;
  win::RegCloseKey(key);
  return one;
}

}  // namespace

bool ProtectedPrintModeOn() {
  return IsOne(ProtectedPrintPolicyKey, u"WindowsProtectedPrintGroupPolicyState") ||
         IsOne(ProtectedPrintPolicyKey, u"WindowsProtectedPrintMode") ||
         IsOne(ProtectedPrintSettingKey, u"WindowsProtectedPrintMode");
}
