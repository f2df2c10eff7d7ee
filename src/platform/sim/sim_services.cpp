// The Service Control Manager of the simulated machine. Stop and start take
// virtual time (or never finish) so that the program's bounded waits can be
// driven through every outcome.
#include <memory>

#include "platform/sim/machine.h"

namespace {

using namespace win;
using sim::HandleKind;
using sim::HandleObject;

HandleObject* Find(sim::Machine& m, SC_HANDLE handle, HandleKind kind) {
  HandleObject* object = m.FindHandle(reinterpret_cast<std::uintptr_t>(handle));
  return object && object->kind == kind ? object : nullptr;
}

void FillStatus(const sim::Service& service, SERVICE_STATUS* status) {
  if (!status) return;
  *status = {};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status->dwCurrentState = service.state;
  status->dwControlsAccepted = service.state == SERVICE_RUNNING ? 1u : 0u;
}

// Moves a service to `target` after `delayMs`, unless something else moved
// it from `pending` in the meantime.
void Transition(sim::Machine& m, const std::u16string& name, DWORD pending, DWORD target,
                DWORD delayMs) {
  if (delayMs == 0) {
    if (sim::Service* service = m.FindService(name)) m.SetServiceState(*service, target);
    return;
  }
  sim::TimedEvent event;
  event.kind = sim::TimedEvent::Kind::ServiceState;
  event.name = name;
  event.from = pending;
  event.to = target;
  m.Schedule(delayMs, std::move(event));
}

// The service behind a handle for a call that needs `right`; null with the
// last error set when the call fails before reaching the service.
sim::Service* EnterService(sim::Machine& m, const char* call, SC_HANDLE handle, DWORD right) {
  HandleObject* object = Find(m, handle, HandleKind::Service);
  if (m.Enter(call, object ? object->name : u"")) return nullptr;
  sim::Service* service = object ? m.FindService(object->name) : nullptr;
  if (!service) {
    m.lastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  if (!(object->access & right)) {
    m.lastError = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  return service;
}

}  // namespace

namespace sim {

void Machine::SetServiceState(Service& service, DWORD state) {
  service.state = state;
  if (state == SERVICE_STOPPED && ToUpperAscii(service.name) == u"SPOOLER")
    std::erase_if(holds, [](const ExternalHold& h) { return h.bySpooler; });
}

void Machine::BeginServiceStop(Service& service) {
  service.state = SERVICE_STOP_PENDING;
  if (!service.stopHangs) Transition(*this, service.name, SERVICE_STOP_PENDING, SERVICE_STOPPED, service.stopDelayMs);
}

void Machine::BeginServiceStart(Service& service) {
  service.state = SERVICE_START_PENDING;
  if (!service.startHangs)
    Transition(*this, service.name, SERVICE_START_PENDING, SERVICE_RUNNING, service.startDelayMs);
}

}  // namespace sim

namespace win {

SC_HANDLE OpenSCManagerW(const char16_t* machineName, const char16_t* databaseName,
                         DWORD desiredAccess) {
  auto& m = sim::Current();
  const bool fails = m.Enter("OpenSCManagerW");
  m.Note({{"machine", sim::Given(machineName)}, {"database", sim::Given(databaseName)},
          {"access", sim::Number(desiredAccess)}});
  if (fails) return nullptr;
  if (machineName && *machineName) {
    m.lastError = RPC_S_SERVER_UNAVAILABLE;
    return nullptr;
  }
  if (databaseName && std::u16string_view(databaseName) != u"ServicesActive") {
    m.lastError = ERROR_DATABASE_DOES_NOT_EXIST;
    return nullptr;
  }
  auto object = std::make_shared<HandleObject>();
  object->kind = HandleKind::ScManager;
  object->access = desiredAccess;
  return reinterpret_cast<SC_HANDLE>(m.AddHandle(std::move(object)));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, const char16_t* serviceName, DWORD desiredAccess) {
  auto& m = sim::Current();
  const bool fails = m.Enter("OpenServiceW", serviceName ? serviceName : u"");
  m.Note({{"service", sim::Given(serviceName)}, {"access", sim::Number(desiredAccess)}});
  if (fails) return nullptr;
  const HandleObject* managerObject = Find(m, manager, HandleKind::ScManager);
  if (!managerObject) {
    m.lastError = ERROR_INVALID_HANDLE;
    return nullptr;
  }
  // Opening a service goes through the manager's connect right.
  if (!(managerObject->access & SC_MANAGER_CONNECT)) {
    m.lastError = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  const sim::Service* service = serviceName ? m.FindService(serviceName) : nullptr;
  if (!service) {
    m.lastError = ERROR_SERVICE_DOES_NOT_EXIST;
    return nullptr;
  }
  auto object = std::make_shared<HandleObject>();
  object->kind = HandleKind::Service;
  object->name = service->name;
  object->access = desiredAccess;
  return reinterpret_cast<SC_HANDLE>(m.AddHandle(std::move(object)));
}

BOOL ControlService(SC_HANDLE handle, DWORD control, SERVICE_STATUS* status) {
  auto& m = sim::Current();
  sim::Service* service = EnterService(m, "ControlService", handle, SERVICE_STOP);
  m.Note({{"control", sim::Number(control)}});
  if (!service) return FALSE;
  if (control != SERVICE_CONTROL_STOP) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  if (service->state == SERVICE_STOPPED) {
    m.lastError = ERROR_SERVICE_NOT_ACTIVE;
    return FALSE;
  }
  if (service->state != SERVICE_RUNNING) {
    m.lastError = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    return FALSE;
  }
  m.BeginServiceStop(*service);
  FillStatus(*service, status);
  return TRUE;
}

BOOL StartServiceW(SC_HANDLE handle, DWORD, const char16_t**) {
  auto& m = sim::Current();
  sim::Service* service = EnterService(m, "StartServiceW", handle, SERVICE_START);
  if (!service) return FALSE;
  if (service->state != SERVICE_STOPPED) {
    m.lastError = ERROR_SERVICE_ALREADY_RUNNING;
    return FALSE;
  }
  if (service->startError) {
    m.lastError = service->startError;
    return FALSE;
  }
  m.BeginServiceStart(*service);
  return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE handle, SERVICE_STATUS* status) {
  const sim::Service* service =
      EnterService(sim::Current(), "QueryServiceStatus", handle, SERVICE_QUERY_STATUS);
  if (!service) return FALSE;
  FillStatus(*service, status);
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  auto& m = sim::Current();
  if (m.Enter("CloseServiceHandle")) return FALSE;
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  const HandleObject* object = m.FindHandle(value);
  if (!object || (object->kind != HandleKind::ScManager && object->kind != HandleKind::Service)) {
    m.lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  m.handles.erase(value);
  return TRUE;
}

}  // namespace win
