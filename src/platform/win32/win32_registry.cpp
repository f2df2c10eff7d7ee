// Registry: open keys, read, write and delete values.
#include "platform/platform.h"

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::REGSAM kKeyQueryValue = win::KEY_QUERY_VALUE;
constexpr win::REGSAM kKeySetValue = win::KEY_SET_VALUE;
constexpr win::REGSAM kKeyCreateSubKey = win::KEY_CREATE_SUB_KEY;
constexpr win::DWORD kOptionNonVolatile = win::REG_OPTION_NON_VOLATILE;
constexpr win::DWORD kCreatedNewKey = win::REG_CREATED_NEW_KEY;
constexpr win::DWORD kOpenedExistingKey = win::REG_OPENED_EXISTING_KEY;
constexpr win::REGSAM kKeyRead = win::KEY_READ;
constexpr win::REGSAM kKeyWrite = win::KEY_WRITE;
constexpr win::REGSAM kKeyAllAccess = win::KEY_ALL_ACCESS;
constexpr win::DWORD kRegNone = win::REG_NONE;
constexpr win::DWORD kRegSz = win::REG_SZ;
constexpr win::DWORD kRegExpandSz = win::REG_EXPAND_SZ;
constexpr win::DWORD kRegBinary = win::REG_BINARY;
constexpr win::DWORD kRegDword = win::REG_DWORD;
constexpr win::DWORD kRegMultiSz = win::REG_MULTI_SZ;
constexpr win::DWORD kErrorInvalidFunction = win::ERROR_INVALID_FUNCTION;
constexpr win::DWORD kErrorMoreData = win::ERROR_MORE_DATA;
}  // namespace

#include <windows.h>

static_assert(kKeyQueryValue == KEY_QUERY_VALUE);
static_assert(kKeySetValue == KEY_SET_VALUE);
static_assert(kKeyCreateSubKey == KEY_CREATE_SUB_KEY);
static_assert(kOptionNonVolatile == REG_OPTION_NON_VOLATILE);
static_assert(kCreatedNewKey == REG_CREATED_NEW_KEY);
static_assert(kOpenedExistingKey == REG_OPENED_EXISTING_KEY);
static_assert(kKeyRead == KEY_READ);
static_assert(kKeyWrite == KEY_WRITE);
static_assert(kKeyAllAccess == KEY_ALL_ACCESS);
static_assert(kRegNone == REG_NONE);
static_assert(kRegSz == REG_SZ);
static_assert(kRegExpandSz == REG_EXPAND_SZ);
static_assert(kRegBinary == REG_BINARY);
static_assert(kRegDword == REG_DWORD);
static_assert(kRegMultiSz == REG_MULTI_SZ);
static_assert(kErrorInvalidFunction == ERROR_INVALID_FUNCTION);
static_assert(kErrorMoreData == ERROR_MORE_DATA);
// Results are returned as LONG, sizes and types written through the caller's
// DWORDs, keys through its HKEY.
static_assert(sizeof(win::LONG) == sizeof(::LONG));
static_assert(sizeof(win::DWORD) == sizeof(::DWORD));
static_assert(sizeof(win::REGSAM) == sizeof(::REGSAM));
static_assert(sizeof(win::HKEY) == sizeof(::HKEY));

namespace {

::HKEY ToSdk(win::HKEY key) { return reinterpret_cast<::HKEY>(key); }

::HKEY* ToSdk(win::HKEY* key) { return reinterpret_cast<::HKEY*>(key); }

::DWORD* ToSdk(win::DWORD* value) { return reinterpret_cast<::DWORD*>(value); }

const wchar_t* ToSdk(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

wchar_t* ToSdk(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

}  // namespace

namespace win {

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, REGSAM desired, HKEY* result) {
  return ::RegOpenKeyExW(ToSdk(key), ToSdk(subKey), options, desired, ToSdk(result));
}

LONG RegCreateKeyExW(HKEY key, const char16_t* subKey, DWORD reserved, char16_t* keyClass, DWORD options,
                     REGSAM desired, void* securityAttributes, HKEY* result, DWORD* disposition) {
  return ::RegCreateKeyExW(ToSdk(key), ToSdk(subKey), reserved, ToSdk(keyClass), options, desired,
                           static_cast<::LPSECURITY_ATTRIBUTES>(securityAttributes), ToSdk(result),
                           ToSdk(disposition));
}

LONG RegFlushKey(HKEY key) { return ::RegFlushKey(ToSdk(key)); }

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) {
  return ::RegOpenKeyExA(ToSdk(key), subKey, options, desired, ToSdk(result));
}

LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* dataSize) {
  return ::RegQueryValueExW(ToSdk(key), ToSdk(valueName), ToSdk(reserved), ToSdk(type), data,
                            ToSdk(dataSize));
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  return ::RegQueryValueExA(ToSdk(key), valueName, ToSdk(reserved), ToSdk(type), data,
                            ToSdk(dataSize));
}

LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD reserved, DWORD type,
                    const BYTE* data, DWORD dataSize) {
  return ::RegSetValueExW(ToSdk(key), ToSdk(valueName), reserved, type, data, dataSize);
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  return ::RegSetValueExA(ToSdk(key), valueName, reserved, type, data, dataSize);
}

LONG RegDeleteValueW(HKEY key, const char16_t* valueName) {
  return ::RegDeleteValueW(ToSdk(key), ToSdk(valueName));
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
  return ::RegDeleteValueA(ToSdk(key), valueName);
}

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(ToSdk(key)); }

}  // namespace win
