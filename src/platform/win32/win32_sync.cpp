// System version, starting processes, named mutexes and waits.
#include "platform/platform.h"

#include <cstddef>

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::DWORD kVerPlatformWin32Windows = win::VER_PLATFORM_WIN32_WINDOWS;
constexpr win::DWORD kVerPlatformWin32Nt = win::VER_PLATFORM_WIN32_NT;
constexpr win::DWORD kNormalPriorityClass = win::NORMAL_PRIORITY_CLASS;
constexpr win::DWORD kStartfUseShowWindow = win::STARTF_USESHOWWINDOW;
constexpr win::WORD kSwShow = win::SW_SHOW;
constexpr win::DWORD kWaitObject0 = win::WAIT_OBJECT_0;
constexpr win::DWORD kWaitAbandoned = win::WAIT_ABANDONED;
constexpr win::DWORD kWaitTimeout = win::WAIT_TIMEOUT;
constexpr win::DWORD kWaitFailed = win::WAIT_FAILED;
constexpr win::DWORD kInfinite = win::INFINITE;
constexpr win::DWORD kErrorAlreadyExists = win::ERROR_ALREADY_EXISTS;
constexpr win::DWORD kErrorInvalidHandle = win::ERROR_INVALID_HANDLE;
}  // namespace

#include <windows.h>

static_assert(kVerPlatformWin32Windows == VER_PLATFORM_WIN32_WINDOWS);
static_assert(kVerPlatformWin32Nt == VER_PLATFORM_WIN32_NT);
static_assert(kNormalPriorityClass == NORMAL_PRIORITY_CLASS);
static_assert(kStartfUseShowWindow == STARTF_USESHOWWINDOW);
static_assert(kSwShow == SW_SHOW);
static_assert(kWaitObject0 == WAIT_OBJECT_0);
static_assert(kWaitAbandoned == WAIT_ABANDONED);
static_assert(kWaitTimeout == WAIT_TIMEOUT);
static_assert(kWaitFailed == WAIT_FAILED);
static_assert(kInfinite == INFINITE);
static_assert(kErrorAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(kErrorInvalidHandle == ERROR_INVALID_HANDLE);

// The system fills and reads these records in place, so each must have the
// SDK's size and member offsets.
#define CORVANE_SAME_SIZE(record) static_assert(sizeof(win::record) == sizeof(::record))
#define CORVANE_SAME_FIELD(record, field) \
  static_assert(offsetof(win::record, field) == offsetof(::record, field))

CORVANE_SAME_SIZE(OSVERSIONINFOA);
CORVANE_SAME_FIELD(OSVERSIONINFOA, dwOSVersionInfoSize);
CORVANE_SAME_FIELD(OSVERSIONINFOA, dwMajorVersion);
CORVANE_SAME_FIELD(OSVERSIONINFOA, dwMinorVersion);
CORVANE_SAME_FIELD(OSVERSIONINFOA, dwBuildNumber);
CORVANE_SAME_FIELD(OSVERSIONINFOA, dwPlatformId);
CORVANE_SAME_FIELD(OSVERSIONINFOA, szCSDVersion);

CORVANE_SAME_SIZE(STARTUPINFOW);
CORVANE_SAME_FIELD(STARTUPINFOW, cb);
CORVANE_SAME_FIELD(STARTUPINFOW, lpReserved);
CORVANE_SAME_FIELD(STARTUPINFOW, lpDesktop);
CORVANE_SAME_FIELD(STARTUPINFOW, lpTitle);
CORVANE_SAME_FIELD(STARTUPINFOW, dwX);
CORVANE_SAME_FIELD(STARTUPINFOW, dwY);
CORVANE_SAME_FIELD(STARTUPINFOW, dwXSize);
CORVANE_SAME_FIELD(STARTUPINFOW, dwYSize);
CORVANE_SAME_FIELD(STARTUPINFOW, dwXCountChars);
CORVANE_SAME_FIELD(STARTUPINFOW, dwYCountChars);
CORVANE_SAME_FIELD(STARTUPINFOW, dwFillAttribute);
CORVANE_SAME_FIELD(STARTUPINFOW, dwFlags);
CORVANE_SAME_FIELD(STARTUPINFOW, wShowWindow);
CORVANE_SAME_FIELD(STARTUPINFOW, cbReserved2);
CORVANE_SAME_FIELD(STARTUPINFOW, lpReserved2);
CORVANE_SAME_FIELD(STARTUPINFOW, hStdInput);
CORVANE_SAME_FIELD(STARTUPINFOW, hStdOutput);
CORVANE_SAME_FIELD(STARTUPINFOW, hStdError);

CORVANE_SAME_SIZE(PROCESS_INFORMATION);
CORVANE_SAME_FIELD(PROCESS_INFORMATION, hProcess);
CORVANE_SAME_FIELD(PROCESS_INFORMATION, hThread);
CORVANE_SAME_FIELD(PROCESS_INFORMATION, dwProcessId);
CORVANE_SAME_FIELD(PROCESS_INFORMATION, dwThreadId);

#undef CORVANE_SAME_FIELD
#undef CORVANE_SAME_SIZE

namespace win {

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  // Deprecated in some SDK headers, but the program must see the real version
  // the system reports to it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return ::GetVersionExA(reinterpret_cast<::OSVERSIONINFOA*>(info));
#pragma GCC diagnostic pop
}

BOOL CreateProcessW(const char16_t* applicationName, char16_t* commandLine,
                    void* processAttributes, void* threadAttributes, BOOL inheritHandles,
                    DWORD creationFlags, void* environment, const char16_t* currentDirectory,
                    STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation) {
  return ::CreateProcessW(reinterpret_cast<const wchar_t*>(applicationName),
                          reinterpret_cast<wchar_t*>(commandLine),
                          static_cast<::LPSECURITY_ATTRIBUTES>(processAttributes),
                          static_cast<::LPSECURITY_ATTRIBUTES>(threadAttributes), inheritHandles,
                          creationFlags, environment,
                          reinterpret_cast<const wchar_t*>(currentDirectory),
                          reinterpret_cast<::STARTUPINFOW*>(startupInfo),
                          reinterpret_cast<::PROCESS_INFORMATION*>(processInformation));
}

HANDLE CreateMutexA(void* mutexAttributes, BOOL initialOwner, const char* name) {
  return ::CreateMutexA(static_cast<::LPSECURITY_ATTRIBUTES>(mutexAttributes), initialOwner,
                        name);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}

}  // namespace win
