// Process, last error, time, command line, module paths and messages.
#include "platform/platform.h"

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::BOOL kFalse = win::FALSE;
constexpr win::BOOL kTrue = win::TRUE;
constexpr win::DWORD kMaxPath = win::MAX_PATH;
constexpr win::DWORD kFormatMessageAllocateBuffer = win::FORMAT_MESSAGE_ALLOCATE_BUFFER;
constexpr win::DWORD kFormatMessageIgnoreInserts = win::FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr win::DWORD kFormatMessageFromSystem = win::FORMAT_MESSAGE_FROM_SYSTEM;
constexpr win::DWORD kLangEnglishUs = win::LANG_ENGLISH_US;
constexpr win::UINT kCpAcp = win::CP_ACP;
constexpr win::DWORD kMbPrecomposed = win::MB_PRECOMPOSED;
constexpr win::DWORD kErrorSuccess = win::ERROR_SUCCESS;
constexpr win::DWORD kErrorFileNotFound = win::ERROR_FILE_NOT_FOUND;
constexpr win::DWORD kErrorPathNotFound = win::ERROR_PATH_NOT_FOUND;
constexpr win::DWORD kErrorAccessDenied = win::ERROR_ACCESS_DENIED;
constexpr win::DWORD kErrorInvalidHandle = win::ERROR_INVALID_HANDLE;
constexpr win::DWORD kErrorNotEnoughMemory = win::ERROR_NOT_ENOUGH_MEMORY;
constexpr win::DWORD kErrorOutOfMemory = win::ERROR_OUTOFMEMORY;
constexpr win::DWORD kErrorInvalidParameter = win::ERROR_INVALID_PARAMETER;
constexpr win::DWORD kErrorInsufficientBuffer = win::ERROR_INSUFFICIENT_BUFFER;
constexpr win::DWORD kEOutOfMemoryCode = win::E_OUTOFMEMORY_CODE;
}  // namespace

#include <windows.h>
#include <shellapi.h>

#include <cstdarg>
#include <type_traits>

static_assert(kFalse == FALSE);
static_assert(kTrue == TRUE);
static_assert(kMaxPath == MAX_PATH);
static_assert(kFormatMessageAllocateBuffer == FORMAT_MESSAGE_ALLOCATE_BUFFER);
static_assert(kFormatMessageIgnoreInserts == FORMAT_MESSAGE_IGNORE_INSERTS);
static_assert(kFormatMessageFromSystem == FORMAT_MESSAGE_FROM_SYSTEM);
static_assert(kLangEnglishUs == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
static_assert(kCpAcp == CP_ACP);
static_assert(kMbPrecomposed == MB_PRECOMPOSED);
static_assert(kErrorSuccess == ERROR_SUCCESS);
static_assert(kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(kErrorOutOfMemory == ERROR_OUTOFMEMORY);
static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(kEOutOfMemoryCode == static_cast<::DWORD>(E_OUTOFMEMORY));

// The contract's fixed-width types must be the ones Win32 really uses, so
// that pointers to them can be handed straight to the API.
static_assert(sizeof(win::DWORD) == sizeof(::DWORD));
static_assert(sizeof(win::BOOL) == sizeof(::BOOL));
static_assert(sizeof(win::WCHAR) == sizeof(::WCHAR));
static_assert(std::is_same_v<win::UINT, ::UINT>);
static_assert(std::is_same_v<win::BOOL, ::BOOL>);
static_assert(std::is_same_v<win::SHORT, ::SHORT>);
static_assert(std::is_same_v<win::INT_PTR, ::INT_PTR>);
static_assert(std::is_same_v<win::WPARAM, ::WPARAM>);
static_assert(std::is_same_v<win::LPARAM, ::LPARAM>);

namespace win {

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD code) { ::SetLastError(code); }

void ExitProcess(UINT exitCode) { ::ExitProcess(exitCode); }

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

DWORD GetTickCount() { return ::GetTickCount(); }

char16_t* GetCommandLineW() { return reinterpret_cast<char16_t*>(::GetCommandLineW()); }

char16_t** CommandLineToArgvW(const char16_t* commandLine, int* numArgs) {
  return reinterpret_cast<char16_t**>(
      ::CommandLineToArgvW(reinterpret_cast<const wchar_t*>(commandLine), numArgs));
}

DWORD GetModuleFileNameW(HMODULE module, char16_t* filename, DWORD size) {
  return ::GetModuleFileNameW(reinterpret_cast<::HMODULE>(module),
                              reinterpret_cast<wchar_t*>(filename), size);
}

UINT GetSystemDirectoryW(char16_t* buffer, UINT size) {
  return ::GetSystemDirectoryW(reinterpret_cast<wchar_t*>(buffer), size);
}

DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char16_t* buffer, DWORD size, void* arguments) {
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the caller passes the address of its
  // pointer disguised as the buffer, exactly as the real call expects.
  return ::FormatMessageW(flags, source, messageId, languageId,
                          reinterpret_cast<wchar_t*>(buffer), size,
                          static_cast<va_list*>(arguments));
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByte, int multiByteCount,
                        char16_t* wide, int wideCount) {
  return ::MultiByteToWideChar(codePage, flags, multiByte, multiByteCount,
                               reinterpret_cast<wchar_t*>(wide), wideCount);
}

}  // namespace win
