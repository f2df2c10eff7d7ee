#include "monitor/parked_printers.h"

#include "monitor/port_monitor_install.h"
#include "monitor/printer_ports.h"
#include "run/log.h"
#include "util/text_compare.h"

namespace {

// The port a printer on `port` is parked on; null when `port` does not
// hold the monitor's.
const char16_t* ParkedPort(InstallState& state, const char16_t* port) {
  win::PRINTER_INFO_2W printer{};
  printer.pPortName = const_cast<char16_t*>(port);
  return SwitchPort(state, printer, MonitorName, u"file:") ? printer.pPortName : nullptr;
}

// The record's printer is back on `port`, or was never moved, or went its
// own way since; false while it waits on "file:".
bool PutBack(InstallState& state, win::PRINTER_INFO_2W& printer, const char16_t* port) {
  const char16_t* parked = ParkedPort(state, port);
  if (!parked || !SameText(printer.pPortName, parked)) return true;
  printer.pPortName = const_cast<char16_t*>(AddText(state.SwitchedPorts, port));
  if (WritePrinterPort(state, printer)) return true;
  printer.pPortName = const_cast<char16_t*>(parked);
  return false;
}

bool Journalled(const JournalTexts& journal, const char16_t* name) {
  const char16_t* end = journal.texts + journal.units;
  for (const char16_t* cursor = journal.texts; cursor && cursor < end;) {
    const char16_t* at = NextJournalText(cursor);
    if (cursor < end) NextJournalText(cursor);
    if (SameText(at, name)) return true;
  }
  return false;
}

}  // namespace

bool JournalParkedPrinters(InstallState& state) {
  JournalTexts earlier = ReadJournalValue(ParkedPrintersValue);
  if (earlier.failure) {
    win::SetLastError(earlier.failure);
    return false;
  }
  WideString texts{};
  // For a printer in both, the journal's port was taken before anything moved.
  for (win::DWORD i = 0; i < state.Printers.count; ++i) {
    const win::PRINTER_INFO_2W& printer = state.Printers.entries[i];
    // The product's own come back through the journal of remembered printers.
    if (!OnPort(printer, MonitorName) || IsProductPrinter(printer) || Journalled(earlier, printer.pPrinterName))
      continue;
    AppendJournalText(texts, printer.pPrinterName);
    AppendJournalText(texts, printer.pPortName);
  }
  const char16_t* end = earlier.texts + earlier.units;
  for (const char16_t* cursor = earlier.texts; cursor && cursor < end;) AppendJournalText(texts, NextJournalText(cursor));
  const bool written = (!Length(texts) && !earlier.texts) || WriteJournalValue(ParkedPrintersValue, texts);
  const win::DWORD failure = win::GetLastError();
  Release(texts);
  ReleaseJournalTexts(earlier);
  win::SetLastError(failure);
  return written;
}

void PutBackParkedPrinters(InstallState& state) {
  JournalTexts journal = ReadJournalValue(ParkedPrintersValue);
  if (journal.failure) {
    win::SetLastError(journal.failure);
    LogError(state, ErrReadPrinterJournal, u"Can`t read the journal of printers to bring back");
  }
  if (!journal.texts) return;
  WideString left{};
  const char16_t* end = journal.texts + journal.units;
  for (const char16_t* cursor = journal.texts; cursor < end;) {
    const char16_t* name = NextJournalText(cursor);
    const char16_t* port = cursor < end ? NextJournalText(cursor) : u"";
    win::PRINTER_INFO_2W* printer = FindPrinter(state.Printers, name);
    if (printer && PutBack(state, *printer, port)) continue;
    AppendJournalText(left, name);
    AppendJournalText(left, port);
  }
  WriteJournalValue(ParkedPrintersValue, left);
  Release(left);
  ReleaseJournalTexts(journal);
}

bool ForEachParkedPrinter(void (*each)(void* context, const char16_t* name), void* context) {
  JournalTexts journal = ReadJournalValue(ParkedPrintersValue);
  const win::DWORD failure = journal.failure;
  const char16_t* end = journal.texts + journal.units;
  for (const char16_t* cursor = journal.texts; cursor && cursor < end;) {
    each(context, NextJournalText(cursor));
    if (cursor < end) NextJournalText(cursor);
  }
  ReleaseJournalTexts(journal);
  win::SetLastError(failure);
  return failure == win::ERROR_SUCCESS;
}

void RemoveParkedPrinterJournal() { WriteJournalValue(ParkedPrintersValue, WideString{}); }
