#include "printers/printer_settings.h"

#include <cstring>

#include "printers/printer_journal.h"
#include "printers/printer_queues.h"
#include "run/log.h"
#include "spooler/pending_file_operations.h"
#include "spooler/spooler_records.h"
#include "util/text_compare.h"

namespace {

char ValueName[] = "SubKey";
constexpr char UserKey[] = "DsUser";
constexpr char SettingsFolder[] = "Corvanes\\";
constexpr std::size_t MarkPathCapacity = 260;
constexpr char16_t FirstPrinterName[] = u"Corvane";

// A read that gave REG_SZ text terminated within what was delivered; an
// unterminated value would be read past its end.
bool IsText(win::DWORD status, win::DWORD type, const char* buffer, win::DWORD delivered) {
  return status == win::ERROR_SUCCESS && type == win::REG_SZ && delivered > 0 &&
         delivered <= SettingsKeyCapacity && std::memchr(buffer, 0, delivered) != nullptr;
}

// A read that tells whether there is a name: a value, no value, or one too
// long to be a name. Anything else leaves the question open.
bool Answered(win::DWORD status) {
  return status == win::ERROR_SUCCESS || status == win::ERROR_FILE_NOT_FOUND || status == win::ERROR_MORE_DATA;
}

// Gives the new printer the comment and location of the one it replaces,
// and makes it the default when that one was. False, with the cause as the
// thread's last error, when any of it did not take.
bool CarryOver(const win::PRINTER_INFO_2W& saved, win::HANDLE printer) {
  win::PRINTER_INFO_2W* record = GetPrinterInfo(printer);
  if (!record) return false;
  record->pComment = saved.pComment;
  record->pLocation = saved.pLocation;
  bool carried = win::SetPrinterW(printer, 2, reinterpret_cast<win::BYTE*>(record), 0);
  win::DWORD failure = carried ? win::ERROR_SUCCESS : win::GetLastError();
  if ((saved.Attributes & win::PRINTER_ATTRIBUTE_DEFAULT) && IsProductPrinter(saved) &&
      !win::SetDefaultPrinterW(record->pPrinterName)) {
    carried = false;
    failure = win::GetLastError();
  }
  win::GlobalFree(record);
  win::SetLastError(failure);
  return carried;
}

// The printer a machine without any other gets: "Corvane". A "Corvane" the
// run found was remembered, or kept in place, so this one is new.
void AddFirstPrinter(InstallState& state) {
  if (win::HANDLE printer = AddPrinterQueue(state, FirstPrinterName)) win::ClosePrinter(printer);
}

// "Corvanes\<name>", the settings key's place below the product's per-user
// key, into `path` (MarkPathCapacity bytes; a name is shorter than a
// settings key name buffer).
const char* SettingsKeyPath(const char* name, char* path) {
  std::memcpy(path, SettingsFolder, sizeof(SettingsFolder) - 1);
  std::memcpy(path + sizeof(SettingsFolder) - 1, name, std::strlen(name) + 1);
  return path;
}

bool IsRemembered(const InstallState& state, const win::PRINTER_INFO_2W& printer) {
  for (const SavedPrinter* saved = state.SavedSettings; saved; saved = saved->next)
    if (saved->entry == &printer) return true;
  return false;
}

}  // namespace

win::DWORD ReadSettingsKeyNameStatus(win::HANDLE printer, char* buffer) {
  auto* bytes = reinterpret_cast<win::BYTE*>(buffer);
  win::DWORD type = 0;
  win::DWORD needed = 0;
  const win::DWORD plain =
      win::GetPrinterDataA(printer, ValueName, &type, bytes, SettingsKeyCapacity, &needed);
  if (IsText(plain, type, buffer, needed)) return win::ERROR_SUCCESS;
  type = 0;
  needed = 0;
  const win::DWORD user =
      win::GetPrinterDataExA(printer, UserKey, ValueName, &type, bytes, SettingsKeyCapacity, &needed);
  if (IsText(user, type, buffer, needed)) return win::ERROR_SUCCESS;
  buffer[0] = 0;
  if (!Answered(plain)) return plain;
  return Answered(user) ? win::ERROR_SUCCESS : user;
}

const char* ReadSettingsKeyName(win::HANDLE printer, char* buffer) {
  ReadSettingsKeyNameStatus(printer, buffer);
  return buffer;
}

bool SettingsKeyExists(const char* name) {
  char path[MarkPathCapacity] = {};
  return ProductUserKeyExists(SettingsKeyPath(name, path));
}

bool WriteSettingsKeyName(win::HANDLE printer, const char* name) {
  auto* bytes = reinterpret_cast<win::BYTE*>(const_cast<char*>(name));
  const auto size = static_cast<win::DWORD>(std::strlen(name) + 1);
  win::SetPrinterDataA(printer, ValueName, win::REG_SZ, bytes, size);
  return win::SetPrinterDataExA(printer, UserKey, ValueName, win::REG_SZ, bytes, size) == win::ERROR_SUCCESS;
}

namespace {

// Writes the settings key name back and lets the key's settings be used
// again. False, with the error logged, when the name could not be written.
bool RestoreSettingsKeyName(InstallState& state, const SavedPrinter& saved, win::HANDLE printer) {
  if (!WriteSettingsKeyName(printer, saved.keyName)) {
    LogError(state, ErrWriteSettingsKey, u"Can`t write the settings key name of printer '%s'",
             saved.entry->pPrinterName);
    return false;
  }
  char markPath[MarkPathCapacity] = {};
  char name[SettingsKeyCapacity] = {};
  ReadSettingsKeyName(printer, name);
  if (name[0]) ClearDeletedMark(SettingsKeyPath(name, markPath));
  return true;
}

}  // namespace

bool RememberPrinter(InstallState& state, win::PRINTER_INFO_2W& entry) {
  // Whether it is the default is part of what a reinstall puts back.
  if (state.DefaultPrinterUnknown) {
    win::SetLastError(state.DefaultPrinterUnknown);
    return false;
  }
  win::HANDLE printer = nullptr;
  if (!win::OpenPrinterW(entry.pPrinterName, &printer, nullptr)) return false;
  char name[SettingsKeyCapacity] = {};
  win::DWORD failure = ReadSettingsKeyNameStatus(printer, name);
  if (failure == win::ERROR_SUCCESS) {
    const std::size_t length = std::strlen(name);
    auto* node = static_cast<SavedPrinter*>(win::GlobalAlloc(win::GPTR, sizeof(SavedPrinter)));
    auto* keyName = node ? static_cast<char*>(win::GlobalAlloc(win::GPTR, length + 1)) : nullptr;
    if (keyName) {
      std::memcpy(keyName, name, length + 1);
      node->keyName = keyName;
      node->entry = &entry;
      node->next = state.SavedSettings;
      state.SavedSettings = node;
    } else {
      failure = win::GetLastError();
      win::GlobalFree(node);
    }
  }
  win::ClosePrinter(printer);
  if (failure == win::ERROR_SUCCESS) return true;
  win::SetLastError(failure);
  return false;
}

void DeleteAllPrinterQueues(InstallState& state) {
  LogLine(state, u"#DeleteAllPrinters");
  ++state.Indent;
  // Every printer is remembered and the journal written once before the
  // first one goes: a run cut off at any point finds each printer on the
  // machine or in the journal, and a thousand printers cost one write.
  for (win::DWORD i = 0; i < state.Printers.count; ++i) {
    win::PRINTER_INFO_2W& printer = state.Printers.entries[i];
    if (!IsOwnPrinter(printer)) continue;
    // Deleting it would lose what the reinstall cannot put back.
    if (!RememberPrinter(state, printer) && state.Reinstalling) {
      LogError(state, ErrReadPrinterSettings, u"Can`t read the settings of printer '%s'", printer.pPrinterName);
      ++state.KeptPrinters;
    }
  }
  if (!JournalSavedPrinters(state)) {
    const win::DWORD failure = win::GetLastError();
    for (const SavedPrinter* saved = state.SavedSettings; saved; saved = saved->next) {
      win::SetLastError(failure);
      LogError(state, ErrWritePrinterJournal, u"Can`t write printer '%s' to the journal", saved->entry->pPrinterName);
      ++state.KeptPrinters;
    }
    ReleaseSavedPrinters(state.SavedSettings);
    state.SavedSettings = nullptr;
  }
  for (win::DWORD i = 0; i < state.Printers.count; ++i) {
    win::PRINTER_INFO_2W& printer = state.Printers.entries[i];
    if (IsOwnPrinter(printer) && (!state.Reinstalling || IsRemembered(state, printer)))
      DeletePrinterQueue(state, printer.pPrinterName);
  }
  --state.Indent;
}

void RestorePrinters(InstallState& state) {
  // A printer the reinstall kept in place came through as it was; "Corvane"
  // tried once as a remembered printer is not tried again as the first.
  int restored = state.KeptPrinters;
  bool firstTried = false;
  for (SavedPrinter* saved = state.SavedSettings; saved; saved = saved->next) {
    firstTried = firstTried || SameText(saved->entry->pPrinterName, FirstPrinterName);
    win::HANDLE printer = AddPrinterQueue(state, saved->entry->pPrinterName);
    if (!printer) continue;
    // A printer without a settings key comes back without one.
    saved->back = !saved->keyName[0] || RestoreSettingsKeyName(state, *saved, printer);
    if (!CarryOver(*saved->entry, printer)) {
      LogError(state, ErrRestorePrinterSettings, u"Can`t restore the comment, location or default of printer '%s'",
               saved->entry->pPrinterName);
      saved->back = 0;
    }
    win::ClosePrinter(printer);
    ++restored;
  }
  if (restored == 0 && !firstTried) AddFirstPrinter(state);
}
