// Service Control Manager: open, query, start and stop services.
#include "platform/platform.h"

#include <cstddef>

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::DWORD kStandardRightsRequired = win::STANDARD_RIGHTS_REQUIRED;
constexpr win::DWORD kScManagerConnect = win::SC_MANAGER_CONNECT;
constexpr win::DWORD kServiceQueryStatus = win::SERVICE_QUERY_STATUS;
constexpr win::DWORD kServiceStart = win::SERVICE_START;
constexpr win::DWORD kServiceStop = win::SERVICE_STOP;
constexpr win::DWORD kServiceControlStop = win::SERVICE_CONTROL_STOP;
constexpr win::DWORD kServiceStopped = win::SERVICE_STOPPED;
constexpr win::DWORD kServiceStartPending = win::SERVICE_START_PENDING;
constexpr win::DWORD kServiceStopPending = win::SERVICE_STOP_PENDING;
constexpr win::DWORD kServiceRunning = win::SERVICE_RUNNING;
constexpr win::DWORD kServiceWin32OwnProcess = win::SERVICE_WIN32_OWN_PROCESS;
constexpr win::DWORD kErrorServiceRequestTimeout = win::ERROR_SERVICE_REQUEST_TIMEOUT;
constexpr win::DWORD kErrorServiceAlreadyRunning = win::ERROR_SERVICE_ALREADY_RUNNING;
constexpr win::DWORD kErrorServiceDisabled = win::ERROR_SERVICE_DISABLED;
constexpr win::DWORD kErrorServiceDoesNotExist = win::ERROR_SERVICE_DOES_NOT_EXIST;
constexpr win::DWORD kErrorServiceCannotAcceptCtrl = win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
constexpr win::DWORD kErrorServiceNotActive = win::ERROR_SERVICE_NOT_ACTIVE;
constexpr win::DWORD kErrorDatabaseDoesNotExist = win::ERROR_DATABASE_DOES_NOT_EXIST;
}  // namespace

#include <windows.h>

static_assert(kStandardRightsRequired == STANDARD_RIGHTS_REQUIRED);
static_assert(kScManagerConnect == SC_MANAGER_CONNECT);
static_assert(kServiceQueryStatus == SERVICE_QUERY_STATUS);
static_assert(kServiceStart == SERVICE_START);
static_assert(kServiceStop == SERVICE_STOP);
static_assert(kServiceControlStop == SERVICE_CONTROL_STOP);
static_assert(kServiceStopped == SERVICE_STOPPED);
static_assert(kServiceStartPending == SERVICE_START_PENDING);
static_assert(kServiceStopPending == SERVICE_STOP_PENDING);
static_assert(kServiceRunning == SERVICE_RUNNING);
static_assert(kServiceWin32OwnProcess == SERVICE_WIN32_OWN_PROCESS);
static_assert(kErrorServiceRequestTimeout == ERROR_SERVICE_REQUEST_TIMEOUT);
static_assert(kErrorServiceAlreadyRunning == ERROR_SERVICE_ALREADY_RUNNING);
static_assert(kErrorServiceDisabled == ERROR_SERVICE_DISABLED);
static_assert(kErrorServiceDoesNotExist == ERROR_SERVICE_DOES_NOT_EXIST);
static_assert(kErrorServiceCannotAcceptCtrl == ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
static_assert(kErrorServiceNotActive == ERROR_SERVICE_NOT_ACTIVE);
static_assert(kErrorDatabaseDoesNotExist == ERROR_DATABASE_DOES_NOT_EXIST);

// The status block is handed to the SCM as is, so both layouts must agree.
static_assert(sizeof(win::SERVICE_STATUS) == sizeof(::SERVICE_STATUS));
static_assert(alignof(win::SERVICE_STATUS) == alignof(::SERVICE_STATUS));
static_assert(offsetof(win::SERVICE_STATUS, dwServiceType) ==
              offsetof(::SERVICE_STATUS, dwServiceType));
static_assert(offsetof(win::SERVICE_STATUS, dwCurrentState) ==
              offsetof(::SERVICE_STATUS, dwCurrentState));
static_assert(offsetof(win::SERVICE_STATUS, dwControlsAccepted) ==
              offsetof(::SERVICE_STATUS, dwControlsAccepted));
static_assert(offsetof(win::SERVICE_STATUS, dwWin32ExitCode) ==
              offsetof(::SERVICE_STATUS, dwWin32ExitCode));
static_assert(offsetof(win::SERVICE_STATUS, dwServiceSpecificExitCode) ==
              offsetof(::SERVICE_STATUS, dwServiceSpecificExitCode));
static_assert(offsetof(win::SERVICE_STATUS, dwCheckPoint) ==
              offsetof(::SERVICE_STATUS, dwCheckPoint));
static_assert(offsetof(win::SERVICE_STATUS, dwWaitHint) ==
              offsetof(::SERVICE_STATUS, dwWaitHint));

namespace {

::SC_HANDLE ToSdk(win::SC_HANDLE handle) { return reinterpret_cast<::SC_HANDLE>(handle); }

win::SC_HANDLE FromSdk(::SC_HANDLE handle) { return reinterpret_cast<win::SC_HANDLE>(handle); }

::SERVICE_STATUS* ToSdk(win::SERVICE_STATUS* status) {
  return reinterpret_cast<::SERVICE_STATUS*>(status);
}

}  // namespace

namespace win {

SC_HANDLE OpenSCManagerW(const char16_t* machineName, const char16_t* databaseName,
                         DWORD desiredAccess) {
  return FromSdk(::OpenSCManagerW(reinterpret_cast<const wchar_t*>(machineName),
                                  reinterpret_cast<const wchar_t*>(databaseName),
                                  desiredAccess));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, const char16_t* serviceName, DWORD desiredAccess) {
  return FromSdk(::OpenServiceW(ToSdk(manager), reinterpret_cast<const wchar_t*>(serviceName),
                                desiredAccess));
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  return ::ControlService(ToSdk(service), control, ToSdk(status));
}

BOOL StartServiceW(SC_HANDLE service, DWORD numArgs, const char16_t** args) {
  return ::StartServiceW(ToSdk(service), numArgs, reinterpret_cast<const wchar_t**>(args));
}

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
  return ::QueryServiceStatus(ToSdk(service), ToSdk(status));
}

BOOL CloseServiceHandle(SC_HANDLE object) { return ::CloseServiceHandle(ToSdk(object)); }

}  // namespace win
