// Files' security descriptors, self-relative as Windows hands them out: the
// owner, then a DACL granting SYSTEM and Administrators everything, Users
// reading and running, an inherit-only CREATOR OWNER entry as Program Files
// passes on, and the node's further writers what they may do.
#include <cstring>

#include "platform/sim/machine.h"

namespace {

using namespace win;

constexpr DWORD FullControl = 0x001F01FF;
constexpr DWORD ReadAndExecute = 0x001200A9;
constexpr DWORD GenericAll = 0x10000000;
constexpr WORD SelfRelative = 0x8000, DaclPresent = 0x0004;
constexpr std::size_t DescriptorBytes = 20;  // revision, control, four offsets

void PutDword(std::vector<BYTE>& out, std::size_t at, DWORD value) { std::memcpy(out.data() + at, &value, 4); }

// A SID's bytes: revision, subauthority count, authority, subauthorities.
std::vector<BYTE> Sid(BYTE authority, std::initializer_list<DWORD> subauthorities) {
  std::vector<BYTE> sid = {1, static_cast<BYTE>(subauthorities.size()), 0, 0, 0, 0, 0, authority};
  for (DWORD sub : subauthorities) {
    sid.resize(sid.size() + 4);
    PutDword(sid, sid.size() - 4, sub);
  }
  return sid;
}

void AddAce(std::vector<BYTE>& acl, BYTE flags, DWORD mask, const std::vector<BYTE>& sid) {
  const std::size_t at = acl.size();
  const WORD size = static_cast<WORD>(8 + sid.size());
  acl.resize(at + size);
  acl[at] = ACCESS_ALLOWED_ACE_TYPE;
  acl[at + 1] = flags;
  std::memcpy(acl.data() + at + 2, &size, 2);
  PutDword(acl, at + 4, mask);
  std::memcpy(acl.data() + at + 8, sid.data(), sid.size());
}

std::vector<BYTE> Descriptor(const sim::FileNode& node) {
  const std::vector<BYTE> owner = sim::AccountSid(node.owner.empty() ? u"Administrators" : node.owner);
  std::vector<BYTE> sd(DescriptorBytes);
  sd[0] = 1;
  const WORD control = SelfRelative | DaclPresent;
  std::memcpy(sd.data() + 2, &control, 2);
  PutDword(sd, 4, DescriptorBytes);
  sd.insert(sd.end(), owner.begin(), owner.end());
  // Present but null: the DACL's offset stays 0.
  if (node.nullAccessList) return sd;
  std::vector<BYTE> acl(sizeof(ACL));
  AddAce(acl, 0, FullControl, sim::AccountSid(u"SYSTEM"));
  AddAce(acl, 0, FullControl, sim::AccountSid(u"Administrators"));
  AddAce(acl, 0, ReadAndExecute, sim::AccountSid(u"Users"));
  AddAce(acl, INHERIT_ONLY_ACE, GenericAll, Sid(3, {0}));
  for (const auto& writer : node.writers) AddAce(acl, 0, writer.rights, sim::AccountSid(writer.account));
  const ACL header{2, 0, static_cast<WORD>(acl.size()), static_cast<WORD>(4 + node.writers.size()), 0};
  std::memcpy(acl.data(), &header, sizeof header);
  PutDword(sd, 16, static_cast<DWORD>(sd.size()));
  sd.insert(sd.end(), acl.begin(), acl.end());
  return sd;
}

DWORD Offset(const void* descriptor, std::size_t at) {
  DWORD offset = 0;
  std::memcpy(&offset, static_cast<const BYTE*>(descriptor) + at, 4);
  return offset;
}

}  // namespace

namespace sim {

std::vector<std::uint8_t> AccountSid(std::u16string_view account) {
  const std::u16string name = ToUpperAscii(account);
  if (name == u"SYSTEM") return Sid(5, {18});
  if (name == u"ADMINISTRATORS") return Sid(5, {32, 544});
  if (name == u"USERS") return Sid(5, {32, 545});
  if (name == u"EVERYONE") return Sid(1, {0});
  if (name == u"TRUSTEDINSTALLER") return Sid(5, {80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u});
  // Anyone else is the machine's one user.
  return Sid(5, {21, 1004621532, 1177204355, 682000258, 1001});
}

}  // namespace sim

namespace win {

BOOL GetFileSecurityW(const char16_t* fileName, DWORD requested, void* descriptor, DWORD length, DWORD* needed) {
  auto& m = sim::Current();
  if (m.Enter("GetFileSecurityW", fileName ? fileName : u"")) return FALSE;
  const sim::FileNode* node = fileName ? m.FindFile(fileName) : nullptr;
  if (!node) return m.lastError = ERROR_FILE_NOT_FOUND, FALSE;
  if (!needed || (requested & ~(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)))
    return m.lastError = ERROR_INVALID_PARAMETER, FALSE;
  const std::vector<BYTE> sd = Descriptor(*node);
  *needed = static_cast<DWORD>(sd.size());
  if (!descriptor || length < sd.size()) return m.lastError = ERROR_INSUFFICIENT_BUFFER, FALSE;
  std::memcpy(descriptor, sd.data(), sd.size());
  return TRUE;
}

BOOL GetSecurityDescriptorOwner(void* descriptor, void** owner, BOOL* defaulted) {
  auto& m = sim::Current();
  if (m.Enter("GetSecurityDescriptorOwner")) return FALSE;
  if (!descriptor || !owner || !defaulted) return m.lastError = ERROR_INVALID_PARAMETER, FALSE;
  const DWORD at = Offset(descriptor, 4);
  *owner = at ? static_cast<BYTE*>(descriptor) + at : nullptr;
  *defaulted = FALSE;
  return TRUE;
}

BOOL GetSecurityDescriptorDacl(void* descriptor, BOOL* present, ACL** dacl, BOOL* defaulted) {
  auto& m = sim::Current();
  if (m.Enter("GetSecurityDescriptorDacl")) return FALSE;
  if (!descriptor || !present || !dacl || !defaulted) return m.lastError = ERROR_INVALID_PARAMETER, FALSE;
  WORD control = 0;
  std::memcpy(&control, static_cast<BYTE*>(descriptor) + 2, 2);
  const DWORD at = Offset(descriptor, 16);
  *present = (control & DaclPresent) ? TRUE : FALSE;
  *dacl = *present && at ? reinterpret_cast<ACL*>(static_cast<BYTE*>(descriptor) + at) : nullptr;
  *defaulted = FALSE;
  return TRUE;
}

BOOL GetAce(ACL* acl, DWORD index, void** ace) {
  auto& m = sim::Current();
  if (m.Enter("GetAce")) return FALSE;
  if (!acl || !ace || index >= acl->AceCount) return m.lastError = ERROR_INVALID_PARAMETER, FALSE;
  BYTE* at = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
  for (DWORD i = 0; i < index; ++i) at += reinterpret_cast<ACE_HEADER*>(at)->AceSize;
  *ace = at;
  return TRUE;
}

}  // namespace win
