#include "printers/printer_settings.h"

#include <cstring>

#include "printers/printer_queues.h"
#include "run/log.h"
#include "spooler/pending_file_operations.h"
#include "spooler/spooler_records.h"

namespace {

char ValueName[] = "SubKey";
constexpr char UserKey[] = "DsUser";
constexpr char SettingsFolder[] = "Corvanes\\";
constexpr std::size_t MarkPathCapacity = 260;

// A read that gave REG_SZ text terminated within what was delivered; an
// unterminated value would be read past its end.
bool IsText(win::DWORD status, win::DWORD type, const char* buffer, win::DWORD delivered) {
  return status == win::ERROR_SUCCESS && type == win::REG_SZ && delivered > 0 &&
         delivered <= SettingsKeyCapacity && std::memchr(buffer, 0, delivered) != nullptr;
}

}  // namespace

const char* ReadSettingsKeyName(win::HANDLE printer, char* buffer) {
  auto* bytes = reinterpret_cast<win::BYTE*>(buffer);
  win::DWORD type = 0;
  win::DWORD needed = 0;
  win::DWORD status = win::GetPrinterDataA(printer, ValueName, &type, bytes, SettingsKeyCapacity, &needed);
  if (IsText(status, type, buffer, needed)) return buffer;
  type = 0;
  needed = 0;
  status = win::GetPrinterDataExA(printer, UserKey, ValueName, &type, bytes, SettingsKeyCapacity, &needed);
  if (!IsText(status, type, buffer, needed)) buffer[0] = 0;
  return buffer;
}

bool WriteSettingsKeyName(win::HANDLE printer, const char* name) {
  auto* bytes = reinterpret_cast<win::BYTE*>(const_cast<char*>(name));
  const auto size = static_cast<win::DWORD>(std::strlen(name) + 1);
  win::SetPrinterDataA(printer, ValueName, win::REG_SZ, bytes, size);
  return win::SetPrinterDataExA(printer, UserKey, ValueName, win::REG_SZ, bytes, size) == win::ERROR_SUCCESS;
}

win::PRINTER_INFO_2W* GetPrinterInfo(win::HANDLE printer) {
  const FetchedRecords fetched =
      FetchRecords([printer](win::BYTE* buffer, win::DWORD size, win::DWORD* needed, win::DWORD*) {
        return win::GetPrinterW(printer, 2, buffer, size, needed);
      }, PrinterInfo2Layout, true);
  return reinterpret_cast<win::PRINTER_INFO_2W*>(fetched.block);
}

void RememberPrinter(InstallState& state, win::PRINTER_INFO_2W& entry) {
  win::HANDLE printer = nullptr;
  if (!win::OpenPrinterW(entry.pPrinterName, &printer, nullptr)) return;
  char name[SettingsKeyCapacity] = {};
  ReadSettingsKeyName(printer, name);
  const std::size_t length = std::strlen(name);
  if (length) {
    auto* node = static_cast<SavedPrinter*>(win::GlobalAlloc(win::GPTR, sizeof(SavedPrinter)));
    auto* keyName = node ? static_cast<char*>(win::GlobalAlloc(win::GPTR, length + 1)) : nullptr;
    if (keyName) {
      std::memcpy(keyName, name, length + 1);
      node->keyName = keyName;
      node->entry = &entry;
      node->next = state.SavedSettings;
      state.SavedSettings = node;
    } else {
      win::GlobalFree(node);
    }
  }
  win::ClosePrinter(printer);
}

void DeleteAllPrinterQueues(InstallState& state) {
  LogLine(state, u"#DeleteAllPrinters");
  ++state.Indent;
  for (win::DWORD i = 0; i < state.Printers.count; ++i) {
    win::PRINTER_INFO_2W& printer = state.Printers.entries[i];
    if (!IsProductPrinter(printer)) continue;
    RememberPrinter(state, printer);
    DeletePrinterQueue(state, printer.pPrinterName);
  }
  --state.Indent;
}

void RestorePrinters(InstallState& state) {
  int restored = 0;
  for (SavedPrinter* saved = state.SavedSettings; saved; saved = saved->next) {
    win::HANDLE printer = AddPrinterQueue(state, saved->entry->pPrinterName);
    if (!printer) continue;
    if (WriteSettingsKeyName(printer, saved->keyName)) {
      char markPath[MarkPathCapacity] = {};
      char name[SettingsKeyCapacity] = {};
      ReadSettingsKeyName(printer, name);
      if (name[0]) {
        std::memcpy(markPath, SettingsFolder, sizeof(SettingsFolder) - 1);
        std::memcpy(markPath + sizeof(SettingsFolder) - 1, name, std::strlen(name) + 1);
        ClearDeletedMark(markPath);
      }
    }
    if (win::PRINTER_INFO_2W* record = GetPrinterInfo(printer)) {
      record->pComment = saved->entry->pComment;
      record->pLocation = saved->entry->pLocation;
      win::SetPrinterW(printer, 2, reinterpret_cast<win::BYTE*>(record), 0);
      if ((saved->entry->Attributes & win::PRINTER_ATTRIBUTE_DEFAULT) && IsProductPrinter(*saved->entry))
        win::SetDefaultPrinterW(record->pPrinterName);
      win::GlobalFree(record);
    }
    win::ClosePrinter(printer);
    ++restored;
  }
  if (restored == 0)
    if (win::HANDLE printer = AddPrinterQueue(state, u"Corvane")) win::ClosePrinter(printer);
}
