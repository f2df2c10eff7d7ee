#include "msi_functions.h"

namespace {

template <class Function>
bool Find(HMODULE msi, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(msi, name)));
  return function != nullptr;
}

}  // namespace

MsiFunctions Msi;

bool MsiFunctions::Load() {
  HMODULE msi = GetModuleHandleW(L"msi.dll");
  if (!msi) msi = LoadLibraryExW(L"msi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return msi && Find(msi, "MsiGetPropertyW", getProperty) && Find(msi, "MsiSetPropertyW", setProperty) &&
         Find(msi, "MsiCreateRecord", createRecord) &&
         Find(msi, "MsiRecordSetStringW", recordSetString) && Find(msi, "MsiProcessMessage", processMessage) &&
         Find(msi, "MsiCloseHandle", closeHandle) && Find(msi, "MsiSetMode", setMode);
}

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  DWORD size = 0;
  wchar_t empty[1] = L"";
  if (Msi.getProperty(install, name, empty, &size) != ERROR_MORE_DATA) return std::wstring();
  std::wstring value(size + 1, L'\0');
  ++size;
  if (Msi.getProperty(install, name, value.data(), &size) != ERROR_SUCCESS) return std::wstring();
  value.resize(size);
  return value;
}
