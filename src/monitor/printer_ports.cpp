#include "monitor/printer_ports.h"

#include "run/log.h"

namespace {

// Index of the first occurrence of `part` in `text`, or -1.
long long Find(const char16_t* text, const char16_t* part) {
  const auto n = TextLength(text);
  const auto k = TextLength(part);
  for (std::uint64_t i = 0; k && i + k <= n; ++i) {
    std::uint64_t j = 0;
    while (j < k && text[i + j] == part[j]) ++j;
    if (j == k) return static_cast<long long>(i);
  }
  return -1;
}

}  // namespace

bool OnPort(const win::PRINTER_INFO_2W& printer, const char16_t* port) {
  return printer.pPortName && Find(printer.pPortName, port) >= 0;
}

bool SwitchPort(InstallState& state, win::PRINTER_INFO_2W& printer, const char16_t* from,
                const char16_t* to) {
  if (!OnPort(printer, from)) return false;
  const long long at = Find(printer.pPortName, from);
  WideString port;
  SetLength(port, static_cast<std::uint64_t>(at));
  for (long long i = 0; i < at; ++i) Chars(port)[i] = printer.pPortName[i];
  Append(port, to);
  Append(port, printer.pPortName + at + TextLength(from));
  printer.pPortName = const_cast<char16_t*>(AddText(state.SwitchedPorts, Text(port)));
  Release(port);
  return true;
}

bool WritePrinterPort(InstallState& state, win::PRINTER_INFO_2W& printer) {
  win::PRINTER_DEFAULTSW defaults{nullptr, nullptr, win::PRINTER_ALL_ACCESS};
  win::HANDLE handle = nullptr;
  if (!win::OpenPrinterW(printer.pPrinterName, &handle, &defaults)) {
    LogFormat(state, u"Can't open printer %s", printer.pPrinterName);
    return false;
  }
  const bool written = win::SetPrinterW(handle, 2, reinterpret_cast<win::BYTE*>(&printer), 0);
  LogFormat(state, written ? u"SetPrinter(%s) - ok" : u"SetPrinter(%s) - failed", printer.pPrinterName);
  win::ClosePrinter(handle);
  return written;
}
