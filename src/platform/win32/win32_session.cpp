// The session the process runs in and the account it runs as.
#include "platform/platform.h"

#include <cstddef>

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::DWORD kTokenQuery = win::TOKEN_QUERY;
constexpr int kTokenUser = win::TokenUser;
constexpr int kWinLocalSystemSid = win::WinLocalSystemSid;
constexpr win::DWORD kOwnerInformation = win::OWNER_SECURITY_INFORMATION;
constexpr win::DWORD kDaclInformation = win::DACL_SECURITY_INFORMATION;
constexpr win::BYTE kAllowedAceType = win::ACCESS_ALLOWED_ACE_TYPE;
constexpr win::BYTE kInheritOnly = win::INHERIT_ONLY_ACE;
}  // namespace

#include <windows.h>

static_assert(kTokenQuery == TOKEN_QUERY);
static_assert(kTokenUser == TokenUser);
static_assert(kWinLocalSystemSid == WinLocalSystemSid);
static_assert(sizeof(win::TOKEN_USER) == sizeof(::TOKEN_USER));
static_assert(offsetof(win::TOKEN_USER, User.Sid) == offsetof(::TOKEN_USER, User.Sid));
static_assert(offsetof(win::TOKEN_USER, User.Attributes) == offsetof(::TOKEN_USER, User.Attributes));
static_assert(kOwnerInformation == OWNER_SECURITY_INFORMATION && kDaclInformation == DACL_SECURITY_INFORMATION);
static_assert(kAllowedAceType == ACCESS_ALLOWED_ACE_TYPE && kInheritOnly == INHERIT_ONLY_ACE);
static_assert(sizeof(win::ACL) == sizeof(::ACL) && offsetof(win::ACL, AceCount) == offsetof(::ACL, AceCount));
static_assert(sizeof(win::ACE_HEADER) == sizeof(::ACE_HEADER));
static_assert(sizeof(win::ACCESS_ALLOWED_ACE) == sizeof(::ACCESS_ALLOWED_ACE));
static_assert(offsetof(win::ACCESS_ALLOWED_ACE, SidStart) == offsetof(::ACCESS_ALLOWED_ACE, SidStart));

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

BOOL GetFileSecurityW(const char16_t* fileName, DWORD requested, void* descriptor, DWORD length, DWORD* needed) {
  return ::GetFileSecurityW(reinterpret_cast<const wchar_t*>(fileName), requested, descriptor, length,
                            reinterpret_cast<::DWORD*>(needed));
}

BOOL GetSecurityDescriptorOwner(void* descriptor, void** owner, BOOL* defaulted) {
  return ::GetSecurityDescriptorOwner(descriptor, owner, defaulted);
}

BOOL GetSecurityDescriptorDacl(void* descriptor, BOOL* present, ACL** dacl, BOOL* defaulted) {
  return ::GetSecurityDescriptorDacl(descriptor, present, reinterpret_cast<::PACL*>(dacl), defaulted);
}

BOOL GetAce(ACL* acl, DWORD index, void** ace) { return ::GetAce(reinterpret_cast<::PACL>(acl), index, ace); }

}  // namespace win
