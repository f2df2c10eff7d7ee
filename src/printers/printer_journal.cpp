#include "printers/printer_journal.h"

#include <cstring>
#include <initializer_list>

#include "printers/printer_queues.h"
#include "run/log.h"
#include "util/text_compare.h"

namespace {

constexpr int TextsPerPrinter = 5;
constexpr char16_t DefaultMark[] = u"1";

// The journal as read: whole records of texts back to back. No block when
// there is no journal or it cannot be trusted.
struct Journal {
  char16_t* texts;  // global block
  int printers;
};

struct JournalRecord {
  const char16_t* name;
  const char16_t* keyName;  // one unit per byte
  const char16_t* comment;
  const char16_t* location;
  const char16_t* isDefault;
};

// The record at `cursor`, which then points at the next one.
JournalRecord NextRecord(const char16_t*& cursor) {
  const char16_t* texts[TextsPerPrinter];
  for (auto& text : texts) {
    text = cursor;
    cursor += TextLength(cursor) + 1;
  }
  return {texts[0], texts[1], texts[2], texts[3], texts[4]};
}

// The number of printers in `units` read units, or 0 when they are not
// whole records: every text terminated, a name and a key name in each, and
// key names of 8-bit units.
int CountPrinters(const char16_t* texts, std::size_t units) {
  if (units == 0 || texts[units - 1] != 0) return 0;
  std::size_t count = 0;
  for (std::size_t at = 0; at < units; ++count) {
    const std::size_t length = TextLength(texts + at);
    const std::size_t field = count % TextsPerPrinter;
    if (field < 2 && length == 0) return 0;
    if (field == 1)
      for (std::size_t i = 0; i < length; ++i)
        if (texts[at + i] > 0xFF) return 0;
    at += length + 1;
  }
  return count % TextsPerPrinter ? 0 : static_cast<int>(count / TextsPerPrinter);
}

Journal ReadJournal() {
  Journal journal{nullptr, 0};
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, ProductMachineKey, 0, win::KEY_QUERY_VALUE, &key) !=
      win::ERROR_SUCCESS)
    return journal;
  win::DWORD type = 0;
  win::DWORD size = 0;
  if (win::RegQueryValueExW(key, PrinterJournalValue, nullptr, &type, nullptr, &size) == win::ERROR_SUCCESS &&
      type == win::REG_BINARY && size >= sizeof(char16_t) && size % sizeof(char16_t) == 0) {
    auto* texts = static_cast<char16_t*>(win::GlobalAlloc(win::GPTR, size));
    win::DWORD read = size;
    if (texts &&
        win::RegQueryValueExW(key, PrinterJournalValue, nullptr, &type, reinterpret_cast<win::BYTE*>(texts),
                              &read) == win::ERROR_SUCCESS &&
        type == win::REG_BINARY && read == size)
      journal.printers = CountPrinters(texts, size / sizeof(char16_t));
    if (journal.printers)
      journal.texts = texts;
    else if (texts)
      win::GlobalFree(texts);
  }
  win::RegCloseKey(key);
  return journal;
}

// The record of the printer named `name`, or null.
const char16_t* FindRecord(const Journal& journal, const char16_t* name) {
  const char16_t* cursor = journal.texts;
  for (int i = 0; i < journal.printers; ++i) {
    const char16_t* at = cursor;
    if (SameText(NextRecord(cursor).name, name)) return at;
  }
  return nullptr;
}

SavedPrinter* FindSaved(SavedPrinter* head, const char16_t* name) {
  for (; head; head = head->next)
    if (SameText(head->entry->pPrinterName, name)) return head;
  return nullptr;
}

void AppendText(WideString& out, const char16_t* text) {
  if (!text) text = u"";
  const std::uint64_t at = Length(out);
  const std::uint64_t length = TextLength(text);
  SetLength(out, at + length + 1);
  char16_t* chars = Chars(out);
  std::memcpy(chars + at, text, length * sizeof(char16_t));
  chars[at + length] = 0;
}

void AppendRecord(WideString& out, const JournalRecord& record) {
  for (const char16_t* text : {record.name, record.keyName, record.comment, record.location, record.isDefault})
    AppendText(out, text);
}

void AppendSaved(WideString& out, const SavedPrinter& saved) {
  AppendText(out, saved.entry->pPrinterName);
  const std::uint64_t at = Length(out);
  const std::size_t length = std::strlen(saved.keyName);
  SetLength(out, at + length + 1);
  char16_t* chars = Chars(out);
  for (std::size_t i = 0; i < length; ++i) chars[at + i] = static_cast<unsigned char>(saved.keyName[i]);
  chars[at + length] = 0;
  AppendText(out, saved.entry->pComment);
  AppendText(out, saved.entry->pLocation);
  const bool isDefault = (saved.entry->Attributes & win::PRINTER_ATTRIBUTE_DEFAULT) && IsProductPrinter(*saved.entry);
  AppendText(out, isDefault ? DefaultMark : u"");
}

void WriteJournal(const WideString& texts) {
  win::HKEY key = nullptr;
  if (win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, ProductMachineKey, 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                           win::KEY_SET_VALUE, nullptr, &key, nullptr) != win::ERROR_SUCCESS)
    return;
  const auto bytes = static_cast<win::DWORD>(Length(texts) * sizeof(char16_t));
  if (win::RegSetValueExW(key, PrinterJournalValue, 0, win::REG_BINARY, reinterpret_cast<const win::BYTE*>(Text(texts)),
                          bytes) == win::ERROR_SUCCESS)
    win::RegFlushKey(key);
  win::RegCloseKey(key);
}

char16_t* PutText(char16_t*& strings, const char16_t* text) {
  char16_t* at = strings;
  const std::uint64_t length = TextLength(text);
  std::memcpy(at, text, (length + 1) * sizeof(char16_t));
  strings += length + 1;
  return at;
}

// A node for a journalled printer; its record and the record's texts lie in
// the node's own block, so that releasing the node releases them.
SavedPrinter* NewSavedPrinter(const JournalRecord& record) {
  const std::uint64_t units = TextLength(record.name) + TextLength(record.comment) + TextLength(record.location) + 3;
  auto* block = static_cast<win::BYTE*>(
      win::GlobalAlloc(win::GPTR, sizeof(SavedPrinter) + sizeof(win::PRINTER_INFO_2W) + units * sizeof(char16_t)));
  const std::uint64_t keyLength = TextLength(record.keyName);
  auto* keyName = block ? static_cast<char*>(win::GlobalAlloc(win::GPTR, keyLength + 1)) : nullptr;
  if (!keyName) {
    if (block) win::GlobalFree(block);
    return nullptr;
  }
  for (std::uint64_t i = 0; i < keyLength; ++i) keyName[i] = static_cast<char>(record.keyName[i]);
  auto* node = reinterpret_cast<SavedPrinter*>(block);
  auto* entry = reinterpret_cast<win::PRINTER_INFO_2W*>(block + sizeof(SavedPrinter));
  auto* strings = reinterpret_cast<char16_t*>(entry + 1);
  entry->pPrinterName = PutText(strings, record.name);
  entry->pComment = PutText(strings, record.comment);
  entry->pLocation = PutText(strings, record.location);
  entry->pDriverName = const_cast<char16_t*>(ProductDriverName);
  entry->pPortName = const_cast<char16_t*>(ProductPortName);
  if (SameText(record.isDefault, DefaultMark)) entry->Attributes = win::PRINTER_ATTRIBUTE_DEFAULT;
  node->keyName = keyName;
  node->entry = entry;
  node->next = nullptr;
  return node;
}

// A printer under that name is on the machine: one the reinstall kept in
// place, or another maker's that holds the name now.
bool StillThere(const char16_t* name) {
  win::HANDLE printer = nullptr;
  if (!win::OpenPrinterW(const_cast<char16_t*>(name), &printer, nullptr)) return false;
  win::ClosePrinter(printer);
  return true;
}

}  // namespace

void JournalSavedPrinters(InstallState& state) {
  if (!state.Reinstalling || !state.SavedSettings) return;
  Journal earlier = ReadJournal();
  WideString texts{};
  for (const SavedPrinter* saved = state.SavedSettings; saved; saved = saved->next) {
    const char16_t* record = FindRecord(earlier, saved->entry->pPrinterName);
    if (record)
      AppendRecord(texts, NextRecord(record));
    else
      AppendSaved(texts, *saved);
  }
  const char16_t* cursor = earlier.texts;
  for (int i = 0; i < earlier.printers; ++i) {
    const JournalRecord record = NextRecord(cursor);
    if (!FindSaved(state.SavedSettings, record.name)) AppendRecord(texts, record);
  }
  WriteJournal(texts);
  Release(texts);
  if (earlier.texts) win::GlobalFree(earlier.texts);
}

int FindUnfinishedRun(InstallState& state) {
  const Journal journal = ReadJournal();
  if (journal.texts) win::GlobalFree(journal.texts);
  if (journal.printers)
    LogFormat(state, u"Printers left to bring back by a run that did not finish: %d", journal.printers);
  return journal.printers;
}

void TakeOverJournal(InstallState& state) {
  const Journal journal = ReadJournal();
  const char16_t* cursor = journal.texts;
  for (int i = 0; i < journal.printers; ++i) {
    const JournalRecord record = NextRecord(cursor);
    if (StillThere(record.name)) continue;
    SavedPrinter* node = NewSavedPrinter(record);
    if (!node) continue;
    SavedPrinter** slot = &state.SavedSettings;
    while (*slot && !SameText((*slot)->entry->pPrinterName, record.name)) slot = &(*slot)->next;
    if (SavedPrinter* replaced = *slot) {
      node->next = replaced->next;
      replaced->next = nullptr;
      ReleaseSavedPrinters(replaced);
    }
    *slot = node;
  }
  if (journal.texts) win::GlobalFree(journal.texts);
}

void RemovePrinterJournal() {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, ProductMachineKey, 0, win::KEY_SET_VALUE, &key) !=
      win::ERROR_SUCCESS)
    return;
  if (win::RegDeleteValueW(key, PrinterJournalValue) == win::ERROR_SUCCESS) win::RegFlushKey(key);
  win::RegCloseKey(key);
}
