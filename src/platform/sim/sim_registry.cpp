// The registry of the simulated machine. Handles remember their key's path,
// so a key deleted under an open handle answers as Windows does.
#include <cstring>
#include <memory>

#include "platform/sim/ansi_codepage.h"
#include "platform/sim/machine.h"

namespace {

using namespace win;
using sim::HandleKind;
using sim::HandleObject;

constexpr LONG ERROR_KEY_DELETED = 1018;

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The root and path an HKEY stands for; false for an unknown handle.
bool Resolve(sim::Machine& m, HKEY key, HKEY& root, std::u16string& path, DWORD& access) {
  if (m.RootKey(key)) {
    root = key;
    path.clear();
    access = KEY_ALL_ACCESS;
    return true;
  }
  const HandleObject* object = m.FindHandle(reinterpret_cast<std::uintptr_t>(key));
  if (!object || object->kind != HandleKind::RegistryKey) return false;
  root = object->root;
  path = object->name;
  access = object->access;
  return true;
}

std::u16string Join(const std::u16string& path, std::u16string_view sub) {
  if (sub.empty()) return path;
  return path.empty() ? std::u16string(sub) : path + u"\\" + std::u16string(sub);
}

std::u16string Describe(sim::Machine& m, HKEY key, std::u16string_view tail) {
  HKEY root = nullptr;
  std::u16string path;
  DWORD access = 0;
  if (!Resolve(m, key, root, path, access)) return std::u16string(tail);
  const std::u16string rootName = root == HKEY_LOCAL_MACHINE ? u"HKLM" : u"HKCU";
  return Join(rootName + (path.empty() ? u"" : u"\\" + path), tail);
}

// The open key behind a handle that allows `right`, or null with `status`.
sim::RegistryKey* OpenKey(sim::Machine& m, HKEY key, DWORD right, LONG& status) {
  HKEY root = nullptr;
  std::u16string path;
  DWORD access = 0;
  if (!Resolve(m, key, root, path, access)) {
    status = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if ((access & right) != right) {
    status = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  sim::RegistryKey* found = m.FindKey(root, path);
  if (!found) status = ERROR_KEY_DELETED;
  return found;
}

HKEY NewKeyHandle(sim::Machine& m, HKEY root, const std::u16string& path, REGSAM desired) {
  auto object = std::make_shared<HandleObject>();
  object->kind = HandleKind::RegistryKey;
  object->root = root;
  object->name = path;
  object->access = desired;
  return reinterpret_cast<HKEY>(m.AddHandle(std::move(object)));
}

LONG Open(const char* call, HKEY key, const std::u16string& subKey, REGSAM desired, HKEY* result) {
  auto& m = sim::Current();
  const DWORD fault = m.EnterStatus(call, Describe(m, key, subKey));
  m.Note({{"samDesired", sim::Number(desired)}});
  if (fault) return static_cast<LONG>(fault);
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  HKEY root = nullptr;
  std::u16string path;
  DWORD access = 0;
  if (!Resolve(m, key, root, path, access)) return ERROR_INVALID_HANDLE;
  const std::u16string full = Join(path, subKey);
  if (!m.FindKey(root, full)) return ERROR_FILE_NOT_FOUND;
  *result = NewKeyHandle(m, root, full, desired);
  return ERROR_SUCCESS;
}

LONG Create(HKEY key, const std::u16string& subKey, REGSAM desired, HKEY* result, DWORD* disposition) {
  auto& m = sim::Current();
  if (const DWORD fault = m.EnterStatus("RegCreateKeyExW", Describe(m, key, subKey))) return static_cast<LONG>(fault);
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  LONG status = ERROR_SUCCESS;
  // Creating a key needs the right to add below the parent, as on Windows.
  if (!OpenKey(m, key, KEY_CREATE_SUB_KEY, status)) return status;
  HKEY root = nullptr;
  std::u16string path;
  DWORD access = 0;
  Resolve(m, key, root, path, access);
  const std::u16string full = Join(path, subKey);
  const bool existed = m.FindKey(root, full) != nullptr;
  m.CreateKey(root, full);
  *result = NewKeyHandle(m, root, full, desired);
  if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

// Copies a value out by the registry's size protocol.
LONG Deliver(const std::vector<std::uint8_t>& bytes, DWORD valueType, DWORD* type, BYTE* data,
             DWORD* dataSize) {
  if (type) *type = valueType;
  if (!dataSize) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  const auto size = static_cast<DWORD>(bytes.size());
  if (data && *dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (data && size) std::memcpy(data, bytes.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LONG Query(HKEY key, const std::u16string& name, bool ansi, DWORD* type, BYTE* data,
           DWORD* dataSize) {
  auto& m = sim::Current();
  if (const DWORD fault = m.EnterStatus(ansi ? "RegQueryValueExA" : "RegQueryValueExW",
                                        Describe(m, key, name)))
    return static_cast<LONG>(fault);
  LONG status = ERROR_SUCCESS;
  sim::RegistryKey* found = OpenKey(m, key, KEY_QUERY_VALUE, status);
  if (!found) return status;
  auto it = found->values.find(sim::ToUpperAscii(name));
  if (it == found->values.end()) return ERROR_FILE_NOT_FOUND;
  const sim::RegistryValue& value = it->second;
  if (!ansi || !IsText(value.type)) return Deliver(value.data, value.type, type, data, dataSize);
  return Deliver(sim::AnsiFromStored(value.data), value.type, type, data, dataSize);
}

LONG Set(HKEY key, const std::u16string& name, const char* call, DWORD type,
         std::vector<std::uint8_t> bytes) {
  auto& m = sim::Current();
  if (const DWORD fault = m.EnterStatus(call, Describe(m, key, name))) return static_cast<LONG>(fault);
  LONG status = ERROR_SUCCESS;
  sim::RegistryKey* found = OpenKey(m, key, KEY_SET_VALUE, status);
  if (!found) return status;
  found->values[sim::ToUpperAscii(name)] = sim::RegistryValue{name, type, std::move(bytes)};
  return ERROR_SUCCESS;
}

LONG Delete(HKEY key, const std::u16string& name, const char* call) {
  auto& m = sim::Current();
  if (const DWORD fault = m.EnterStatus(call, Describe(m, key, name))) return static_cast<LONG>(fault);
  LONG status = ERROR_SUCCESS;
  sim::RegistryKey* found = OpenKey(m, key, KEY_SET_VALUE, status);
  if (!found) return status;
  return found->values.erase(sim::ToUpperAscii(name)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

std::u16string Wide(const char16_t* text) { return text ? text : u""; }
std::u16string Wide(const char* text) { return text ? sim::AnsiToWideString(text) : u""; }

}  // namespace

namespace win {

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD, REGSAM desired, HKEY* result) {
  return Open("RegOpenKeyExW", key, Wide(subKey), desired, result);
}

LONG RegCreateKeyExW(HKEY key, const char16_t* subKey, DWORD, char16_t*, DWORD, REGSAM desired, void*,
                     HKEY* result, DWORD* disposition) {
  return Create(key, Wide(subKey), desired, result, disposition);
}

LONG RegFlushKey(HKEY key) {
  auto& m = sim::Current();
  if (const DWORD fault = m.EnterStatus("RegFlushKey", Describe(m, key, u""))) return static_cast<LONG>(fault);
  LONG status = ERROR_SUCCESS;
  OpenKey(m, key, 0, status);
  return status;
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM desired, HKEY* result) {
  return Open("RegOpenKeyExA", key, Wide(subKey), desired, result);
}

LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD*, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  return Query(key, Wide(valueName), false, type, data, dataSize);
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  return Query(key, Wide(valueName), true, type, data, dataSize);
}

LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  std::vector<std::uint8_t> bytes(data, data + (data ? dataSize : 0));
  return Set(key, Wide(valueName), "RegSetValueExW", type, std::move(bytes));
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  std::vector<std::uint8_t> bytes(data, data + (data ? dataSize : 0));
  if (IsText(type)) bytes = sim::StoredFromAnsi(bytes);
  return Set(key, Wide(valueName), "RegSetValueExA", type, std::move(bytes));
}

LONG RegDeleteValueW(HKEY key, const char16_t* valueName) {
  return Delete(key, Wide(valueName), "RegDeleteValueW");
}

LONG RegDeleteValueA(HKEY key, const char* valueName) {
  return Delete(key, Wide(valueName), "RegDeleteValueA");
}

LONG RegCloseKey(HKEY key) {
  auto& m = sim::Current();
  if (const DWORD fault = m.EnterStatus("RegCloseKey", Describe(m, key, u""))) return static_cast<LONG>(fault);
  if (m.RootKey(key)) return ERROR_SUCCESS;
  const auto value = reinterpret_cast<std::uintptr_t>(key);
  const HandleObject* object = m.FindHandle(value);
  if (!object || object->kind != HandleKind::RegistryKey) return ERROR_INVALID_HANDLE;
  m.handles.erase(value);
  return ERROR_SUCCESS;
}

}  // namespace win
