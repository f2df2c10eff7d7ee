#include "driver/printer_driver.h"

#include <initializer_list>

#include "run/log.h"
#include "spooler/file_deployment.h"
#include "spooler/spooler_records.h"
#include "spooler/spooler_service.h"
#include "util/text_compare.h"

namespace {

constexpr char16_t VendorName[] = u"Brennock";
constexpr char16_t VendorUrl[] = u"https://www.brennock.com/corvane";
// The driver's version; the spooler keeps its files in a folder of that name.
constexpr win::DWORD DriverVersion = 3;
constexpr char16_t DriverVersionFolder[] = u"3\\";

std::size_t RecordSize(win::DWORD level) {
  switch (level) {
    case 1: return sizeof(win::DRIVER_INFO_1W);
    case 2: return sizeof(win::DRIVER_INFO_2W);
    case 3: return sizeof(win::DRIVER_INFO_3W);
    case 4: return sizeof(win::DRIVER_INFO_4W);
    case 5: return sizeof(win::DRIVER_INFO_5W);
    case 6: return sizeof(win::DRIVER_INFO_6W);
    default: return 0;
  }
}

// The name of record `index`; level 1 starts with it, the others after cVersion.
const char16_t* RecordName(const DriverList& list, win::DWORD index) {
  const win::BYTE* record = list.entries + index * RecordSize(list.level);
  if (list.level == 1) return reinterpret_cast<const win::DRIVER_INFO_1W*>(record)->pName;
  return reinterpret_cast<const win::DRIVER_INFO_2W*>(record)->pName;
}

// Deletes a staged copy; what cannot go now is retried later.
void DeleteStaged(InstallState& state, const char16_t* path) {
  if (!*path) return;
  if (!win::DeleteFileW(path)) AddUnique(state.Undeletable, path);
}

bool DeleteDriver(InstallState& state) {
  return win::DeletePrinterDriverExW(nullptr, const_cast<char16_t*>(state.Environment),
                                     const_cast<char16_t*>(ProductDriverName), win::DPD_DELETE_ALL_FILES, 0);
}

void LogDriverList(InstallState& state, const DriverList& list) {
  if (!list.entries || list.count == 0) {
    LogLine(state, u"BTW, there is no printer drivers on this system.");
    return;
  }
  LogFormat(state, u"------------ %d existing drivers-----------", static_cast<int>(list.count));
  const auto* records = reinterpret_cast<const win::DRIVER_INFO_6W*>(list.entries);
  for (win::DWORD i = 0; i < list.count; ++i)
    LogFormat(state, u"%d. %s", static_cast<int>(i + 1),
              records[i].pName ? records[i].pName : u"***EMPTY***");
  LogLine(state, u"-------------------------------------------");
}

// The first of the user's connections that uses the product's driver, when
// the spooler refused to delete it for being in use; else null.
const char16_t* ConnectionUsingDriver(const InstallState& state) {
  if (win::GetLastError() != win::ERROR_PRINTER_DRIVER_IN_USE) return nullptr;
  for (win::DWORD i = 0; i < state.Printers.count; ++i) {
    const win::PRINTER_INFO_2W& printer = state.Printers.entries[i];
    if (IsConnection(printer) && IsProductPrinter(printer)) return printer.pPrinterName;
  }
  return nullptr;
}

}  // namespace

DriverList ListPrinterDrivers(const char16_t* environment) {
  const FetchedRecords fetched = FetchRecords(
      [environment](win::BYTE* buffer, win::DWORD size, win::DWORD* needed, win::DWORD* returned) {
        return win::EnumPrinterDriversW(nullptr, const_cast<char16_t*>(environment), 6, buffer, size,
                                        needed, returned);
      },
      DriverInfo6Layout);
  return DriverList{fetched.block, 6, fetched.count};
}

std::int32_t FindPrinterDriver(const DriverList& list) {
  if (!list.entries || RecordSize(list.level) == 0) return -1;
  for (win::DWORD i = 0; i < list.count; ++i)
    if (SameText(RecordName(list, i), ProductDriverName)) return static_cast<std::int32_t>(i);
  return -1;
}

win::DRIVER_INFO_2W* GetPrinterDriverInfo(win::HANDLE printer) {
  bool sized = false;
  const FetchedRecords fetched = FetchRecords(
      [printer, &sized](win::BYTE* buffer, win::DWORD size, win::DWORD* needed, win::DWORD*) {
        // The size is asked for the 64-bit environment; the record itself is
        // fetched for the caller's own, which on this system is the same.
        char16_t* environment = sized ? nullptr : const_cast<char16_t*>(u"Windows x64");
        sized = true;
        return win::GetPrinterDriverW(printer, environment, 2, buffer, size, needed);
      },
      DriverInfo2Layout, true);
  return reinterpret_cast<win::DRIVER_INFO_2W*>(fetched.block);
}

void InstallPrinterDriver(InstallState& state) {
  const char16_t* platform = state.Is64Bit ? u"x64" : u"Win32";
  LogFormat(state, u"#Add Printer Driver %s", platform);
  ++state.Indent;
  char16_t driverPath[TargetPathCapacity] = {};
  char16_t uiPath[TargetPathCapacity] = {};
  char16_t helpPath[TargetPathCapacity] = {};
  const char16_t* dir = Text(state.DriverDir);
  if (CopyPackageFile(state, dir, state.DriverFile, driverPath, true) != 0 ||
      CopyPackageFile(state, dir, state.UiFile, uiPath, true) != 0) {
    --state.Indent;
    return;
  }
  if (CopyPackageFile(state, dir, state.HelpFile, helpPath, true) != 0) helpPath[0] = 0;

  win::DRIVER_INFO_6W driver{};
  driver.cVersion = DriverVersion;
  driver.pName = const_cast<char16_t*>(ProductDriverName);
  driver.pEnvironment = const_cast<char16_t*>(state.Environment);
  driver.pDriverPath = driverPath;
  driver.pDataFile = driverPath;
  driver.pConfigFile = uiPath;
  driver.pHelpFile = helpPath;
  driver.pszMfgName = const_cast<char16_t*>(VendorName);
  driver.pszOEMUrl = const_cast<char16_t*>(VendorUrl);
  driver.pszProvider = const_cast<char16_t*>(VendorName);
  if (win::AddPrinterDriverExW(nullptr, 6, reinterpret_cast<win::BYTE*>(&driver), win::APD_COPY_ALL_FILES))
    LogFormat(state, u"Printer Driver %s was added successfully", platform);
  else
    LogError(state, ErrInstallDriver, u"Can`t install a %s printer driver 'Corvane printer'", platform);

  DeleteStaged(state, driverPath);
  DeleteStaged(state, uiPath);
  DeleteStaged(state, helpPath);
  --state.Indent;
}

void AddInstalledDriverFiles(const InstallState& state, PathNode*& list) {
  if (!Length(state.DriverDir)) return;
  for (const char16_t* file : {state.DriverFile, state.UiFile, state.HelpFile}) {
    WideString path = Copy(state.DriverDir);
    Append(path, DriverVersionFolder);
    Append(path, file);
    AddUnique(list, Text(path));
    Release(path);
  }
}

void RemovePrinterDriver(InstallState& state, const DriverList& list) {
  LogFormat(state, u"#DeletePrinterDriver for %s", state.Environment);
  ++state.Indent;
  LogDriverList(state, list);
  const std::int32_t index = FindPrinterDriver(list);
  if (index < 0) {
    LogFormat(state, u"No Corvane driver (%s)was found", state.Environment);
    --state.Indent;
    return;
  }
  LogFormat(state, u"Driver is found. Index=%d", index + 1);
  bool deleted = DeleteDriver(state);
  const char16_t* connection = deleted ? nullptr : ConnectionUsingDriver(state);
  // No restart frees the driver of another computer's printer.
  if (connection) {
    LogFormat(state, u"The driver stays: the connection to '%s' uses it", connection);
    --state.Indent;
    return;
  }
  if (!deleted) {
    LogLine(state, u"Can't delete driver. Trying to restart spooler");
    SpoolerRestart restart;
    BeginSpoolerRestart(restart, &state);
    EndSpoolerRestart(restart);
    deleted = DeleteDriver(state);
  }
  if (deleted)
    LogLine(state, u"OK :)");
  else
    LogError(state, ErrRemoveDriver, u"Can`t remove the printer-driver 'Corvane printer'");
  --state.Indent;
}
