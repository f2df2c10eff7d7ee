#include "spooler/spooler_service.h"

#include "run/log.h"

namespace {

constexpr win::DWORD ManagerAccess = win::STANDARD_RIGHTS_REQUIRED | win::SC_MANAGER_CONNECT;
constexpr win::DWORD CheckAccess = win::SERVICE_QUERY_STATUS | win::SERVICE_START;
constexpr win::DWORD RestartAccess = CheckAccess | win::SERVICE_STOP;
constexpr int StatePolls = 50;
constexpr win::DWORD PollIntervalMs = 200;
constexpr char16_t SpoolerName[] = u"spooler";

// Polls until the service reports `wanted`, at most StatePolls times.
bool WaitForState(win::SC_HANDLE service, win::SERVICE_STATUS& status, win::DWORD wanted) {
  for (int poll = 0; poll < StatePolls; ++poll) {
    if (status.dwCurrentState == wanted) return true;
    win::Sleep(PollIntervalMs);
    win::QueryServiceStatus(service, &status);
  }
  return status.dwCurrentState == wanted;
}

}  // namespace

long QuerySpoolerState() {
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_CONNECT);
  if (!manager) return -1;
  long state = -1;
  win::SC_HANDLE service = win::OpenServiceW(manager, SpoolerName, win::SERVICE_QUERY_STATUS);
  win::SERVICE_STATUS status{};
  if (service && win::QueryServiceStatus(service, &status))
    state = static_cast<long>(status.dwCurrentState);
  else if (!service && win::GetLastError() == win::ERROR_SERVICE_DOES_NOT_EXIST)
    state = 0;
  const win::DWORD failure = win::GetLastError();
  if (service) win::CloseServiceHandle(service);
  win::CloseServiceHandle(manager);
  win::SetLastError(failure);
  return state;
}

bool StartServiceAndWait(win::SC_HANDLE service) {
  win::StartServiceW(service, 0, nullptr);  // the polling below decides
  win::SERVICE_STATUS status{};
  win::QueryServiceStatus(service, &status);
  return WaitForState(service, status, win::SERVICE_RUNNING);
}

void BeginSpoolerRestart(SpoolerRestart& restart, InstallState* state) {
  if (state) LogLine(*state, u"#Restart Spooler");
  restart.state = state;
  restart.manager = nullptr;
  restart.service = nullptr;
  restart.stopped = 0;

  restart.manager = win::OpenSCManagerW(nullptr, nullptr, ManagerAccess);
  if (!restart.manager) {
    if (state) LogError(*state, ErrOpenServiceManager, u"Can't open service manager.");
    return;
  }
  restart.service = win::OpenServiceW(restart.manager, SpoolerName, RestartAccess);
  if (!restart.service) {
    if (state) LogError(*state, ErrOpenSpooler, u"Can't open the spooler");
    return;
  }
  win::SERVICE_STATUS status{};
  if (!win::ControlService(restart.service, win::SERVICE_CONTROL_STOP, &status)) {
    const win::DWORD code = win::GetLastError();
    if (code != win::ERROR_SERVICE_NOT_ACTIVE && state)
      LogError(*state, ErrControlService, u"ControlService failed with code %d (0x%x)",
               static_cast<int>(code), code);
  }
  restart.stopped = 1;
  status = {};
  win::QueryServiceStatus(restart.service, &status);
  if (!WaitForState(restart.service, status, win::SERVICE_STOPPED) && state)
    LogError(*state, ErrStopSpooler, u"Can't stop the spooler");
}

void EndSpoolerRestart(SpoolerRestart& restart) {
  if (restart.service) {
    if (restart.stopped && !StartServiceAndWait(restart.service) && restart.state)
      LogError(*restart.state, ErrStartSpooler, u"Can't start the spooler");
    win::CloseServiceHandle(restart.service);
    restart.service = nullptr;
  }
  if (restart.manager) {
    win::CloseServiceHandle(restart.manager);
    restart.manager = nullptr;
  }
}

bool CheckSpooler(InstallState& state) {
  LogLine(state, u"#Check Spooler");
  ++state.Indent;
  bool running = true;
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, ManagerAccess);
  if (!manager) {
    LogError(state, ErrOpenServiceManager, u"Can't open service manager.");
    --state.Indent;
    return false;
  }
  win::SC_HANDLE service = win::OpenServiceW(manager, SpoolerName, CheckAccess);
  if (!service) {
    LogError(state, ErrOpenSpooler, u"Can't open the spooler");
    running = false;
  } else {
    win::SERVICE_STATUS status{};
    if (win::QueryServiceStatus(service, &status) && status.dwCurrentState != win::SERVICE_RUNNING &&
        !StartServiceAndWait(service)) {
      LogError(state, ErrStartSpooler, u"Can't start the spooler");
      running = false;
    }
    win::CloseServiceHandle(service);
  }
  win::CloseServiceHandle(manager);
  --state.Indent;
  return running;
}
