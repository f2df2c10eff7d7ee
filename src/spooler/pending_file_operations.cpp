#include "spooler/pending_file_operations.h"

#include <cstring>

#include "run/log.h"
#include "util/text_compare.h"

namespace {

constexpr char ProductUserKey[] = "Software\\Brennock\\Corvane";
constexpr std::size_t ProductUserKeyLength = sizeof(ProductUserKey) - 1;

// Length of the string at `at`, never looking at or past `limit`.
std::size_t BoundedLength(const char16_t* at, const char16_t* limit) {
  std::size_t n = 0;
  while (at + n < limit && at[n]) ++n;
  return n;
}

// Reads the value through an open key, asking its size first, into a global
// block the caller frees: null when the value is empty or cannot be read.
// The registry's status, or the allocation's error.
long QueryPendingValue(win::HKEY key, win::DWORD* type, win::BYTE*& block, win::DWORD& size) {
  block = nullptr;
  size = 0;
  long status = win::RegQueryValueExW(key, PendingValue, nullptr, type, nullptr, &size);
  if (status != win::ERROR_SUCCESS || size == 0) return status;
  block = static_cast<win::BYTE*>(win::GlobalAlloc(win::GPTR, size));
  if (!block) return static_cast<long>(win::GetLastError());
  status = win::RegQueryValueExW(key, PendingValue, nullptr, type, block, &size);
  if (status != win::ERROR_SUCCESS) {
    win::GlobalFree(block);
    block = nullptr;
  }
  return status;
}

// The value's block and its size in bytes; null and 0 when there is none.
win::BYTE* ReadPendingValue(win::DWORD& size) {
  size = 0;
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, SessionManagerKey, 0, win::KEY_READ, &key) !=
      win::ERROR_SUCCESS)
    return nullptr;
  win::BYTE* block = nullptr;
  QueryPendingValue(key, nullptr, block, size);
  if (!block) size = 0;
  win::RegCloseKey(key);
  return block;
}

bool Listed(const PathNode* list, const char16_t* path) {
  for (; list; list = list->next)
    if (SameTextIgnoringAsciiCase(list->text, path)) return true;
  return false;
}

// Calls `visit` with the bytes each pending deletion of a listed path takes
// in the value (its source, the source's zero and the empty target's zero)
// and the path. Pairs are walked as ReadPendingRenames walks them.
template <typename Visit>
void ForEachListedDeletion(const win::BYTE* block, win::DWORD size, const PathNode* list, Visit visit) {
  const auto* text = reinterpret_cast<const char16_t*>(block);
  const char16_t* limit = text + (size >= 2 ? (size - 2) / 2 : 0);
  for (const char16_t* at = text; at < limit;) {
    const char16_t* target = at + BoundedLength(at, limit) + 1;
    if (target >= limit) return;  // a last string without a partner
    const char16_t* next = target + BoundedLength(target, limit) + 1;
    if (*at && !*target && Listed(list, PendingPath(at)))
      visit(reinterpret_cast<const win::BYTE*>(at), reinterpret_cast<const win::BYTE*>(next), PendingPath(at));
    at = next;
  }
}

// Writes the value back as it is left; when nothing but its closing zero
// is left, the value goes.
long WritePendingValue(win::HKEY key, win::DWORD type, const win::BYTE* kept, win::DWORD size) {
  const bool empty = size <= sizeof(char16_t) && (size < sizeof(char16_t) || (kept[0] == 0 && kept[1] == 0));
  if (empty) return win::RegDeleteValueW(key, PendingValue);
  return win::RegSetValueExW(key, PendingValue, 0, type, kept, size);
}

bool NamesAFile(const char16_t* path) {
  const win::DWORD attributes = win::GetFileAttributesW(path);
  return attributes != win::INVALID_FILE_ATTRIBUTES && !(attributes & win::FILE_ATTRIBUTE_DIRECTORY);
}

// A later pair renames a file onto the path pair k deletes: the two replace
// a file in use at the restart, and deleting it now leaves its program
// without it until then.
bool IsReplaced(const PendingRenameTable& table, std::int32_t k) {
  const char16_t* path = PendingPath(table.entries[2 * k]);
  for (std::int32_t later = k + 1; later < table.pairCount; ++later) {
    const char16_t* target = table.entries[2 * later + 1];
    if (!target) continue;
    if (*target == u'!') ++target;  // replace what is there
    if (SameTextIgnoringAsciiCase(PendingPath(target), path)) return true;
  }
  return false;
}

}  // namespace

const char16_t* PendingPath(const char16_t* entry) {
  const bool prefixed = entry[0] == u'\\' && entry[1] == u'?' && entry[2] == u'?' && entry[3] == u'\\';
  return prefixed ? entry + 4 : entry;
}

PendingRenameTable ReadPendingRenames() {
  PendingRenameTable table{nullptr, nullptr, 0};
  win::DWORD size = 0;
  win::BYTE* block = ReadPendingValue(size);
  if (!block) return table;
  // The value's last zero is not walked; an odd byte count rounds down.
  const auto* text = reinterpret_cast<const char16_t*>(block);
  const char16_t* limit = text + (size >= 2 ? (size - 2) / 2 : 0);
  int strings = 0;
  for (const char16_t* at = text; at < limit; at += BoundedLength(at, limit) + 1) ++strings;
  const int pairs = strings / 2;
  if (pairs > 0) {
    table.entries = static_cast<char16_t**>(win::GlobalAlloc(win::GPTR, 2 * pairs * sizeof(char16_t*)));
    table.flags = static_cast<std::int32_t*>(win::GlobalAlloc(win::GPTR, 2 * pairs * sizeof(std::int32_t)));
    table.pairCount = pairs;
    bool complete = table.entries && table.flags;
    const char16_t* at = text;
    for (int i = 0; complete && at < limit && i < 2 * pairs; ++i) {
      const std::size_t n = BoundedLength(at, limit);
      if (n) {
        // The copy is terminated even when the value's last string was not.
        auto* copy = static_cast<char16_t*>(win::GlobalAlloc(win::GPTR, (n + 1) * sizeof(char16_t)));
        // A lost target would turn a rename into a deletion: all or nothing.
        complete = copy != nullptr;
        if (copy) std::memcpy(copy, at, n * sizeof(char16_t));
        table.entries[i] = copy;
        table.flags[i] = copy && NamesAFile(PendingPath(copy)) ? 1 : 0;
      }
      at += n + 1;
    }
    if (!complete) ReleasePendingRenames(table);
  }
  win::GlobalFree(block);
  return table;
}

void ReleasePendingRenames(PendingRenameTable& table) {
  if (table.entries && table.pairCount > 0)
    for (std::int32_t i = 0; i < 2 * table.pairCount; ++i) win::GlobalFree(table.entries[i]);
  win::GlobalFree(table.entries);
  win::GlobalFree(table.flags);
  table = PendingRenameTable{nullptr, nullptr, 0};
}

void DeletePendingDeletions(PendingRenameTable& table) {
  for (std::int32_t k = 0; k < table.pairCount; ++k) {
    const char16_t* source = table.entries[2 * k];
    if (!table.flags[2 * k] || !source || table.entries[2 * k + 1] || IsReplaced(table, k)) continue;
    if (win::DeleteFileW(PendingPath(source))) table.flags[2 * k] = 0;
  }
}

void CancelPendingDeletions(InstallState& state, const PathNode* keep) {
  if (!keep) return;
  win::HKEY key = nullptr;
  long status = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, SessionManagerKey, 0,
                                   win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, &key);
  if (status == win::ERROR_FILE_NOT_FOUND) return;
  win::DWORD type = 0;
  win::DWORD size = 0;
  win::BYTE* block = nullptr;
  if (status == win::ERROR_SUCCESS) status = QueryPendingValue(key, &type, block, size);
  win::BYTE* kept = block ? static_cast<win::BYTE*>(win::GlobalAlloc(win::GPTR, size)) : nullptr;
  if (block && !kept) status = static_cast<long>(win::GetLastError());
  bool changed = false;
  if (status == win::ERROR_SUCCESS && kept) {
    const win::BYTE* from = block;
    win::DWORD keptSize = 0;
    ForEachListedDeletion(block, size, keep, [&](const win::BYTE* begin, const win::BYTE* end, const char16_t*) {
      std::memcpy(kept + keptSize, from, static_cast<std::size_t>(begin - from));
      keptSize += static_cast<win::DWORD>(begin - from);
      from = end;
      changed = true;
    });
    std::memcpy(kept + keptSize, from, static_cast<std::size_t>(block + size - from));
    keptSize += static_cast<win::DWORD>(block + size - from);
    if (changed) status = WritePendingValue(key, type, kept, keptSize);
  }
  if (key) win::RegCloseKey(key);
  if (status != win::ERROR_SUCCESS && status != win::ERROR_FILE_NOT_FOUND) {
    win::SetLastError(static_cast<win::DWORD>(status));
    LogError(state, ErrCancelPendingDeletion, u"Can`t cancel the deletion of the product's files at restart");
  } else if (changed) {
    ForEachListedDeletion(block, size, keep, [&state](const win::BYTE*, const win::BYTE*, const char16_t* path) {
      LogFormat(state, u"No longer deleted at restart: %s", path);
    });
  }
  win::GlobalFree(kept);
  win::GlobalFree(block);
}

void DeleteFileTry(InstallState& state) {
  LogLine(state, u"DeleteFile-try");
  PathNode* previous = nullptr;
  PathNode* node = state.Undeletable;
  while (node) {
    PathNode* next = node->next;
    if (win::DeleteFileW(node->text) || win::GetLastError() == win::ERROR_FILE_NOT_FOUND) {
      RemoveNode(state.Undeletable, node, previous);
    } else {
      previous = node;
    }
    node = next;
  }
}

int ScheduleUndeletableFiles(InstallState& state) {
  int scheduled = 0;
  for (PathNode* node = state.Undeletable; node; node = node->next)
    if (win::MoveFileExW(node->text, nullptr, win::MOVEFILE_DELAY_UNTIL_REBOOT)) ++scheduled;
  FreeAll(state.Undeletable);
  state.Undeletable = nullptr;
  return scheduled;
}

namespace {

// Opens the product's per-user key below its own; null when it cannot.
win::HKEY OpenProductUserKey(const char* subkey, win::REGSAM access) {
  const std::size_t subkeyLength = std::strlen(subkey);
  char* path = static_cast<char*>(win::GlobalAlloc(win::GPTR, ProductUserKeyLength + subkeyLength + 2));
  if (!path) return nullptr;
  std::memcpy(path, ProductUserKey, ProductUserKeyLength);
  path[ProductUserKeyLength] = '\\';
  std::memcpy(path + ProductUserKeyLength + 1, subkey, subkeyLength);
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExA(win::HKEY_CURRENT_USER, path, 0, access, &key) != win::ERROR_SUCCESS) key = nullptr;
  win::GlobalFree(path);
  return key;
}

}  // namespace

bool ProductUserKeyExists(const char* subkey) {
  win::HKEY key = OpenProductUserKey(subkey, win::KEY_QUERY_VALUE);
  if (key) win::RegCloseKey(key);
  return key != nullptr;
}

bool ClearDeletedMark(const char* subkey) {
  win::HKEY key = OpenProductUserKey(subkey, win::KEY_ALL_ACCESS);
  if (!key) return false;
  const bool deleted = win::RegDeleteValueA(key, "deleted") == win::ERROR_SUCCESS;
  win::RegCloseKey(key);
  return deleted;
}
