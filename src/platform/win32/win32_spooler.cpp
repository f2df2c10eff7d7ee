// Print spooler: driver directory, port monitors, printer drivers, printers,
// printer data and the default printer.
#include "platform/platform.h"

#include <cstddef>

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::DWORD kPrinterEnumLocal = win::PRINTER_ENUM_LOCAL;
constexpr win::DWORD kPrinterEnumConnections = win::PRINTER_ENUM_CONNECTIONS;
constexpr win::DWORD kPrinterAccessAdminister = win::PRINTER_ACCESS_ADMINISTER;
constexpr win::DWORD kPrinterAccessUse = win::PRINTER_ACCESS_USE;
constexpr win::DWORD kPrinterStatusPendingDeletion = win::PRINTER_STATUS_PENDING_DELETION;
constexpr win::DWORD kApdCopyAllFiles = win::APD_COPY_ALL_FILES;
constexpr win::DWORD kDpdDeleteAllFiles = win::DPD_DELETE_ALL_FILES;
constexpr win::DWORD kPrinterAllAccess = win::PRINTER_ALL_ACCESS;
constexpr win::DWORD kPrinterAttributeDefault = win::PRINTER_ATTRIBUTE_DEFAULT;
constexpr win::DWORD kPrinterControlPurge = win::PRINTER_CONTROL_PURGE;
constexpr win::DWORD kErrorInvalidEnvironment = win::ERROR_INVALID_ENVIRONMENT;
constexpr win::DWORD kErrorInvalidLevel = win::ERROR_INVALID_LEVEL;
constexpr win::DWORD kErrorModNotFound = win::ERROR_MOD_NOT_FOUND;
constexpr win::DWORD kRpcServerUnavailable = win::RPC_S_SERVER_UNAVAILABLE;
constexpr win::DWORD kErrorInsufficientBuffer = win::ERROR_INSUFFICIENT_BUFFER;
constexpr win::DWORD kErrorUnknownPort = win::ERROR_UNKNOWN_PORT;
constexpr win::DWORD kErrorUnknownPrinterDriver = win::ERROR_UNKNOWN_PRINTER_DRIVER;
constexpr win::DWORD kErrorInvalidPrinterName = win::ERROR_INVALID_PRINTER_NAME;
constexpr win::DWORD kErrorUnknownPrintProcessor = win::ERROR_UNKNOWN_PRINTPROCESSOR;
constexpr win::DWORD kErrorPrinterAlreadyExists = win::ERROR_PRINTER_ALREADY_EXISTS;
constexpr win::DWORD kErrorInvalidPrinterCommand = win::ERROR_INVALID_PRINTER_COMMAND;
constexpr win::DWORD kErrorUnknownPrintMonitor = win::ERROR_UNKNOWN_PRINT_MONITOR;
constexpr win::DWORD kErrorPrinterDriverInUse = win::ERROR_PRINTER_DRIVER_IN_USE;
constexpr win::DWORD kErrorPrintMonitorAlreadyInstalled = win::ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
constexpr win::DWORD kErrorPrintMonitorInUse = win::ERROR_PRINT_MONITOR_IN_USE;
}  // namespace

#include <windows.h>
#include <winspool.h>

#include "platform/win32/system_library.h"

static_assert(kPrinterEnumLocal == PRINTER_ENUM_LOCAL);
static_assert(kPrinterEnumConnections == PRINTER_ENUM_CONNECTIONS);
static_assert(kPrinterAccessAdminister == PRINTER_ACCESS_ADMINISTER);
static_assert(kPrinterAccessUse == PRINTER_ACCESS_USE);
static_assert(kPrinterStatusPendingDeletion == PRINTER_STATUS_PENDING_DELETION);
static_assert(kApdCopyAllFiles == APD_COPY_ALL_FILES);
static_assert(kDpdDeleteAllFiles == DPD_DELETE_ALL_FILES);
static_assert(kPrinterAllAccess == PRINTER_ALL_ACCESS);
static_assert(kPrinterAttributeDefault == PRINTER_ATTRIBUTE_DEFAULT);
static_assert(kPrinterControlPurge == PRINTER_CONTROL_PURGE);
static_assert(kErrorInvalidEnvironment == ERROR_INVALID_ENVIRONMENT);
static_assert(kErrorInvalidLevel == ERROR_INVALID_LEVEL);
static_assert(kErrorModNotFound == ERROR_MOD_NOT_FOUND);
static_assert(kRpcServerUnavailable == RPC_S_SERVER_UNAVAILABLE);
static_assert(kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(kErrorUnknownPort == ERROR_UNKNOWN_PORT);
static_assert(kErrorUnknownPrinterDriver == ERROR_UNKNOWN_PRINTER_DRIVER);
static_assert(kErrorInvalidPrinterName == ERROR_INVALID_PRINTER_NAME);
static_assert(kErrorUnknownPrintProcessor == ERROR_UNKNOWN_PRINTPROCESSOR);
static_assert(kErrorPrinterAlreadyExists == ERROR_PRINTER_ALREADY_EXISTS);
static_assert(kErrorInvalidPrinterCommand == ERROR_INVALID_PRINTER_COMMAND);
static_assert(kErrorUnknownPrintMonitor == ERROR_UNKNOWN_PRINT_MONITOR);
static_assert(kErrorPrinterDriverInUse == ERROR_PRINTER_DRIVER_IN_USE);
static_assert(kErrorPrintMonitorAlreadyInstalled == ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
static_assert(kErrorPrintMonitorInUse == ERROR_PRINT_MONITOR_IN_USE);

// The spooler fills and reads the program's records in place, so every
// record must have the SDK's size and member offsets.
#define CORVANE_SAME_SIZE(record) static_assert(sizeof(win::record) == sizeof(::record))
#define CORVANE_SAME_FIELD(record, field) \
  static_assert(offsetof(win::record, field) == offsetof(::record, field))

CORVANE_SAME_SIZE(FILETIME);
CORVANE_SAME_FIELD(FILETIME, dwLowDateTime);
CORVANE_SAME_FIELD(FILETIME, dwHighDateTime);

CORVANE_SAME_SIZE(MONITOR_INFO_1W);
CORVANE_SAME_FIELD(MONITOR_INFO_1W, pName);

CORVANE_SAME_SIZE(MONITOR_INFO_2W);
CORVANE_SAME_FIELD(MONITOR_INFO_2W, pName);
CORVANE_SAME_FIELD(MONITOR_INFO_2W, pEnvironment);
CORVANE_SAME_FIELD(MONITOR_INFO_2W, pDLLName);
CORVANE_SAME_SIZE(PORT_INFO_2W);
CORVANE_SAME_FIELD(PORT_INFO_2W, pMonitorName);
CORVANE_SAME_FIELD(PORT_INFO_2W, fPortType);

CORVANE_SAME_SIZE(DRIVER_INFO_1W);
CORVANE_SAME_FIELD(DRIVER_INFO_1W, pName);

CORVANE_SAME_SIZE(DRIVER_INFO_2W);
CORVANE_SAME_FIELD(DRIVER_INFO_2W, cVersion);
CORVANE_SAME_FIELD(DRIVER_INFO_2W, pName);
CORVANE_SAME_FIELD(DRIVER_INFO_2W, pEnvironment);
CORVANE_SAME_FIELD(DRIVER_INFO_2W, pDriverPath);
CORVANE_SAME_FIELD(DRIVER_INFO_2W, pDataFile);
CORVANE_SAME_FIELD(DRIVER_INFO_2W, pConfigFile);

CORVANE_SAME_SIZE(DRIVER_INFO_3W);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, cVersion);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, pName);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, pEnvironment);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, pDriverPath);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, pDataFile);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, pConfigFile);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, pHelpFile);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, pDependentFiles);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, pMonitorName);
CORVANE_SAME_FIELD(DRIVER_INFO_3W, pDefaultDataType);

CORVANE_SAME_SIZE(DRIVER_INFO_4W);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, cVersion);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pName);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pEnvironment);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pDriverPath);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pDataFile);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pConfigFile);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pHelpFile);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pDependentFiles);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pMonitorName);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pDefaultDataType);
CORVANE_SAME_FIELD(DRIVER_INFO_4W, pszzPreviousNames);

CORVANE_SAME_SIZE(DRIVER_INFO_5W);
CORVANE_SAME_FIELD(DRIVER_INFO_5W, cVersion);
CORVANE_SAME_FIELD(DRIVER_INFO_5W, pName);
CORVANE_SAME_FIELD(DRIVER_INFO_5W, pEnvironment);
CORVANE_SAME_FIELD(DRIVER_INFO_5W, pDriverPath);
CORVANE_SAME_FIELD(DRIVER_INFO_5W, pDataFile);
CORVANE_SAME_FIELD(DRIVER_INFO_5W, pConfigFile);
CORVANE_SAME_FIELD(DRIVER_INFO_5W, dwDriverAttributes);
CORVANE_SAME_FIELD(DRIVER_INFO_5W, dwConfigVersion);
CORVANE_SAME_FIELD(DRIVER_INFO_5W, dwDriverVersion);

CORVANE_SAME_SIZE(DRIVER_INFO_6W);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, cVersion);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pName);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pEnvironment);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pDriverPath);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pDataFile);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pConfigFile);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pHelpFile);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pDependentFiles);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pMonitorName);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pDefaultDataType);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pszzPreviousNames);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, ftDriverDate);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, dwlDriverVersion);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pszMfgName);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pszOEMUrl);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pszHardwareID);
CORVANE_SAME_FIELD(DRIVER_INFO_6W, pszProvider);

CORVANE_SAME_SIZE(PRINTER_INFO_2W);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pServerName);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pPrinterName);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pShareName);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pPortName);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pDriverName);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pComment);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pLocation);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pDevMode);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pSepFile);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pPrintProcessor);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pDatatype);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pParameters);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, pSecurityDescriptor);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, Attributes);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, Priority);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, DefaultPriority);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, StartTime);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, UntilTime);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, Status);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, cJobs);
CORVANE_SAME_FIELD(PRINTER_INFO_2W, AveragePPM);

CORVANE_SAME_SIZE(PRINTER_DEFAULTSW);
CORVANE_SAME_FIELD(PRINTER_DEFAULTSW, pDatatype);
CORVANE_SAME_FIELD(PRINTER_DEFAULTSW, pDevMode);
CORVANE_SAME_FIELD(PRINTER_DEFAULTSW, DesiredAccess);

#undef CORVANE_SAME_FIELD
#undef CORVANE_SAME_SIZE

// Sizes and counts are written through the caller's DWORDs.
static_assert(sizeof(win::DWORD) == sizeof(::DWORD));

namespace {

wchar_t* ToSdk(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

const wchar_t* ToSdk(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

::DWORD* ToSdk(win::DWORD* value) { return reinterpret_cast<::DWORD*>(value); }

win32::SystemLibrary Winspool{L"winspool.drv"};

template <typename Function>
using SpoolerFunction = win32::SystemFunction<Function>;

// The spooler's functions, each looked up on its first call.
struct {
  SpoolerFunction<decltype(::GetPrinterDriverDirectoryW)> GetPrinterDriverDirectoryW{
      Winspool, "GetPrinterDriverDirectoryW"};
  SpoolerFunction<decltype(::EnumMonitorsW)> EnumMonitorsW{Winspool, "EnumMonitorsW"};
  SpoolerFunction<decltype(::AddMonitorW)> AddMonitorW{Winspool, "AddMonitorW"};
  SpoolerFunction<decltype(::EnumPortsW)> EnumPortsW{Winspool, "EnumPortsW"};
  SpoolerFunction<decltype(::DeleteMonitorW)> DeleteMonitorW{Winspool, "DeleteMonitorW"};
  SpoolerFunction<decltype(::EnumPrinterDriversW)> EnumPrinterDriversW{Winspool,
                                                                        "EnumPrinterDriversW"};
  SpoolerFunction<decltype(::AddPrinterDriverExW)> AddPrinterDriverExW{Winspool,
                                                                        "AddPrinterDriverExW"};
  SpoolerFunction<decltype(::DeletePrinterDriverExW)> DeletePrinterDriverExW{
      Winspool, "DeletePrinterDriverExW"};
  SpoolerFunction<decltype(::GetPrinterDriverW)> GetPrinterDriverW{Winspool, "GetPrinterDriverW"};
  SpoolerFunction<decltype(::OpenPrinterW)> OpenPrinterW{Winspool, "OpenPrinterW"};
  SpoolerFunction<decltype(::SetPrinterW)> SetPrinterW{Winspool, "SetPrinterW"};
  SpoolerFunction<decltype(::ClosePrinter)> ClosePrinter{Winspool, "ClosePrinter"};
  SpoolerFunction<decltype(::EnumPrintersW)> EnumPrintersW{Winspool, "EnumPrintersW"};
  SpoolerFunction<decltype(::AddPrinterW)> AddPrinterW{Winspool, "AddPrinterW"};
  SpoolerFunction<decltype(::DeletePrinter)> DeletePrinter{Winspool, "DeletePrinter"};
  SpoolerFunction<decltype(::GetPrinterW)> GetPrinterW{Winspool, "GetPrinterW"};
  SpoolerFunction<decltype(::GetPrinterDataA)> GetPrinterDataA{Winspool, "GetPrinterDataA"};
  SpoolerFunction<decltype(::GetPrinterDataExA)> GetPrinterDataExA{Winspool, "GetPrinterDataExA"};
  SpoolerFunction<decltype(::SetPrinterDataA)> SetPrinterDataA{Winspool, "SetPrinterDataA"};
  SpoolerFunction<decltype(::SetPrinterDataExA)> SetPrinterDataExA{Winspool, "SetPrinterDataExA"};
  // The default printer's query and setter, by their ordinals.
  SpoolerFunction<decltype(::GetDefaultPrinterW)> GetDefaultPrinterW{Winspool,
                                                                      MAKEINTRESOURCEA(203)};
  SpoolerFunction<decltype(::SetDefaultPrinterW)> SetDefaultPrinterW{Winspool,
                                                                      MAKEINTRESOURCEA(204)};
} Spooler;

}  // namespace

// Each entry fails as the call would, with the lookup's error, when the
// function cannot be had; the printer data calls give that error as their
// status.
namespace win {

BOOL GetPrinterDriverDirectoryW(char16_t* name, char16_t* environment, DWORD level,
                                BYTE* driverDirectory, DWORD bufSize, DWORD* needed) {
  auto* call = Spooler.GetPrinterDriverDirectoryW.Get();
  return call ? call(ToSdk(name), ToSdk(environment), level, driverDirectory, bufSize,
                     ToSdk(needed))
              : FALSE;
}

BOOL EnumMonitorsW(char16_t* name, DWORD level, BYTE* monitors, DWORD bufSize, DWORD* needed,
                   DWORD* returned) {
  auto* call = Spooler.EnumMonitorsW.Get();
  return call ? call(ToSdk(name), level, monitors, bufSize, ToSdk(needed), ToSdk(returned))
              : FALSE;
}

BOOL EnumPortsW(char16_t* name, DWORD level, BYTE* ports, DWORD bufSize, DWORD* needed,
                DWORD* returned) {
  auto* call = Spooler.EnumPortsW.Get();
  return call ? call(ToSdk(name), level, ports, bufSize, ToSdk(needed), ToSdk(returned)) : FALSE;
}

BOOL AddMonitorW(char16_t* name, DWORD level, BYTE* monitors) {
  auto* call = Spooler.AddMonitorW.Get();
  return call ? call(ToSdk(name), level, monitors) : FALSE;
}

BOOL DeleteMonitorW(char16_t* name, char16_t* environment, char16_t* monitorName) {
  auto* call = Spooler.DeleteMonitorW.Get();
  return call ? call(ToSdk(name), ToSdk(environment), ToSdk(monitorName)) : FALSE;
}

BOOL EnumPrinterDriversW(char16_t* name, char16_t* environment, DWORD level, BYTE* driverInfo,
                         DWORD bufSize, DWORD* needed, DWORD* returned) {
  auto* call = Spooler.EnumPrinterDriversW.Get();
  return call ? call(ToSdk(name), ToSdk(environment), level, driverInfo, bufSize, ToSdk(needed),
                     ToSdk(returned))
              : FALSE;
}

BOOL AddPrinterDriverExW(char16_t* name, DWORD level, BYTE* driverInfo, DWORD fileCopyFlags) {
  auto* call = Spooler.AddPrinterDriverExW.Get();
  return call ? call(ToSdk(name), level, driverInfo, fileCopyFlags) : FALSE;
}

BOOL DeletePrinterDriverExW(char16_t* name, char16_t* environment, char16_t* driverName,
                            DWORD deleteFlag, DWORD versionFlag) {
  auto* call = Spooler.DeletePrinterDriverExW.Get();
  return call ? call(ToSdk(name), ToSdk(environment), ToSdk(driverName), deleteFlag, versionFlag)
              : FALSE;
}

BOOL GetPrinterDriverW(HANDLE printer, char16_t* environment, DWORD level, BYTE* driverInfo,
                       DWORD bufSize, DWORD* needed) {
  auto* call = Spooler.GetPrinterDriverW.Get();
  return call ? call(printer, ToSdk(environment), level, driverInfo, bufSize, ToSdk(needed))
              : FALSE;
}

BOOL OpenPrinterW(char16_t* printerName, HANDLE* printer, PRINTER_DEFAULTSW* defaults) {
  auto* call = Spooler.OpenPrinterW.Get();
  return call ? call(ToSdk(printerName), printer, reinterpret_cast<::PRINTER_DEFAULTSW*>(defaults))
              : FALSE;
}

BOOL SetPrinterW(HANDLE printer, DWORD level, BYTE* printerInfo, DWORD command) {
  auto* call = Spooler.SetPrinterW.Get();
  return call ? call(printer, level, printerInfo, command) : FALSE;
}

BOOL ClosePrinter(HANDLE printer) {
  auto* call = Spooler.ClosePrinter.Get();
  return call ? call(printer) : FALSE;
}

BOOL EnumPrintersW(DWORD flags, char16_t* name, DWORD level, BYTE* printerEnum, DWORD bufSize,
                   DWORD* needed, DWORD* returned) {
  auto* call = Spooler.EnumPrintersW.Get();
  return call ? call(flags, ToSdk(name), level, printerEnum, bufSize, ToSdk(needed),
                     ToSdk(returned))
              : FALSE;
}

HANDLE AddPrinterW(char16_t* name, DWORD level, BYTE* printer) {
  auto* call = Spooler.AddPrinterW.Get();
  return call ? call(ToSdk(name), level, printer) : nullptr;
}

BOOL DeletePrinter(HANDLE printer) {
  auto* call = Spooler.DeletePrinter.Get();
  return call ? call(printer) : FALSE;
}

BOOL GetPrinterW(HANDLE printer, DWORD level, BYTE* printerInfo, DWORD bufSize, DWORD* needed) {
  auto* call = Spooler.GetPrinterW.Get();
  return call ? call(printer, level, printerInfo, bufSize, ToSdk(needed)) : FALSE;
}

DWORD GetPrinterDataA(HANDLE printer, char* valueName, DWORD* type, BYTE* data, DWORD size,
                      DWORD* needed) {
  auto* call = Spooler.GetPrinterDataA.Get();
  return call ? call(printer, valueName, ToSdk(type), data, size, ToSdk(needed)) : ::GetLastError();
}

DWORD GetPrinterDataExA(HANDLE printer, const char* keyName, const char* valueName, DWORD* type,
                        BYTE* data, DWORD size, DWORD* needed) {
  auto* call = Spooler.GetPrinterDataExA.Get();
  return call ? call(printer, keyName, valueName, ToSdk(type), data, size, ToSdk(needed))
              : ::GetLastError();
}

DWORD SetPrinterDataA(HANDLE printer, char* valueName, DWORD type, BYTE* data, DWORD size) {
  auto* call = Spooler.SetPrinterDataA.Get();
  return call ? call(printer, valueName, type, data, size) : ::GetLastError();
}

DWORD SetPrinterDataExA(HANDLE printer, const char* keyName, const char* valueName, DWORD type,
                        BYTE* data, DWORD size) {
  auto* call = Spooler.SetPrinterDataExA.Get();
  return call ? call(printer, keyName, valueName, type, data, size) : ::GetLastError();
}

BOOL GetDefaultPrinterW(char16_t* buffer, DWORD* size) {
  auto* call = Spooler.GetDefaultPrinterW.Get();
  return call ? call(ToSdk(buffer), ToSdk(size)) : FALSE;
}

BOOL SetDefaultPrinterW(const char16_t* printer) {
  auto* call = Spooler.SetDefaultPrinterW.Get();
  return call ? call(ToSdk(printer)) : FALSE;
}

}  // namespace win
