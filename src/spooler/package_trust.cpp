#include "spooler/package_trust.h"

#include <cstring>

#include "platform/platform.h"
#include "util/text_compare.h"
#include "util/wide_string.h"

namespace {

// Writing data or adding files and folders, deleting it or what it holds,
// and changing its permissions or owner; the generic rights that include them.
constexpr win::DWORD ChangingRights = 0x00000002 | 0x00000004 | 0x00000040 | 0x00010000 | 0x00040000 |
                                      0x00080000 | 0x40000000 | 0x10000000;

constexpr win::BYTE SystemSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
constexpr win::BYTE AdministratorsSid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
constexpr win::BYTE TrustedInstallerSid[] = {1,    6,    0,    0,    0,    0,    0,    5,    80,   0,    0,    0,
                                              0xB5, 0x89, 0xFB, 0x38, 0x19, 0x84, 0xC2, 0xCB, 0x5C, 0x6C, 0x23, 0x6D,
                                              0x57, 0x00, 0x77, 0x6E, 0xC0, 0x02, 0x64, 0x87};
// Stand-ins for the owner: CREATOR OWNER and OWNER RIGHTS.
constexpr win::BYTE CreatorOwnerSid[] = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};
constexpr win::BYTE OwnerRightsSid[] = {1, 1, 0, 0, 0, 0, 0, 3, 4, 0, 0, 0};

template <std::size_t N>
bool Is(const win::BYTE* sid, const win::BYTE (&known)[N]) {
  // The subauthority count comes first, so no byte past the SID is read.
  return sid[1] == known[1] && std::memcmp(sid, known, N) == 0;
}

bool IsAdministration(const win::BYTE* sid) {
  return Is(sid, SystemSid) || Is(sid, AdministratorsSid) || Is(sid, TrustedInstallerSid);
}

// The descriptor's DACL admits no one else to change the object.
bool DaclAdmitsOnlyAdministration(void* descriptor, bool ownerTrusted) {
  win::BOOL present = 0, defaulted = 0;
  win::ACL* dacl = nullptr;
  if (!win::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return false;
  // No DACL, or a null one, lets everyone do everything.
  if (!present || !dacl) return false;
  for (win::DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!win::GetAce(dacl, i, &entry)) return false;
    const auto* ace = static_cast<const win::ACCESS_ALLOWED_ACE*>(entry);
    // Denials only narrow what others are granted; what applies to children alone is theirs.
    if (ace->Header.AceType != win::ACCESS_ALLOWED_ACE_TYPE || (ace->Header.AceFlags & win::INHERIT_ONLY_ACE) ||
        !(ace->Mask & ChangingRights))
      continue;
    const auto* sid = reinterpret_cast<const win::BYTE*>(&ace->SidStart);
    const bool owner = Is(sid, CreatorOwnerSid) || Is(sid, OwnerRightsSid);
    if (!IsAdministration(sid) && !(owner && ownerTrusted)) return false;
  }
  return true;
}

// `path` is `folder` or lies below it, letter case aside.
bool Within(const char16_t* path, const char16_t* folder) {
  const char16_t* rest = AfterPrefixIgnoringAsciiCase(path, folder);
  if (!rest || !*folder) return false;
  const char16_t last = folder[TextLength(folder) - 1];
  return !*rest || *rest == u'\\' || last == u'\\';
}

}  // namespace

bool DeclaredTrusted(const char16_t* path) {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, TrustedFoldersKey, 0, win::KEY_QUERY_VALUE, &key) != win::ERROR_SUCCESS)
    return false;
  win::DWORD type = 0, size = 0;
  bool trusted = false;
  if (win::RegQueryValueExW(key, TrustedFoldersValue, nullptr, &type, nullptr, &size) == win::ERROR_SUCCESS &&
      type == win::REG_MULTI_SZ && size >= 2 * sizeof(char16_t) && size % sizeof(char16_t) == 0) {
    auto* folders = static_cast<char16_t*>(win::GlobalAlloc(win::GPTR, size + 2 * sizeof(char16_t)));
    win::DWORD read = size;
    // The block's two extra zeros end the list even when the value does not.
    if (folders && win::RegQueryValueExW(key, TrustedFoldersValue, nullptr, &type, reinterpret_cast<win::BYTE*>(folders),
                                         &read) == win::ERROR_SUCCESS && read <= size)
      for (const char16_t* folder = folders; *folder && !trusted; folder += TextLength(folder) + 1)
        trusted = Within(path, folder);
    if (folders) win::GlobalFree(folders);
  }
  win::RegCloseKey(key);
  return trusted;
}

bool OnlyAdministratorsChange(const char16_t* path) {
  constexpr win::DWORD wanted = win::OWNER_SECURITY_INFORMATION | win::DACL_SECURITY_INFORMATION;
  win::DWORD needed = 0;
  if (!win::GetFileSecurityW(path, wanted, nullptr, 0, &needed)) {
    const win::DWORD error = win::GetLastError();
    // Where nothing lies, its folder decides who could put something.
    if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) return true;
    if (error != win::ERROR_INSUFFICIENT_BUFFER) return false;
  }
  void* descriptor = win::GlobalAlloc(win::GPTR, needed);
  if (!descriptor) {
    win::SetLastError(win::E_OUTOFMEMORY_CODE);
    return false;
  }
  bool trusted = false;
  void* owner = nullptr;
  win::BOOL defaulted = 0;
  if (win::GetFileSecurityW(path, wanted, descriptor, needed, &needed) &&
      win::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) {
    // The owner may always change who else may change it.
    const bool ownerTrusted = owner && IsAdministration(static_cast<const win::BYTE*>(owner));
    trusted = ownerTrusted && DaclAdmitsOnlyAdministration(descriptor, ownerTrusted);
    if (!trusted) win::SetLastError(win::ERROR_ACCESS_DENIED);
  }
  const win::DWORD failure = win::GetLastError();
  win::GlobalFree(descriptor);
  win::SetLastError(failure);
  return trusted;
}
