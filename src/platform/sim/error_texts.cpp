#include "platform/sim/error_texts.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace sim {

namespace {

struct ErrorText {
  std::uint32_t code;
  const char16_t* text;
};

// Sorted by code. The texts are those of current Windows versions, which
// read "memory resources" where older ones (and some reference pages) still
// say "storage" for codes 8 and 14.
constexpr ErrorText kTexts[] = {
    {0,  // ERROR_SUCCESS
     u"The operation completed successfully.\r\n"},
    {1,  // ERROR_INVALID_FUNCTION
     u"Incorrect function.\r\n"},
    {2,  // ERROR_FILE_NOT_FOUND
     u"The system cannot find the file specified.\r\n"},
    {3,  // ERROR_PATH_NOT_FOUND
     u"The system cannot find the path specified.\r\n"},
    {4,  // ERROR_TOO_MANY_OPEN_FILES
     u"The system cannot open the file.\r\n"},
    {5,  // ERROR_ACCESS_DENIED
     u"Access is denied.\r\n"},
    {6,  // ERROR_INVALID_HANDLE
     u"The handle is invalid.\r\n"},
    {8,  // ERROR_NOT_ENOUGH_MEMORY
     u"Not enough memory resources are available to process this command.\r\n"},
    {13,  // ERROR_INVALID_DATA
     u"The data is invalid.\r\n"},
    {14,  // ERROR_OUTOFMEMORY
     u"Not enough memory resources are available to complete this operation.\r\n"},
    {19,  // ERROR_WRITE_PROTECT
     u"The media is write protected.\r\n"},
    {21,  // ERROR_NOT_READY
     u"The device is not ready.\r\n"},
    {32,  // ERROR_SHARING_VIOLATION
     u"The process cannot access the file because it is being used by another process.\r\n"},
    {33,  // ERROR_LOCK_VIOLATION
     u"The process cannot access the file because another process has locked a portion of the "
     u"file.\r\n"},
    {38,  // ERROR_HANDLE_EOF
     u"Reached the end of the file.\r\n"},
    {39,  // ERROR_HANDLE_DISK_FULL
     u"The disk is full.\r\n"},
    {50,  // ERROR_NOT_SUPPORTED
     u"The request is not supported.\r\n"},
    {80,  // ERROR_FILE_EXISTS
     u"The file exists.\r\n"},
    {87,  // ERROR_INVALID_PARAMETER
     u"The parameter is incorrect.\r\n"},
    {109,  // ERROR_BROKEN_PIPE
     u"The pipe has been ended.\r\n"},
    {110,  // ERROR_OPEN_FAILED
     u"The system cannot open the device or file specified.\r\n"},
    {111,  // ERROR_BUFFER_OVERFLOW
     u"The file name is too long.\r\n"},
    {112,  // ERROR_DISK_FULL
     u"There is not enough space on the disk.\r\n"},
    {120,  // ERROR_CALL_NOT_IMPLEMENTED
     u"This function is not supported on this system.\r\n"},
    {122,  // ERROR_INSUFFICIENT_BUFFER
     u"The data area passed to a system call is too small.\r\n"},
    {123,  // ERROR_INVALID_NAME
     u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126,  // ERROR_MOD_NOT_FOUND
     u"The specified module could not be found.\r\n"},
    {127,  // ERROR_PROC_NOT_FOUND
     u"The specified procedure could not be found.\r\n"},
    {145,  // ERROR_DIR_NOT_EMPTY
     u"The directory is not empty.\r\n"},
    {183,  // ERROR_ALREADY_EXISTS
     u"Cannot create a file when that file already exists.\r\n"},
    {206,  // ERROR_FILENAME_EXCED_RANGE
     u"The filename or extension is too long.\r\n"},
    {234,  // ERROR_MORE_DATA
     u"More data is available.\r\n"},
    {258,  // WAIT_TIMEOUT
     u"The wait operation timed out.\r\n"},
    {259,  // ERROR_NO_MORE_ITEMS
     u"No more data is available.\r\n"},
    {267,  // ERROR_DIRECTORY
     u"The directory name is invalid.\r\n"},
    {1008,  // ERROR_NO_TOKEN
     u"An attempt was made to reference a token that does not exist.\r\n"},
    {1051,  // ERROR_DEPENDENT_SERVICES_RUNNING
     u"A stop control has been sent to a service that other running services are dependent "
     u"on.\r\n"},
    {1052,  // ERROR_INVALID_SERVICE_CONTROL
     u"The requested control is not valid for this service.\r\n"},
    {1053,  // ERROR_SERVICE_REQUEST_TIMEOUT
     u"The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1054,  // ERROR_SERVICE_NO_THREAD
     u"A thread could not be created for the service.\r\n"},
    {1055,  // ERROR_SERVICE_DATABASE_LOCKED
     u"The service database is locked.\r\n"},
    {1056,  // ERROR_SERVICE_ALREADY_RUNNING
     u"An instance of the service is already running.\r\n"},
    {1058,  // ERROR_SERVICE_DISABLED
     u"The service cannot be started, either because it is disabled or because it has no "
     u"enabled devices associated with it.\r\n"},
    {1060,  // ERROR_SERVICE_DOES_NOT_EXIST
     u"The specified service does not exist as an installed service.\r\n"},
    {1061,  // ERROR_SERVICE_CANNOT_ACCEPT_CTRL
     u"The service cannot accept control messages at this time.\r\n"},
    {1062,  // ERROR_SERVICE_NOT_ACTIVE
     u"The service has not been started.\r\n"},
    {1063,  // ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
     u"The service process could not connect to the service controller.\r\n"},
    {1064,  // ERROR_EXCEPTION_IN_SERVICE
     u"An exception occurred in the service when handling the control request.\r\n"},
    {1065,  // ERROR_DATABASE_DOES_NOT_EXIST
     u"The database specified does not exist.\r\n"},
    {1066,  // ERROR_SERVICE_SPECIFIC_ERROR
     u"The service has returned a service-specific error code.\r\n"},
    {1067,  // ERROR_PROCESS_ABORTED
     u"The process terminated unexpectedly.\r\n"},
    {1068,  // ERROR_SERVICE_DEPENDENCY_FAIL
     u"The dependency service or group failed to start.\r\n"},
    {1069,  // ERROR_SERVICE_LOGON_FAILED
     u"The service did not start due to a logon failure.\r\n"},
    {1070,  // ERROR_SERVICE_START_HANG
     u"After starting, the service hung in a start-pending state.\r\n"},
    {1072,  // ERROR_SERVICE_MARKED_FOR_DELETE
     u"The specified service has been marked for deletion.\r\n"},
    {1073,  // ERROR_SERVICE_EXISTS
     u"The specified service already exists.\r\n"},
    {1075,  // ERROR_SERVICE_DEPENDENCY_DELETED
     u"The dependency service does not exist or has been marked for deletion.\r\n"},
    {1115,  // ERROR_SHUTDOWN_IN_PROGRESS
     u"A system shutdown is in progress.\r\n"},
    {1168,  // ERROR_NOT_FOUND
     u"Element not found.\r\n"},
    {1223,  // ERROR_CANCELLED
     u"The operation was canceled by the user.\r\n"},
    {1400,  // ERROR_INVALID_WINDOW_HANDLE
     u"Invalid window handle.\r\n"},
    {1460,  // ERROR_TIMEOUT
     u"This operation returned because the timeout period expired.\r\n"},
    {1722,  // RPC_S_SERVER_UNAVAILABLE
     u"The RPC server is unavailable.\r\n"},
    {1726,  // RPC_S_CALL_FAILED
     u"The remote procedure call failed.\r\n"},
    {1795,  // ERROR_PRINTER_DRIVER_ALREADY_INSTALLED
     u"The specified printer driver is already installed.\r\n"},
    {1796,  // ERROR_UNKNOWN_PORT
     u"The specified port is unknown.\r\n"},
    {1797,  // ERROR_UNKNOWN_PRINTER_DRIVER
     u"The printer driver is unknown.\r\n"},
    {1798,  // ERROR_UNKNOWN_PRINTPROCESSOR
     u"The print processor is unknown.\r\n"},
    {1799,  // ERROR_INVALID_SEPARATOR_FILE
     u"The specified separator file is invalid.\r\n"},
    {1800,  // ERROR_INVALID_PRIORITY
     u"The specified priority is invalid.\r\n"},
    {1801,  // ERROR_INVALID_PRINTER_NAME
     u"The printer name is invalid.\r\n"},
    {1802,  // ERROR_PRINTER_ALREADY_EXISTS
     u"The printer already exists.\r\n"},
    {1803,  // ERROR_INVALID_PRINTER_COMMAND
     u"The printer command is invalid.\r\n"},
    {1804,  // ERROR_INVALID_DATATYPE
     u"The specified datatype is invalid.\r\n"},
    {1805,  // ERROR_INVALID_ENVIRONMENT
     u"The environment specified is invalid.\r\n"},
    {1812,  // ERROR_RESOURCE_DATA_NOT_FOUND
     u"The specified image file did not contain a resource section.\r\n"},
    {1813,  // ERROR_RESOURCE_TYPE_NOT_FOUND
     u"The specified resource type cannot be found in the image file.\r\n"},
    {1814,  // ERROR_RESOURCE_NAME_NOT_FOUND
     u"The specified resource name cannot be found in the image file.\r\n"},
    {1815,  // ERROR_RESOURCE_LANG_NOT_FOUND
     u"The specified resource language ID cannot be found in the image file.\r\n"},
    {1904,  // ERROR_ALREADY_WAITING
     u"The specified printer handle is already being waited on.\r\n"},
    {1905,  // ERROR_PRINTER_DELETED
     u"The specified printer has been deleted.\r\n"},
    {1906,  // ERROR_INVALID_PRINTER_STATE
     u"The state of the printer is invalid.\r\n"},
    {1907,  // ERROR_PASSWORD_MUST_CHANGE
     u"The user's password must be changed before signing in.\r\n"},
    {2202,  // ERROR_BAD_USERNAME
     u"The specified username is invalid.\r\n"},
    {3000,  // ERROR_UNKNOWN_PRINT_MONITOR
     u"The specified print monitor is unknown.\r\n"},
    {3001,  // ERROR_PRINTER_DRIVER_IN_USE
     u"The specified printer driver is currently in use.\r\n"},
    {3002,  // ERROR_SPOOL_FILE_NOT_FOUND
     u"The spool file was not found.\r\n"},
    {3003,  // ERROR_SPL_NO_STARTDOC
     u"A StartDocPrinter call was not issued.\r\n"},
    {3004,  // ERROR_SPL_NO_ADDJOB
     u"An AddJob call was not issued.\r\n"},
    {3005,  // ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED
     u"The specified print processor has already been installed.\r\n"},
    {3006,  // ERROR_PRINT_MONITOR_ALREADY_INSTALLED
     u"The specified print monitor has already been installed.\r\n"},
    {3007,  // ERROR_INVALID_PRINT_MONITOR
     u"The specified print monitor does not have the required functions.\r\n"},
    {3008,  // ERROR_PRINT_MONITOR_IN_USE
     u"The specified print monitor is currently in use.\r\n"},
    {3009,  // ERROR_PRINTER_HAS_JOBS_QUEUED
     u"The requested operation is not allowed when there are jobs queued to the printer.\r\n"},
    {3010,  // ERROR_SUCCESS_REBOOT_REQUIRED
     u"The requested operation is successful. Changes will not be effective until the system "
     u"is rebooted.\r\n"},
    {3011,  // ERROR_SUCCESS_RESTART_REQUIRED
     u"The requested operation is successful. Changes will not be effective until the service "
     u"is restarted.\r\n"},
    {3012,  // ERROR_PRINTER_NOT_FOUND
     u"No printers were found.\r\n"},
    {3013,  // ERROR_PRINTER_DRIVER_WARNED
     u"The printer driver is known to be unreliable.\r\n"},
    {3014,  // ERROR_PRINTER_DRIVER_BLOCKED
     u"The printer driver is known to harm the system.\r\n"},
    {3015,  // ERROR_PRINTER_DRIVER_PACKAGE_IN_USE
     u"The specified printer driver package is currently in use.\r\n"},
    {0x80004005,  // E_FAIL; the system text has no full stop
     u"Unspecified error\r\n"},
};

constexpr bool SortedByCode() {
  for (std::size_t i = 1; i < std::size(kTexts); ++i)
    if (kTexts[i - 1].code >= kTexts[i].code) return false;
  return true;
}
static_assert(SortedByCode(), "the lookup below needs the table sorted by code");

constexpr std::uint32_t kWin32HresultBase = 0x80070000u;  // FACILITY_WIN32, severity error

const char16_t* Find(std::uint32_t code) {
  const auto* end = std::end(kTexts);
  const auto* at = std::lower_bound(std::begin(kTexts), end, code,
                                    [](const ErrorText& e, std::uint32_t c) { return e.code < c; });
  return at != end && at->code == code ? at->text : nullptr;
}

}  // namespace

const char16_t* SystemErrorText(std::uint32_t code) {
  if (const char16_t* text = Find(code)) return text;
  // E_OUTOFMEMORY and its kind carry the text of the Win32 code inside them.
  const std::uint32_t win32 = code & 0xFFFFu;
  if ((code & 0xFFFF0000u) == kWin32HresultBase && win32 != 0) return Find(win32);
  return nullptr;
}

}  // namespace sim
