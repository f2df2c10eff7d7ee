// Libraries that are not known DLLs, loaded from the system directory only.
//
// Windows looks for such a library in the program's own folder first, so an
// elevated program that imports one runs whatever file of that name lies
// beside it, before its first line. The program therefore imports known DLLs
// only and loads every other library here, from the system directory alone;
// each function is looked up once, on its first call. One thread uses them.
#pragma once

#include <windows.h>

namespace win32 {

// One library of the system directory, loaded on first use.
class SystemLibrary {
 public:
  explicit constexpr SystemLibrary(const wchar_t* fileName) : fileName_(fileName) {}

  // The export `name` (a name, or an ordinal made with MAKEINTRESOURCEA), or
  // null with the thread's last error saying why: the library's load error
  // (ERROR_MOD_NOT_FOUND, say) or ERROR_PROC_NOT_FOUND.
  FARPROC Find(const char* name);

 private:
  const wchar_t* fileName_;
  HMODULE module_ = nullptr;
  DWORD loadError_ = ERROR_SUCCESS;
  bool loadTried_ = false;
};

// One function of a SystemLibrary. A lookup that failed keeps its error, so
// that every call of the function fails with it.
template <typename Function>
class SystemFunction {
 public:
  constexpr SystemFunction(SystemLibrary& library, const char* name)
      : library_(library), name_(name) {}

  // The function, or null with the thread's last error saying why.
  Function* Get() {
    if (!looked_) {
      // A pointer to a function without parameters converts to any other
      // without a warning; the export has the declared type.
      address_ = reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(library_.Find(name_)));
      error_ = address_ ? ERROR_SUCCESS : GetLastError();
      looked_ = true;
    }
    if (!address_) SetLastError(error_);
    return address_;
  }

 private:
  SystemLibrary& library_;
  const char* name_;
  Function* address_ = nullptr;
  DWORD error_ = ERROR_SUCCESS;
  bool looked_ = false;
};

}  // namespace win32
