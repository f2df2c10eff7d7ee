// Loading a library of the system directory and finding its exports.
#include "platform/win32/system_library.h"

namespace win32 {

FARPROC SystemLibrary::Find(const char* name) {
  if (!loadTried_) {
    // The system directory only, whatever the default directories are.
    module_ = LoadLibraryExW(fileName_, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    loadError_ = module_ ? ERROR_SUCCESS : GetLastError();
    loadTried_ = true;
  }
  if (!module_) {
    SetLastError(loadError_);
    return nullptr;
  }
  return GetProcAddress(module_, name);
}

}  // namespace win32
