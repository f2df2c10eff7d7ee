// Files of the simulated machine: open handles with share modes, files held
// open by other processes, and the error codes Windows gives for each case.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/sim/machine.h"
#include "platform/sim/print_store.h"

namespace {

using namespace win;
using sim::HandleKind;
using sim::HandleObject;
using sim::Machine;

constexpr DWORD FILE_READ_DATA = 0x1;
constexpr DWORD FILE_WRITE_DATA = 0x2;
constexpr DWORD FILE_APPEND_DATA = 0x4;
constexpr DWORD GENERIC_ALL = 0x10000000u;
constexpr DWORD ERROR_FILE_EXISTS = 80;

bool Reads(DWORD access) { return access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA); }
bool Writes(DWORD access) {
  return access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
}
bool Deletes(DWORD access) { return access & (DELETE | GENERIC_ALL); }

// Whether an open with (access, share) collides with one already there.
bool Collides(DWORD heldAccess, DWORD heldShare, DWORD access, DWORD share) {
  if (Reads(access) && !(heldShare & FILE_SHARE_READ)) return true;
  if (Writes(access) && !(heldShare & FILE_SHARE_WRITE)) return true;
  if (Deletes(access) && !(heldShare & FILE_SHARE_DELETE)) return true;
  if (Reads(heldAccess) && !(share & FILE_SHARE_READ)) return true;
  if (Writes(heldAccess) && !(share & FILE_SHARE_WRITE)) return true;
  if (Deletes(heldAccess) && !(share & FILE_SHARE_DELETE)) return true;
  return false;
}

// A module the spooler has loaded, or a program that runs.
bool RunningImage(Machine& m, const std::u16string& key) {
  return sim::SpoolerHoldsImage(m, key) || (m.companion.running && Machine::Key(m.companion.image) == key);
}


bool ParentExists(Machine& m, const std::u16string& full) {
  const auto slash = full.rfind(u'\\');
  if (slash == std::u16string::npos) return false;
  std::u16string parent = full.substr(0, slash);
  if (parent.size() == 2) parent += u'\\';
  const sim::FileNode* node = m.FindFile(parent);
  return node && node->directory;
}

// The error for a path that names nothing.
DWORD MissingError(Machine& m, const std::u16string& full) {
  return ParentExists(m, full) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// The open file behind a handle for a read or write; null with the last
// error set when the call fails before reaching the file.
HandleObject* EnterFileIo(Machine& m, const char* call, HANDLE file, bool (*allowed)(DWORD),
                          std::vector<std::uint8_t>*& data) {
  HandleObject* object = m.FindHandle(reinterpret_cast<std::uintptr_t>(file));
  if (object && object->kind != HandleKind::File) object = nullptr;
  if (m.Enter(call, object ? object->name : u"")) return nullptr;
  auto it = object ? m.files.find(object->name) : m.files.end();
  if (!object || it == m.files.end()) {
    m.lastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (!allowed(object->access)) {
    m.lastError = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  data = &it->second.data;
  return object;
}

}  // namespace

namespace sim {

bool SharingViolation(Machine& m, const std::u16string& key, DWORD access, DWORD share) {
  for (const auto& [value, object] : m.handles)
    if (object->kind == HandleKind::File && object->name == key &&
        Collides(object->access, object->share, access, share))
      return true;
  for (const auto& hold : m.holds)
    if (hold.key == key && Collides(hold.access, hold.share, access, share)) return true;
  // A loaded image can be read by others but neither written nor deleted.
  return RunningImage(m, key) && Collides(GENERIC_READ, FILE_SHARE_READ, access, share);
}

}  // namespace sim

namespace win {

HANDLE CreateFileW(const char16_t* fileName, DWORD desiredAccess, DWORD shareMode, void*,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
  auto& m = sim::Current();
  const std::u16string name = fileName ? fileName : u"";
  std::u16string full = name.empty() ? std::u16string() : m.FullPath(name);
  const bool fails = m.Enter("CreateFileW", full);
  m.Note({{"lpFileName", sim::Given(fileName)},
          {"dwDesiredAccess", sim::Number(desiredAccess)},
          {"dwShareMode", sim::Number(shareMode)},
          {"dwCreationDisposition", sim::Number(creationDisposition)},
          {"dwFlagsAndAttributes", sim::Number(flagsAndAttributes)}});
  if (fails) return INVALID_HANDLE_VALUE;
  // A symbolic link leads to its target unless the link itself is opened.
  if (const sim::FileNode* link = full.empty() ? nullptr : m.FindFile(full);
      link && !link->linkTarget.empty() && !(flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT))
    full = m.FullPath(link->linkTarget);
  if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  if (full.empty() || !ParentExists(m, full)) {
    m.lastError = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string key = Machine::Key(full);
  sim::FileNode* node = m.FindFile(full);
  if (node && node->directory) {
    m.lastError = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  if (!node && (creationDisposition == OPEN_EXISTING || creationDisposition == TRUNCATE_EXISTING)) {
    m.lastError = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  if (node && creationDisposition == CREATE_NEW) {
    m.lastError = ERROR_FILE_EXISTS;
    return INVALID_HANDLE_VALUE;
  }
  if (node && (node->attributes & FILE_ATTRIBUTE_READONLY) &&
      (Writes(desiredAccess) || creationDisposition == CREATE_ALWAYS ||
       creationDisposition == TRUNCATE_EXISTING)) {
    m.lastError = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  if (node && SharingViolation(m, key, desiredAccess, shareMode)) {
    m.lastError = ERROR_SHARING_VIOLATION;
    return INVALID_HANDLE_VALUE;
  }
  DWORD error = ERROR_SUCCESS;
  if (!node) {
    m.AddFile(full, {});
  } else {
    if (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS)
      error = ERROR_ALREADY_EXISTS;
    if (creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING) {
      m.diskFreeBytes += m.diskFreeBytes == UINT64_MAX ? 0 : node->data.size();
      node->data.clear();
    }
  }
  auto object = std::make_shared<HandleObject>();
  object->kind = HandleKind::File;
  object->name = key;
  object->access = desiredAccess;
  object->share = shareMode;
  m.lastError = error;
  return reinterpret_cast<HANDLE>(m.AddHandle(std::move(object)));
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void*) {
  auto& m = sim::Current();
  if (bytesRead) *bytesRead = 0;
  std::vector<std::uint8_t>* fileData = nullptr;
  HandleObject* object = EnterFileIo(m, "ReadFile", file, Reads, fileData);
  if (!object) return FALSE;
  const auto& data = *fileData;
  const std::size_t available = object->position < data.size() ? data.size() - object->position : 0;
  const std::size_t count = std::min<std::size_t>(available, bytesToRead);
  if (count) std::memcpy(buffer, data.data() + object->position, count);
  object->position += count;
  if (bytesRead) *bytesRead = static_cast<DWORD>(count);
  return TRUE;
}

// The standard output is no file of the machine, and its handle is never
// the program's to close.
const HANDLE StandardOutput = reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFF0011});

HANDLE GetStdHandle(DWORD stdHandle) {
  auto& m = sim::Current();
  if (m.Enter("GetStdHandle")) return INVALID_HANDLE_VALUE;
  if (stdHandle != STD_OUTPUT_HANDLE) {
    m.lastError = ERROR_INVALID_HANDLE;
    return INVALID_HANDLE_VALUE;
  }
  return StandardOutput;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void*) {
  auto& m = sim::Current();
  if (bytesWritten) *bytesWritten = 0;
  if (file == StandardOutput) {
    if (m.Enter("WriteFile", u"<standard output>")) return FALSE;
    const std::string text(static_cast<const char*>(buffer), bytesToWrite);
    m.standardOutput += text;
    if (m.echoStandardOutput) std::fwrite(text.data(), 1, text.size(), stdout);
    if (bytesWritten) *bytesWritten = bytesToWrite;
    return TRUE;
  }
  std::vector<std::uint8_t>* fileData = nullptr;
  HandleObject* object = EnterFileIo(m, "WriteFile", file, Writes, fileData);
  if (!object) return FALSE;
  auto& data = *fileData;
  const std::size_t end = object->position + bytesToWrite;
  const std::size_t growth = end > data.size() ? end - data.size() : 0;
  if (growth > m.diskFreeBytes) {
    m.lastError = ERROR_DISK_FULL;
    return FALSE;
  }
  if (m.diskFreeBytes != UINT64_MAX) m.diskFreeBytes -= growth;
  if (growth) data.resize(end);
  if (bytesToWrite) std::memcpy(data.data() + object->position, buffer, bytesToWrite);
  object->position = end;
  if (bytesWritten) *bytesWritten = bytesToWrite;
  return TRUE;
}

// CreateFileW gives every handle the right to read attributes.
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  auto& m = sim::Current();
  std::vector<std::uint8_t>* data = nullptr;
  HandleObject* object = EnterFileIo(m, "GetFileInformationByHandle", file, [](DWORD) { return true; }, data);
  if (!object) return FALSE;
  const sim::FileNode& node = m.files.at(object->name);
  *information = {};
  information->dwFileAttributes = node.attributes;
  information->nFileSizeHigh = static_cast<DWORD>(data->size() >> 32);
  information->nFileSizeLow = static_cast<DWORD>(data->size());
  information->nNumberOfLinks = node.links;
  return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
  auto& m = sim::Current();
  std::vector<std::uint8_t>* data = nullptr;
  HandleObject* object = EnterFileIo(m, "SetEndOfFile", file, Writes, data);
  if (!object) return FALSE;
  const std::size_t size = data->size(), end = object->position;
  if (end > size && end - size > m.diskFreeBytes) {
    m.lastError = ERROR_DISK_FULL;
    return FALSE;
  }
  if (m.diskFreeBytes != UINT64_MAX) m.diskFreeBytes = m.diskFreeBytes + size - end;
  data->resize(object->position);
  return TRUE;
}

BOOL CloseHandle(HANDLE object) {
  auto& m = sim::Current();
  const auto value = reinterpret_cast<std::uintptr_t>(object);
  HandleObject* found = m.FindHandle(value);
  if (m.Enter("CloseHandle", found ? found->name : u"")) return FALSE;
  const bool kernelObject = found && (found->kind == HandleKind::File || found->kind == HandleKind::Mutex ||
                                      found->kind == HandleKind::Process || found->kind == HandleKind::Thread ||
                                      found->kind == HandleKind::Token);
  if (!kernelObject) {
    m.lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  const HandleKind kind = found->kind;
  const std::u16string name = found->name;
  m.handles.erase(value);
  if (kind == HandleKind::Mutex) {
    sim::NamedMutex& mutex = m.mutexes.at(name);
    --mutex.programHandles;
    sim::ForgetUnusedMutex(m, name);
  }
  return TRUE;
}

DWORD GetFileAttributesW(const char16_t* fileName) {
  auto& m = sim::Current();
  const std::u16string full = fileName && *fileName ? m.FullPath(fileName) : std::u16string();
  if (m.Enter("GetFileAttributesW", full)) return INVALID_FILE_ATTRIBUTES;
  const sim::FileNode* node = full.empty() ? nullptr : m.FindFile(full);
  if (!node) {
    m.lastError = full.empty() ? ERROR_PATH_NOT_FOUND : MissingError(m, full);
    return INVALID_FILE_ATTRIBUTES;
  }
  return node->attributes;
}

BOOL CreateDirectoryW(const char16_t* pathName, void*) {
  auto& m = sim::Current();
  const std::u16string full = pathName && *pathName ? m.FullPath(pathName) : std::u16string();
  if (m.Enter("CreateDirectoryW", full)) return FALSE;
  if (full.empty() || !ParentExists(m, full)) {
    m.lastError = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  if (m.FindFile(full)) {
    m.lastError = ERROR_ALREADY_EXISTS;
    return FALSE;
  }
  m.AddDirectory(full);
  return TRUE;
}

BOOL DeleteFileW(const char16_t* fileName) {
  auto& m = sim::Current();
  const std::u16string full = fileName && *fileName ? m.FullPath(fileName) : std::u16string();
  if (m.Enter("DeleteFileW", full)) return FALSE;
  sim::FileNode* node = full.empty() ? nullptr : m.FindFile(full);
  if (!node) {
    m.lastError = full.empty() ? ERROR_PATH_NOT_FOUND : MissingError(m, full);
    return FALSE;
  }
  if (node->directory || (node->attributes & FILE_ATTRIBUTE_READONLY)) {
    m.lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  const std::u16string key = Machine::Key(full);
  // A program or module that is running cannot be deleted.
  if (RunningImage(m, key) ||
      std::any_of(m.holds.begin(), m.holds.end(), [&](const sim::ExternalHold& h) { return h.key == key && h.image; })) {
    m.lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (SharingViolation(m, key, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    m.lastError = ERROR_SHARING_VIOLATION;
    return FALSE;
  }
  if (m.diskFreeBytes != UINT64_MAX) m.diskFreeBytes += node->data.size();
  m.files.erase(key);
  return TRUE;
}

BOOL MoveFileExW(const char16_t* existingFileName, const char16_t* newFileName, DWORD flags) {
  auto& m = sim::Current();
  const std::u16string from = existingFileName && *existingFileName ? m.FullPath(existingFileName) : u"";
  const std::u16string to = newFileName && *newFileName ? m.FullPath(newFileName) : u"";
  const bool fails = m.Enter("MoveFileExW", from);
  m.Note({{"lpExistingFileName", sim::Given(existingFileName)},
          {"lpNewFileName", sim::Given(newFileName)},
          {"dwFlags", sim::Number(flags)}});
  if (fails) return FALSE;
  if (from.empty()) {
    m.lastError = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    // Recorded for the Session Manager; nothing is checked until the restart.
    sim::AddPendingOperation(m, from, to, flags & MOVEFILE_REPLACE_EXISTING);
    return TRUE;
  }
  sim::FileNode* node = m.FindFile(from);
  if (!node) {
    m.lastError = MissingError(m, from);
    return FALSE;
  }
  if (to.empty() || !ParentExists(m, to)) {
    m.lastError = to.empty() ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  if (m.FindFile(to) && !(flags & MOVEFILE_REPLACE_EXISTING)) {
    m.lastError = ERROR_ALREADY_EXISTS;
    return FALSE;
  }
  if (sim::SpoolerHoldsImage(m, Machine::Key(from)) ||
      SharingViolation(m, Machine::Key(from), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    m.lastError = ERROR_SHARING_VIOLATION;
    return FALSE;
  }
  sim::FileNode moved = std::move(*node);
  m.files.erase(Machine::Key(from));
  moved.path = to;
  m.files[Machine::Key(to)] = std::move(moved);
  return TRUE;
}

}  // namespace win
