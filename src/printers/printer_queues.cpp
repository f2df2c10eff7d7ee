#include "printers/printer_queues.h"

#include "run/log.h"
#include "monitor/port_monitor_install.h"
#include "spooler/spooler_records.h"
#include "util/text_compare.h"

namespace {

// The block is a little larger than the spooler asks for.
constexpr win::DWORD PrinterListSlack = 32;
constexpr win::DWORD DeleteAccess = win::DELETE | win::PRINTER_ACCESS_ADMINISTER;

}  // namespace

void ListPrinters(PrinterList& list) {
  ReleasePrinterList(list);
  const FetchedRecords fetched = FetchRecords(
      [](win::BYTE* buffer, win::DWORD size, win::DWORD* needed, win::DWORD* returned) {
        return win::EnumPrintersW(win::PRINTER_ENUM_LOCAL | win::PRINTER_ENUM_CONNECTIONS, nullptr, 2,
                                  buffer, size, needed, returned);
      },
      PrinterInfo2Layout, false, PrinterListSlack);
  list.entries = reinterpret_cast<win::PRINTER_INFO_2W*>(fetched.block);
  list.count = fetched.count;
}

win::HANDLE AddLocalPrinter(win::PRINTER_INFO_2W& printer) {
  return win::AddPrinterW(nullptr, 2, reinterpret_cast<win::BYTE*>(&printer));
}

bool PurgeAndDeletePrinter(win::HANDLE printer) {
  win::SetPrinterW(printer, 0, nullptr, win::PRINTER_CONTROL_PURGE);
  return win::DeletePrinter(printer);
}

bool ClosePrinterChecked(win::HANDLE printer) { return win::ClosePrinter(printer); }

win::PRINTER_INFO_2W* GetPrinterInfo(win::HANDLE printer) {
  const FetchedRecords fetched =
      FetchRecords([printer](win::BYTE* buffer, win::DWORD size, win::DWORD* needed, win::DWORD*) {
        return win::GetPrinterW(printer, 2, buffer, size, needed);
      }, PrinterInfo2Layout, true);
  return reinterpret_cast<win::PRINTER_INFO_2W*>(fetched.block);
}

void DeletePrinterQueue(InstallState& state, const char16_t* name) {
  const char16_t* shown = name ? name : u"*";
  LogFormat(state, u"#DeletePrinter(%s)", shown);
  ++state.Indent;
  win::PRINTER_DEFAULTSW defaults{nullptr, nullptr, DeleteAccess};
  win::HANDLE printer = nullptr;
  if (!win::OpenPrinterW(const_cast<char16_t*>(name), &printer, &defaults)) {
    LogError(state, ErrOpenPrinter, u"Can`t open printer '%s'", shown);
    --state.Indent;
    return;
  }
  if (PurgeAndDeletePrinter(printer))
    LogLine(state, u"OK");
  else
    LogError(state, ErrDeletePrinter, u"Can`t delete printer '%s'", shown);
  ClosePrinterChecked(printer);
  --state.Indent;
}

win::HANDLE AddPrinterQueue(InstallState& state, const char16_t* name) {
  const char16_t* shown = name ? name : u"*";
  LogFormat(state, u"#AddPrinter(%s)", shown);
  ++state.Indent;
  LogLine(state, u"Let's check our port monitors");
  MonitorList monitors = ListPortMonitors(state);
  if (FindPortMonitor(monitors) >= 0) {
    LogFormat(state, u"Port monitor (%s) is found", state.Environment);
  } else {
    LogFormat(state, u"No Corvane port monitor (%s) was found.", state.Environment);
    if (monitors.entries && monitors.count)
      LogPortMonitors(state, monitors);
    else
      LogLine(state, u"BTW, there is no port monitors on this system.");
  }
  win::GlobalFree(monitors.entries);

  win::PRINTER_INFO_2W printer{};
  printer.pPrinterName = const_cast<char16_t*>(name);
  printer.pPortName = const_cast<char16_t*>(ProductPortName);
  printer.pDriverName = const_cast<char16_t*>(ProductDriverName);
  printer.pComment = const_cast<char16_t*>(u"");
  printer.pPrintProcessor = const_cast<char16_t*>(u"WinPrint");
  win::HANDLE handle = AddLocalPrinter(printer);
  if (handle)
    LogLine(state, u"OK :)");
  else
    LogError(state, ErrAddPrinter, u"Can`t add printer '%s'", shown);
  --state.Indent;
  return handle;
}
