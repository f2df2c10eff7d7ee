// File version resources: size, read, and query a version block.
#include "platform/platform.h"

#include <cstddef>

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::DWORD kVsFfiSignature = win::VS_FFI_SIGNATURE;
constexpr win::DWORD kErrorResourceTypeNotFound = win::ERROR_RESOURCE_TYPE_NOT_FOUND;
constexpr win::DWORD kErrorResourceNameNotFound = win::ERROR_RESOURCE_NAME_NOT_FOUND;
}  // namespace

#include <windows.h>
#include <winver.h>

#include <type_traits>

#include "platform/win32/system_library.h"

static_assert(kVsFfiSignature == VS_FFI_SIGNATURE);
static_assert(kErrorResourceTypeNotFound == ERROR_RESOURCE_TYPE_NOT_FOUND);
static_assert(kErrorResourceNameNotFound == ERROR_RESOURCE_NAME_NOT_FOUND);

// VerQueryValueW points the caller straight into the version block, so the
// program reads the fixed record in place: same size and member offsets.
#define CORVANE_SAME_SIZE(record) static_assert(sizeof(win::record) == sizeof(::record))
#define CORVANE_SAME_FIELD(record, field) \
  static_assert(offsetof(win::record, field) == offsetof(::record, field))

CORVANE_SAME_SIZE(VS_FIXEDFILEINFO);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwSignature);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwStrucVersion);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwFileVersionMS);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwFileVersionLS);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwProductVersionMS);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwProductVersionLS);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwFileFlagsMask);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwFileFlags);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwFileOS);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwFileType);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwFileSubtype);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwFileDateMS);
CORVANE_SAME_FIELD(VS_FIXEDFILEINFO, dwFileDateLS);

#undef CORVANE_SAME_FIELD
#undef CORVANE_SAME_SIZE

// The handle is written through the caller's DWORD, the length through its UINT.
static_assert(sizeof(win::DWORD) == sizeof(::DWORD));
static_assert(std::is_same_v<win::UINT, ::UINT>);

namespace {

win32::SystemLibrary VersionLibrary{L"version.dll"};

template <typename Function>
using VersionFunction = win32::SystemFunction<Function>;

// Each looked up on its first call.
struct {
  VersionFunction<decltype(::GetFileVersionInfoSizeW)> GetFileVersionInfoSizeW{
      VersionLibrary, "GetFileVersionInfoSizeW"};
  VersionFunction<decltype(::GetFileVersionInfoW)> GetFileVersionInfoW{VersionLibrary,
                                                                      "GetFileVersionInfoW"};
  VersionFunction<decltype(::VerQueryValueW)> VerQueryValueW{VersionLibrary, "VerQueryValueW"};
} Version;

}  // namespace

// Each entry fails as the call would, with the lookup's error, when the
// function cannot be had.
namespace win {

DWORD GetFileVersionInfoSizeW(const char16_t* fileName, DWORD* handle) {
  auto* call = Version.GetFileVersionInfoSizeW.Get();
  return call ? call(reinterpret_cast<const wchar_t*>(fileName), reinterpret_cast<::DWORD*>(handle))
              : 0;
}

BOOL GetFileVersionInfoW(const char16_t* fileName, DWORD handle, DWORD size, void* data) {
  auto* call = Version.GetFileVersionInfoW.Get();
  return call ? call(reinterpret_cast<const wchar_t*>(fileName), handle, size, data) : FALSE;
}

BOOL VerQueryValueW(const void* block, const char16_t* subBlock, void** buffer, UINT* length) {
  auto* call = Version.VerQueryValueW.Get();
  return call ? call(block, reinterpret_cast<const wchar_t*>(subBlock), buffer, length) : FALSE;
}

}  // namespace win
