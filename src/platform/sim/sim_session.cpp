// The session the program runs in and the account it runs as: the user at
// the machine, or SYSTEM.
#include <cstring>
#include <memory>

#include "platform/sim/machine.h"

namespace {

using namespace win;

constexpr DWORD ERROR_NOACCESS = 998;
constexpr DWORD ProcessId = 0x0F3C;
// The process's own pseudo handle, as Windows gives it.
HANDLE const CurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

// S-1-5-18, and an account of the machine's users (S-1-5-21-...-1001).
constexpr BYTE LocalSystemSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
constexpr BYTE UserSid[] = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 0xDC, 0x2E, 0xDD, 0x3B,
                            0x83, 0xB6, 0x2B, 0x46, 0x82, 0x7F, 0xA6, 0x28, 0xE9, 0x03, 0, 0};

}  // namespace

namespace win {

DWORD GetCurrentProcessId() {
  sim::Current().Enter("GetCurrentProcessId");
  return ProcessId;
}

BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
  auto& m = sim::Current();
  if (m.Enter("ProcessIdToSessionId")) return FALSE;
  // Other processes of the machine are not modelled: only the program's own id is known.
  if (processId != ProcessId || !sessionId) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  *sessionId = m.session;
  return TRUE;
}

HANDLE GetCurrentProcess() {
  sim::Current().Enter("GetCurrentProcess");
  return CurrentProcess;
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token) {
  auto& m = sim::Current();
  if (m.Enter("OpenProcessToken")) return FALSE;
  m.Note({{"DesiredAccess", sim::Number(desiredAccess)}});
  if (process != CurrentProcess) {
    m.lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (!token) {
    m.lastError = ERROR_NOACCESS;
    return FALSE;
  }
  auto object = std::make_shared<sim::HandleObject>();
  object->kind = sim::HandleKind::Token;
  object->access = desiredAccess;
  *token = reinterpret_cast<HANDLE>(m.AddHandle(std::move(object)));
  return TRUE;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, void* information,
                         DWORD length, DWORD* returnLength) {
  auto& m = sim::Current();
  if (m.Enter("GetTokenInformation")) return FALSE;
  const sim::HandleObject* object = m.FindHandle(reinterpret_cast<std::uintptr_t>(token));
  if (!object || object->kind != sim::HandleKind::Token) {
    m.lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (!(object->access & TOKEN_QUERY)) {
    m.lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (informationClass != TokenUser) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  if (!returnLength) {
    m.lastError = ERROR_NOACCESS;
    return FALSE;
  }
  const BYTE* sid = m.runsAsSystem ? LocalSystemSid : UserSid;
  const DWORD sidBytes = m.runsAsSystem ? sizeof LocalSystemSid : sizeof UserSid;
  *returnLength = sizeof(TOKEN_USER) + sidBytes;
  if (length < *returnLength || !information) {
    m.lastError = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  auto* user = static_cast<TOKEN_USER*>(information);
  BYTE* copy = static_cast<BYTE*>(information) + sizeof(TOKEN_USER);
  std::memcpy(copy, sid, sidBytes);
  user->User.Sid = copy;
  user->User.Attributes = 0;
  return TRUE;
}

BOOL IsWellKnownSid(void* sid, WELL_KNOWN_SID_TYPE type) {
  auto& m = sim::Current();
  if (m.Enter("IsWellKnownSid")) return FALSE;
  const auto* bytes = static_cast<const BYTE*>(sid);
  // The subauthority count comes first, so no byte past the SID is read.
  return bytes && type == WinLocalSystemSid && bytes[0] == 1 && bytes[1] == 1 &&
         std::memcmp(bytes, LocalSystemSid, sizeof LocalSystemSid) == 0;
}

}  // namespace win
