#include "commands/maintenance_commands.h"

#include "monitor/port_monitor_removal.h"
#include "driver/printer_driver.h"
#include "printers/printer_queues.h"
#include "printers/printer_settings.h"
#include "spooler/pending_file_operations.h"
#include "spooler/spooler_service.h"
#include "util/file_name.h"
#include "util/text_compare.h"

namespace {

constexpr int RetryPasses = 2;
constexpr std::int32_t OldestCurrentDriverBuild = 2605;
constexpr win::DWORD DefaultNameCapacity = 260;
constexpr const char16_t* PackageFiles64[] = {u"vexmon64.dll", u"vexdrv64.dll", u"vexui64.dll"};

bool IsPackageFile64(const char16_t* path) {
  const char16_t* name = FileNamePart(PendingPath(path));
  for (const char16_t* package : PackageFiles64)
    if (SameTextIgnoringAsciiCase(name, package)) return true;
  return false;
}

// One pass: pending deletions are tried now; true when a package file is
// still pending afterwards.
bool PackageFileStillPending() {
  PendingRenameTable table = ReadPendingRenames();
  DeletePendingDeletions(table);
  bool pending = false;
  for (std::int32_t k = 0; k < table.pairCount; ++k)
    if (table.flags[2 * k] && table.entries[2 * k] && IsPackageFile64(table.entries[2 * k])) pending = true;
  ReleasePendingRenames(table);
  return pending;
}

// The first product printer of a fresh list, or null.
win::PRINTER_INFO_2W* FirstProductPrinter(PrinterList& list) {
  for (win::DWORD i = 0; i < list.count; ++i)
    if (IsProductPrinter(list.entries[i])) return &list.entries[i];
  return nullptr;
}

}  // namespace

bool RetryPendingDriverFiles() {
  for (int pass = 0; pass < RetryPasses; ++pass) {
    if (!PackageFileStillPending()) return false;
    SpoolerRestart restart;
    BeginSpoolerRestart(restart, nullptr);
    EndSpoolerRestart(restart);
  }
  return true;
}

bool DefaultPrinterIsForeign() {
  char16_t name[DefaultNameCapacity] = {};
  win::DWORD size = DefaultNameCapacity;
  win::GetDefaultPrinterW(name, &size);
  if (!name[0]) return true;
  win::HANDLE printer = nullptr;
  if (!win::OpenPrinterW(name, &printer, nullptr)) return true;
  win::PRINTER_INFO_2W* record = GetPrinterInfo(printer);
  const bool foreign = !record || !IsProductPrinter(*record);
  ClosePrinterChecked(printer);
  win::GlobalFree(record);
  return foreign;
}

bool CheckDriverBuild() {
  PrinterList list{nullptr, 0};
  ListPrinters(list);
  bool current = false;
  win::HANDLE printer = nullptr;
  win::PRINTER_INFO_2W* first = FirstProductPrinter(list);
  if (first && win::OpenPrinterW(first->pPrinterName, &printer, nullptr)) {
    win::DRIVER_INFO_2W* driver = GetPrinterDriverInfo(printer);
    if (driver && driver->pDriverPath)
      current = GetFileBuildNumber(driver->pDriverPath) >= OldestCurrentDriverBuild;
    ClosePrinterChecked(printer);
    win::GlobalFree(driver);
  }
  ReleasePrinterList(list);
  return current;
}

void MakeProductPrinterDefault() {
  PrinterList list{nullptr, 0};
  ListPrinters(list);
  if (win::PRINTER_INFO_2W* first = FirstProductPrinter(list)) win::SetDefaultPrinterW(first->pPrinterName);
  ReleasePrinterList(list);
}
