// Processes of the simulated machine: the system version, named mutexes,
// process starts, and the tray companion behaving by its contract.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "platform/sim/ansi_codepage.h"
#include "platform/sim/machine.h"
#include "platform/sim/print_store.h"
#include "platform/sim/shell_split.h"

namespace {

using namespace win;
using sim::HandleKind;
using sim::HandleObject;

sim::NamedMutex& CompanionMutex(sim::Machine& m) {
  sim::NamedMutex& mutex = m.mutexes[sim::MutexKey(m.companion.session, sim::CompanionMutexName)];
  mutex.name = sim::CompanionMutexName;
  mutex.session = m.companion.session;
  return mutex;
}

// The mutex behind a handle of the program, or null.
sim::NamedMutex* MutexOf(sim::Machine& m, HANDLE handle) {
  const HandleObject* object = m.FindHandle(reinterpret_cast<std::uintptr_t>(handle));
  if (!object || object->kind != HandleKind::Mutex) return nullptr;
  auto it = m.mutexes.find(object->name);
  return it == m.mutexes.end() ? nullptr : &it->second;
}

// Takes the mutex when it is free; the wait's result, or WAIT_TIMEOUT while
// another party owns it.
DWORD TryTake(sim::NamedMutex& mutex) {
  using Owner = sim::NamedMutex::Owner;
  if (mutex.owner == Owner::Companion) return WAIT_TIMEOUT;
  const bool abandoned = mutex.abandoned;
  mutex.owner = Owner::Program;
  mutex.abandoned = false;
  return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

}  // namespace

namespace sim {

std::u16string MutexKey(DWORD session, std::u16string_view name) {
  const std::u16string upper = ToUpperAscii(name);
  if (session == UserSession) return upper;
  std::u16string key = u"SESSION ";
  for (char c : std::to_string(session)) key += static_cast<char16_t>(c);
  return key + u"\\" + upper;
}

void ForgetUnusedMutex(Machine& m, const std::u16string& key) {
  auto it = m.mutexes.find(key);
  if (it != m.mutexes.end() && it->second.programHandles <= 0 && !it->second.companionHandle)
    m.mutexes.erase(it);
}

// Its program file stays mapped a moment longer than the process.
void EndCompanion(Machine& m) {
  if (!m.companion.running) return;
  m.companion.running = false;
  if (Window* window = m.FindWindowByHandle(m.companion.window)) window->alive = false;
  m.companion.window = 0;
  const std::u16string key = MutexKey(m.companion.session, CompanionMutexName);
  if (auto it = m.mutexes.find(key); it != m.mutexes.end()) {
    NamedMutex& mutex = it->second;
    if (mutex.owner == NamedMutex::Owner::Companion) {
      mutex.owner = NamedMutex::Owner::None;
      mutex.abandoned = m.companionBehaviour.abandonsMutex;
    }
    mutex.companionHandle = false;
    ForgetUnusedMutex(m, key);
  }
  if (m.companionBehaviour.imageReleaseMs) {
    m.HoldFile(m.companion.image, m.companionBehaviour.imageReleaseMs, FILE_SHARE_READ, "cortray.exe");
    m.holds.back().image = true;
  }
}

void OpenCompanionWindow(Machine& m) {
  if (!m.companion.running || m.companion.window) return;
  Window& window = m.AddWindow(CompanionWindowClass, u"Corvane");
  window.role = WindowRole::Companion;
  window.session = m.companion.session;
  m.companion.window = window.handle;
}

void StartCompanion(Machine& m, std::u16string_view image, DWORD session, bool asSystem) {
  ++m.companion.starts;
  // A second instance sees the first one's mutex and leaves at once. The
  // machine has one companion: a start in another session is counted only.
  if (m.companion.running) return;
  m.companion.running = true;
  m.companion.session = session;
  m.companion.asSystem = asSystem;
  m.companion.printersAtStart.clear();
  for (const auto& printer : Printers(m)) m.companion.printersAtStart.push_back(printer.name);
  m.companion.image = m.FullPath(image);
  NamedMutex& mutex = CompanionMutex(m);
  mutex.companionHandle = true;
  if (mutex.owner == NamedMutex::Owner::None) mutex.owner = NamedMutex::Owner::Companion;
  if (m.companionBehaviour.windowDelayMs == 0) {
    OpenCompanionWindow(m);
    return;
  }
  TimedEvent appear;
  appear.kind = TimedEvent::Kind::CompanionWindow;
  m.Schedule(m.companionBehaviour.windowDelayMs, std::move(appear));
}

void EndProgram(Machine& m) {
  for (const auto& [value, object] : m.handles) {
    if (object->kind != HandleKind::Mutex) continue;
    auto it = m.mutexes.find(object->name);
    if (it == m.mutexes.end()) continue;
    --it->second.programHandles;
    if (it->second.owner == NamedMutex::Owner::Program && it->second.programHandles <= 0) {
      it->second.owner = NamedMutex::Owner::None;
      it->second.abandoned = true;
    }
  }
  m.handles.clear();
  std::vector<std::u16string> keys;
  for (const auto& [key, mutex] : m.mutexes) keys.push_back(key);
  for (const auto& key : keys) ForgetUnusedMutex(m, key);
  // Its dialogs go with it; windows closed before are forgotten.
  std::erase_if(m.windows, [](const std::unique_ptr<Window>& w) { return w->dialog || !w->alive; });
}

}  // namespace sim

namespace win {

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  auto& m = sim::Current();
  if (m.Enter("GetVersionExA")) return FALSE;
  if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != 156)) {
    m.lastError = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  info->dwMajorVersion = m.osMajor;
  info->dwMinorVersion = m.osMinor;
  info->dwBuildNumber = m.osBuild;
  info->dwPlatformId = m.osPlatform;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  return TRUE;
}

BOOL CreateProcessW(const char16_t* applicationName, char16_t* commandLine, void* processAttributes,
                    void* threadAttributes, BOOL inheritHandles, DWORD creationFlags, void* environment,
                    const char16_t* currentDirectory, STARTUPINFOW* startupInfo, PROCESS_INFORMATION* info) {
  auto& m = sim::Current();
  const std::u16string line = commandLine ? commandLine : u"";
  const bool fails = m.Enter("CreateProcessW", line);
  sim::CallArguments args = {{"lpApplicationName", sim::Given(applicationName)},
                             {"lpCommandLine", sim::Given(commandLine)},
                             {"lpProcessAttributes", sim::Number(processAttributes != nullptr)},
                             {"lpThreadAttributes", sim::Number(threadAttributes != nullptr)},
                             {"bInheritHandles", sim::Number(inheritHandles)},
                             {"dwCreationFlags", sim::Number(creationFlags)},
                             {"lpEnvironment", sim::Number(environment != nullptr)},
                             {"lpCurrentDirectory", sim::Given(currentDirectory)}};
  if (startupInfo) {
    args["cb"] = sim::Number(startupInfo->cb);
    args["dwFlags"] = sim::Number(startupInfo->dwFlags);
    args["wShowWindow"] = sim::Number(startupInfo->wShowWindow);
  }
  m.Note(std::move(args));
  if (fails) return FALSE;
  if (info) *info = {};
  if (!startupInfo || (!applicationName && line.empty())) {
    m.lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  const std::u16string program = applicationName ? applicationName : sim::SplitCommandLine(line, u"").at(0);
  const sim::FileNode* file = m.FindFile(program);
  if (!file || file->directory) {
    m.lastError = file ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  m.processesStarted.push_back(line);
  const std::u16string name = sim::ToUpperAscii(file->path.substr(file->path.rfind(u'\\') + 1));
  if (name == u"CORTRAY.EXE") sim::StartCompanion(m, file->path, m.session, m.runsAsSystem);
  if (info) {
    for (HandleKind kind : {HandleKind::Process, HandleKind::Thread}) {
      auto object = std::make_shared<HandleObject>();
      object->kind = kind;
      object->name = file->path;
      const HANDLE handle = reinterpret_cast<HANDLE>(m.AddHandle(std::move(object)));
      (kind == HandleKind::Process ? info->hProcess : info->hThread) = handle;
    }
    info->dwProcessId = 0x1000 + 4 * static_cast<DWORD>(m.processesStarted.size());
    info->dwThreadId = info->dwProcessId + 4;
  }
  return TRUE;
}

HANDLE CreateMutexA(void*, BOOL initialOwner, const char* name) {
  auto& m = sim::Current();
  const std::u16string wide = name ? sim::AnsiToWideString(name) : u"";
  const bool fails = m.Enter("CreateMutexA", wide);
  m.Note({{"bInitialOwner", sim::Number(initialOwner)}});
  if (fails) return nullptr;
  // A name without a prefix lives in the namespace of the caller's session.
  const std::u16string key = wide.empty() ? u"" : sim::MutexKey(m.session, wide);
  const bool existed = !key.empty() && m.mutexes.count(key);
  sim::NamedMutex& mutex = m.mutexes[key];
  mutex.name = wide;
  mutex.session = m.session;
  ++mutex.programHandles;
  if (!existed && initialOwner) mutex.owner = sim::NamedMutex::Owner::Program;
  auto object = std::make_shared<HandleObject>();
  object->kind = HandleKind::Mutex;
  object->name = key;
  m.lastError = existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  return reinterpret_cast<HANDLE>(m.AddHandle(std::move(object)));
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto& m = sim::Current();
  if (m.Enter("WaitForSingleObject")) return WAIT_FAILED;
  if (!MutexOf(m, handle)) {
    m.lastError = ERROR_INVALID_HANDLE;
    return WAIT_FAILED;
  }
  const std::uint64_t deadline = milliseconds == INFINITE ? UINT64_MAX : m.nowMs + milliseconds;
  for (;;) {
    // Looked up anew each time: events may end the companion meanwhile.
    sim::NamedMutex* mutex = MutexOf(m, handle);
    const DWORD result = TryTake(*mutex);
    if (result != WAIT_TIMEOUT) return result;
    const auto next = m.NextEventTime();
    if (!next || *next > deadline) {
      if (deadline == UINT64_MAX) m.Advance(m.hangLimitMs);  // waits for good: the watchdog stops it
      m.Advance(deadline - m.nowMs);
      return WAIT_TIMEOUT;
    }
    m.Advance(*next > m.nowMs ? *next - m.nowMs : 0);
  }
}

}  // namespace win
