// The session the process runs in and the account it runs as.
#include "platform/platform.h"

#include <cstddef>

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::DWORD kTokenQuery = win::TOKEN_QUERY;
constexpr int kTokenUser = win::TokenUser;
constexpr int kWinLocalSystemSid = win::WinLocalSystemSid;
}  // namespace

#include <windows.h>

static_assert(kTokenQuery == TOKEN_QUERY);
static_assert(kTokenUser == TokenUser);
static_assert(kWinLocalSystemSid == WinLocalSystemSid);
static_assert(sizeof(win::TOKEN_USER) == sizeof(::TOKEN_USER));
static_assert(offsetof(win::TOKEN_USER, User.Sid) == offsetof(::TOKEN_USER, User.Sid));
static_assert(offsetof(win::TOKEN_USER, User.Attributes) == offsetof(::TOKEN_USER, User.Attributes));

namespace win {

DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }

BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
  return ::ProcessIdToSessionId(processId, reinterpret_cast<::DWORD*>(sessionId));
}

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
  return ::OpenProcessToken(process, desiredAccess, token);
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, void* information,
                         DWORD length, DWORD* returnLength) {
  return ::GetTokenInformation(token, static_cast<::TOKEN_INFORMATION_CLASS>(informationClass), information,
                               length, reinterpret_cast<::DWORD*>(returnLength));
}

BOOL IsWellKnownSid(void* sid, WELL_KNOWN_SID_TYPE type) {
  return ::IsWellKnownSid(sid, static_cast<::WELL_KNOWN_SID_TYPE>(type));
}

}  // namespace win
