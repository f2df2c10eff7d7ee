#include "printers/printer_journal.h"

#include <cstring>
#include <initializer_list>

#include "printers/printer_queues.h"
#include "run/log.h"
#include "util/text_compare.h"

namespace {

constexpr int TextsPerPrinter = 5;
constexpr char16_t DefaultMark[] = u"1";

struct JournalRecord {
  const char16_t* name;
  const char16_t* keyName;  // one unit per byte; empty for a printer without one
  const char16_t* comment;
  const char16_t* location;
  const char16_t* isDefault;
};

// The record at `cursor`, which then points at the next one.
JournalRecord NextRecord(const char16_t*& cursor) {
  const char16_t* texts[TextsPerPrinter];
  for (auto& text : texts) text = NextJournalText(cursor);
  return {texts[0], texts[1], texts[2], texts[3], texts[4]};
}

// The number of printers in `units` read units (the last a zero), or 0 when
// they are not whole records: a name in each, and key names of 8-bit units
// that a settings key name read could have given.
int CountPrinters(const char16_t* texts, std::size_t units) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < units; ++count) {
    const std::size_t length = TextLength(texts + at);
    const std::size_t field = count % TextsPerPrinter;
    if (field == 0 && length == 0) return 0;
    if (field == 1 && length >= SettingsKeyCapacity) return 0;
    if (field == 1)
      for (std::size_t i = 0; i < length; ++i)
        if (texts[at + i] > 0xFF) return 0;
    at += length + 1;
  }
  return count % TextsPerPrinter ? 0 : static_cast<int>(count / TextsPerPrinter);
}

// The run's journal takes `texts`, which it then owns.
void KeepJournal(InstallState& state, WideString& texts, int printers) {
  Release(state.PrinterJournal);
  state.PrinterJournal = texts;
  state.JournalPrinters = printers;
  texts = WideString{};
}

// The record of the printer named `name` in the run's journal, or null.
const char16_t* FindRecord(const InstallState& state, const char16_t* name) {
  const char16_t* cursor = Text(state.PrinterJournal);
  for (int i = 0; i < state.JournalPrinters; ++i) {
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

void AppendRecord(WideString& out, const JournalRecord& record) {
  for (const char16_t* text : {record.name, record.keyName, record.comment, record.location, record.isDefault})
    AppendJournalText(out, text);
}

void AppendSaved(WideString& out, const SavedPrinter& saved) {
  AppendJournalText(out, saved.entry->pPrinterName);
  const std::uint64_t at = Length(out);
  const std::size_t length = std::strlen(saved.keyName);
  SetLength(out, at + length + 1);
  char16_t* chars = Chars(out);
  for (std::size_t i = 0; i < length; ++i) chars[at + i] = static_cast<unsigned char>(saved.keyName[i]);
  chars[at + length] = 0;
  AppendJournalText(out, saved.entry->pComment);
  AppendJournalText(out, saved.entry->pLocation);
  const bool isDefault = (saved.entry->Attributes & win::PRINTER_ATTRIBUTE_DEFAULT) && IsProductPrinter(*saved.entry);
  AppendJournalText(out, isDefault ? DefaultMark : u"");
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

enum class Holder { Nobody, Product, AnotherMaker };

// Who holds the name on the machine. A printer whose record cannot be read
// counts as another maker's, so that its name is never taken for back.
Holder HolderOf(const char16_t* name) {
  win::HANDLE printer = nullptr;
  if (!win::OpenPrinterW(const_cast<char16_t*>(name), &printer, nullptr)) return Holder::Nobody;
  win::PRINTER_INFO_2W* record = GetPrinterInfo(printer);
  const bool product = record && IsProductPrinter(*record);
  if (record) win::GlobalFree(record);
  win::ClosePrinter(printer);
  return product ? Holder::Product : Holder::AnotherMaker;
}

// The record leaves the journal only when this run re-created its printer
// with all it carries. A product printer kept in place may be what a failed
// run left of it (no default mark, say): its record waits for a run that
// reads it.
bool IsBack(const InstallState& state, const JournalRecord& record) {
  const SavedPrinter* saved = FindSaved(state.SavedSettings, record.name);
  return saved && saved->back;
}

}  // namespace

bool JournalSavedPrinters(InstallState& state) {
  if (!state.Reinstalling || !state.SavedSettings) return true;
  WideString texts{};
  int printers = 0;
  for (const SavedPrinter* saved = state.SavedSettings; saved; saved = saved->next, ++printers) {
    const char16_t* record = FindRecord(state, saved->entry->pPrinterName);
    if (record)
      AppendRecord(texts, NextRecord(record));
    else
      AppendSaved(texts, *saved);
  }
  const char16_t* cursor = Text(state.PrinterJournal);
  for (int i = 0; i < state.JournalPrinters; ++i) {
    const JournalRecord record = NextRecord(cursor);
    if (!FindSaved(state.SavedSettings, record.name)) AppendRecord(texts, record), ++printers;
  }
  const bool written = WriteJournalValue(PrinterJournalValue, texts);
  const win::DWORD failure = win::GetLastError();
  if (written) KeepJournal(state, texts, printers);
  Release(texts);
  win::SetLastError(failure);
  return written;
}

int FindUnfinishedRun(InstallState& state) {
  JournalTexts value = ReadJournalValue(PrinterJournalValue);
  const win::DWORD failure = value.failure;
  const int printers = value.texts ? CountPrinters(value.texts, value.units) : 0;
  WideString texts{};
  if (printers) {
    SetLength(texts, value.units);
    std::memcpy(Chars(texts), value.texts, value.units * sizeof(char16_t));
  }
  KeepJournal(state, texts, printers);
  ReleaseJournalTexts(value);
  if (failure) {
    win::SetLastError(failure);
    return -1;
  }
  if (printers) LogFormat(state, u"Printers left to bring back by a run that did not finish: %d", printers);
  return printers;
}

void LogUnreadableJournal(InstallState& state) {
  LogError(state, ErrReadPrinterJournal, u"Can`t read the journal of printers to bring back");
}

void TakeOverJournal(InstallState& state) {
  const char16_t* cursor = Text(state.PrinterJournal);
  for (int i = 0; i < state.JournalPrinters; ++i) {
    const JournalRecord record = NextRecord(cursor);
    const Holder holder = HolderOf(record.name);
    if (holder == Holder::AnotherMaker)
      LogFormat(state, u"Printer '%s' with settings key '%s' waits in the journal: another printer holds its name",
                record.name, record.keyName);
    if (holder != Holder::Nobody) continue;
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
}

void SettlePrinterJournal(InstallState& state) {
  WideString left{};
  int printers = 0;
  const char16_t* cursor = Text(state.PrinterJournal);
  for (int i = 0; i < state.JournalPrinters; ++i) {
    const JournalRecord record = NextRecord(cursor);
    if (!IsBack(state, record)) AppendRecord(left, record), ++printers;
  }
  // A journal left as it was still brings back what is missing.
  if (WriteJournalValue(PrinterJournalValue, left)) KeepJournal(state, left, printers);
  Release(left);
}

void ForEachJournalledPrinter(const InstallState& state, void (*each)(void* context, const char16_t* name),
                              void* context) {
  const char16_t* cursor = Text(state.PrinterJournal);
  for (int i = 0; i < state.JournalPrinters; ++i) each(context, NextRecord(cursor).name);
}

void RemovePrinterJournal() { WriteJournalValue(PrinterJournalValue, WideString{}); }
