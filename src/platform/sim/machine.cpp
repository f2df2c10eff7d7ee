#include "platform/sim/machine.h"

#include "platform/sim/print_store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {
Machine* current = nullptr;

bool ContainsNoCase(std::u16string_view text, std::u16string_view part) {
  return ToUpperAscii(text).find(ToUpperAscii(part)) != std::u16string::npos;
}
}  // namespace

Machine& Current() {
  if (!current) {
    std::fprintf(stderr, "simulated machine: no machine is current\n");
    std::abort();
  }
  return *current;
}

void SetCurrent(Machine* machine) { current = machine; }

std::u16string ToUpperAscii(std::u16string_view text) {
  std::u16string upper(text);
  for (auto& c : upper)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return upper;
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : c >= 0xF8 ? -1 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra > 0 && i + extra >= text.size()) extra = -1;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) extra = -1;
    if (extra < 0) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    std::uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += extra + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

Machine::Machine() = default;
Machine::~Machine() {
  if (current == this) current = nullptr;
  // A run that ended early leaves its blocks behind, as a process would.
  for (auto* heap : {&crtBlocks, &globalBlocks, &localBlocks})
    for (const auto& [block, size] : *heap) std::free(block);
}

// ---- Clock ------------------------------------------------------------------------

void Machine::Schedule(std::uint64_t delayMs, TimedEvent event) {
  event.atMs = nowMs + delayMs;
  event.seq = eventSeq++;
  events.push_back(std::move(event));
}

void Machine::RunDueEvents() {
  for (;;) {
    auto due = std::min_element(events.begin(), events.end(), Earlier);
    if (due == events.end() || due->atMs > nowMs) return;
    const TimedEvent event = std::move(*due);
    events.erase(due);
    Fire(event);
  }
}

void Machine::Fire(const TimedEvent& event) {
  switch (event.kind) {
    case TimedEvent::Kind::ServiceState:
      if (Service* service = FindService(event.name); service && service->state == event.from)
        SetServiceState(*service, event.to);
      break;
    case TimedEvent::Kind::HoldRelease:
      std::erase_if(holds, [&](const ExternalHold& h) { return h.key == event.name && h.untilMs == event.atMs; });
      break;
    case TimedEvent::Kind::CompanionWindow:
      OpenCompanionWindow(*this);
      break;
    case TimedEvent::Kind::CompanionExit:
      EndCompanion(*this);
      break;
    case TimedEvent::Kind::WindowClose:
      if (Window* w = FindWindowByHandle(event.window)) w->alive = false;
      break;
  }
}

std::optional<std::uint64_t> Machine::NextEventTime() const {
  std::optional<std::uint64_t> next;
  for (const auto& e : events)
    if (!next || e.atMs < *next) next = e.atMs;
  return next;
}

void Machine::Advance(std::uint64_t ms) {
  const std::uint64_t target = nowMs + ms;
  for (;;) {
    auto next = std::min_element(events.begin(), events.end(), Earlier);
    if (next == events.end() || next->atMs > target) break;
    nowMs = std::max(nowMs, next->atMs);
    RunDueEvents();
  }
  nowMs = target;
  if (nowMs > hangLimitMs) {
    std::fprintf(stderr, "simulated machine: the run is still going after %llu ms of simulated time\n",
                 static_cast<unsigned long long>(nowMs));
    std::abort();
  }
}

// ---- Faults and journal -------------------------------------------------------------

Fault& Machine::Fail(std::string call, DWORD error, int count, int skip, std::u16string match) {
  Fault fault;
  fault.call = std::move(call);
  fault.error = error;
  fault.count = count;
  fault.skip = skip;
  fault.match = std::move(match);
  faults.push_back(std::move(fault));
  return faults.back();
}

void Machine::CountCall() {
  if (++callsMade == killAtCall) Kill();
}

void Machine::Kill() {
  killAtCall = 0;
  EndProgram(*this);
  for (auto* heap : {&crtBlocks, &globalBlocks, &localBlocks}) {
    for (const auto& [block, size] : *heap) std::free(block);
    heap->clear();
  }
  if (killHandler) killHandler();
  std::fprintf(stderr, "simulated machine: the program was killed and nothing took over\n");
  std::abort();
}

bool Machine::Enter(const char* call, std::u16string_view detail) {
  journal.push_back({call, std::u16string(detail), nowMs, {}});
  CountCall();
  auto cost = callCostMs.find(call);
  Advance(cost == callCostMs.end() ? 0 : cost->second);
  return Fails(call, detail);
}

// The error of the fault that this call trips, or 0.
DWORD Machine::ArmedFault(const char* call, std::u16string_view detail) {
  for (auto& fault : faults) {
    if (fault.call != call || fault.count == 0) continue;
    if (!fault.match.empty() && !ContainsNoCase(detail, fault.match)) continue;
    if (fault.skip > 0) {
      --fault.skip;
      return 0;
    }
    if (fault.count > 0) --fault.count;
    if (fault.kill) Kill();
    return fault.error ? fault.error : win::ERROR_INVALID_FUNCTION;
  }
  return 0;
}

bool Machine::Fails(const char* call, std::u16string_view detail) {
  ++quietCalls[call];
  const DWORD error = ArmedFault(call, detail);
  if (error) lastError = error;
  return error != 0;
}

DWORD Machine::EnterStatus(const char* call, std::u16string_view detail) {
  journal.push_back({call, std::u16string(detail), nowMs, {}});
  CountCall();
  auto cost = callCostMs.find(call);
  Advance(cost == callCostMs.end() ? 0 : cost->second);
  return ArmedFault(call, detail);
}

void Machine::Note(CallArguments args) {
  if (!journal.empty()) journal.back().args = std::move(args);
}

std::vector<CallArguments> Machine::Arguments(std::string_view call) const {
  std::vector<CallArguments> found;
  for (const auto& e : journal)
    if (e.call == call) found.push_back(e.args);
  return found;
}

std::optional<std::u16string> Given(const char16_t* text) {
  return text ? std::optional<std::u16string>(text) : std::nullopt;
}

std::u16string Number(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

int Machine::Count(std::string_view call) const {
  return static_cast<int>(std::count_if(journal.begin(), journal.end(),
                                        [&](const JournalEntry& e) { return e.call == call; }));
}

// ---- Files ------------------------------------------------------------------------

std::u16string Machine::FullPath(std::u16string_view path) const {
  std::u16string p(path);
  for (auto& c : p)
    if (c == u'/') c = u'\\';
  if (p.rfind(u"\\\\?\\", 0) == 0 || p.rfind(u"\\??\\", 0) == 0) p.erase(0, 4);
  std::u16string full;
  if (p.size() >= 2 && p[1] == u':') {
    full = p;
  } else if (!p.empty() && p[0] == u'\\') {
    full = currentDir.substr(0, 2) + p;
  } else {
    full = currentDir + u"\\" + p;
  }
  // Split into components, resolving "." and "..", dropping empty ones.
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= full.size()) {
    std::size_t end = full.find(u'\\', start);
    if (end == std::u16string::npos) end = full.size();
    std::u16string part = full.substr(start, end - start);
    if (part == u"..") {
      if (parts.size() > 1) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::u16string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += u'\\';
    out += parts[i];
  }
  if (parts.size() == 1) out += u'\\';  // the drive's root
  return out;
}

std::u16string Machine::Key(std::u16string_view fullPath) { return ToUpperAscii(fullPath); }

FileNode* Machine::FindFile(std::u16string_view path) {
  auto it = files.find(Key(FullPath(path)));
  return it == files.end() ? nullptr : &it->second;
}

void Machine::AddDirectory(std::u16string_view path) {
  const std::u16string full = FullPath(path);
  std::size_t pos = 0;
  while (pos != std::u16string::npos) {
    pos = full.find(u'\\', pos + 1);
    std::u16string prefix = full.substr(0, pos);
    if (prefix.size() == 2) prefix += u'\\';
    auto& node = files[Key(prefix)];
    if (node.path.empty()) {
      node.path = prefix;
      node.directory = true;
      node.attributes = win::FILE_ATTRIBUTE_DIRECTORY;
    }
  }
}

void Machine::AddFile(std::u16string_view path, std::vector<std::uint8_t> data) {
  const std::u16string full = FullPath(path);
  const auto slash = full.rfind(u'\\');
  if (slash != std::u16string::npos) AddDirectory(full.substr(0, slash));
  FileNode node;
  node.path = full;
  node.data = std::move(data);
  files[Key(full)] = std::move(node);
}

void Machine::HoldFile(std::u16string_view path, std::uint64_t forMs, DWORD share,
                       std::string holder) {
  ExternalHold hold;
  hold.key = Key(FullPath(path));
  hold.share = share;
  hold.untilMs = forMs == UINT64_MAX ? UINT64_MAX : nowMs + forMs;
  hold.holder = std::move(holder);
  holds.push_back(hold);
  if (forMs != UINT64_MAX) {
    TimedEvent release;
    release.kind = TimedEvent::Kind::HoldRelease;
    release.name = hold.key;
    Schedule(forMs, std::move(release));
  }
}

void Machine::ReleaseFile(std::u16string_view path) {
  const std::u16string key = Key(FullPath(path));
  std::erase_if(holds, [&](const ExternalHold& h) { return h.key == key; });
}

// ---- Registry -------------------------------------------------------------------

namespace {

// The first component of a backslash path and the rest after it.
std::pair<std::u16string_view, std::u16string_view> SplitFirst(std::u16string_view path) {
  while (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
  const auto slash = path.find(u'\\');
  if (slash == std::u16string_view::npos) return {path, {}};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

RegistryKey* RegistryKey::Find(std::u16string_view path) {
  auto [first, rest] = SplitFirst(path);
  if (first.empty()) return this;
  auto it = subkeys.find(ToUpperAscii(first));
  return it == subkeys.end() ? nullptr : it->second->Find(rest);
}

RegistryKey& RegistryKey::Create(std::u16string_view path) {
  auto [first, rest] = SplitFirst(path);
  if (first.empty()) return *this;
  auto& slot = subkeys[ToUpperAscii(first)];
  if (!slot) slot = std::make_unique<RegistryKey>(std::u16string(first));
  return slot->Create(rest);
}

bool RegistryKey::Remove(std::u16string_view path) {
  auto [first, rest] = SplitFirst(path);
  if (first.empty()) return false;
  auto it = subkeys.find(ToUpperAscii(first));
  if (it == subkeys.end()) return false;
  if (SplitFirst(rest).first.empty()) {
    subkeys.erase(it);
    return true;
  }
  return it->second->Remove(rest);
}

std::vector<std::uint8_t> StringBytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes((text.size() + 1) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

std::vector<std::uint8_t> MultiStringBytes(const std::vector<std::u16string>& strings) {
  std::vector<std::uint8_t> bytes;
  for (const auto& s : strings) {
    auto one = StringBytes(s);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

RegistryKey* Machine::RootKey(win::HKEY root) {
  if (root == win::HKEY_LOCAL_MACHINE) return &hklm;
  if (root == win::HKEY_CURRENT_USER) return &hkcu;
  return nullptr;
}

RegistryKey* Machine::FindKey(win::HKEY root, std::u16string_view path) {
  RegistryKey* key = RootKey(root);
  return key ? key->Find(path) : nullptr;
}

RegistryKey& Machine::CreateKey(win::HKEY root, std::u16string_view path) {
  return RootKey(root)->Create(path);
}

void Machine::SetValue(win::HKEY root, std::u16string_view path, std::u16string_view name,
                       DWORD type, std::vector<std::uint8_t> data) {
  RegistryValue value{std::u16string(name), type, std::move(data)};
  CreateKey(root, path).values[ToUpperAscii(name)] = std::move(value);
}

void Machine::SetString(win::HKEY root, std::u16string_view path, std::u16string_view name,
                        std::u16string_view text, DWORD type) {
  SetValue(root, path, name, type, StringBytes(text));
}

void Machine::SetDword(win::HKEY root, std::u16string_view path, std::u16string_view name,
                       DWORD value) {
  std::vector<std::uint8_t> bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  SetValue(root, path, name, win::REG_DWORD, std::move(bytes));
}

const RegistryValue* Machine::FindValue(win::HKEY root, std::u16string_view path,
                                        std::u16string_view name) {
  RegistryKey* key = FindKey(root, path);
  if (!key) return nullptr;
  auto it = key->values.find(ToUpperAscii(name));
  return it == key->values.end() ? nullptr : &it->second;
}

std::u16string Machine::String(win::HKEY root, std::u16string_view path, std::u16string_view name) {
  const RegistryValue* value = FindValue(root, path, name);
  if (!value) return {};
  std::u16string text(value->data.size() / 2, u'\0');
  std::memcpy(text.data(), value->data.data(), text.size() * 2);
  while (!text.empty() && text.back() == 0) text.pop_back();
  return text;
}

// ---- Services ---------------------------------------------------------------------

Service* Machine::FindService(std::u16string_view name) {
  const std::u16string wanted = ToUpperAscii(name);
  for (auto& service : services)
    if (ToUpperAscii(service.name) == wanted) return &service;
  return nullptr;
}

bool Machine::SpoolerRunning() const {
  for (const auto& service : services)
    if (ToUpperAscii(service.name) == u"SPOOLER") return service.state == win::SERVICE_RUNNING;
  return false;
}

// ---- Windows ------------------------------------------------------------------------

Window* Machine::FindWindowByHandle(std::uintptr_t handle) {
  for (auto& window : windows)
    if (window->handle == handle && window->alive) return window.get();
  return nullptr;
}

Window& Machine::AddWindow(std::u16string className, std::u16string title) {
  auto window = std::make_unique<Window>();
  window->handle = nextWindow;
  nextWindow += 0x10;
  window->className = std::move(className);
  window->title = std::move(title);
  windows.push_back(std::move(window));
  return *windows.back();
}

Window& Machine::AddHelpWindow(DWORD closeDelayMs, bool closes) {
  Window& window = AddWindow(u"HH Parent", u"Corvane Help");
  window.role = WindowRole::Help;
  window.closeDelayMs = closeDelayMs;
  window.closes = closes;
  return window;
}

// ---- Handles ------------------------------------------------------------------------

std::uintptr_t Machine::AddHandle(std::shared_ptr<HandleObject> object) {
  const std::uintptr_t value = nextHandle;
  nextHandle += 4;
  handles[value] = std::move(object);
  return value;
}

HandleObject* Machine::FindHandle(std::uintptr_t value) {
  auto it = handles.find(value);
  return it == handles.end() ? nullptr : it->second.get();
}

// ---- The default machine -------------------------------------------------------------

void SetUpDefaultMachine(Machine& machine, unsigned build) {
  machine.AddDirectory(u"C:\\Windows\\system32\\spool\\PRINTERS");
  machine.AddDirectory(machine.driverRoot + u"\\x64\\3");
  machine.AddDirectory(machine.driverRoot + u"\\W32X86\\3");
  machine.AddDirectory(u"C:\\Users\\Public");
  const std::u16string setup = u"C:\\Program Files\\Corvane\\Setup\\";
  machine.AddFile(setup + u"corvane-setup.exe", VersionedFileImage(build, 64 * 1024));
  machine.AddFile(setup + u"vexmon64.dll", VersionedFileImage(build, 24 * 1024));
  machine.AddFile(setup + u"vexdrv64.dll", VersionedFileImage(build, 40 * 1024));
  machine.AddFile(setup + u"vexui64.dll", VersionedFileImage(build, 32 * 1024));
  machine.AddFile(setup + u"vexhelp.chm", std::vector<std::uint8_t>(12 * 1024, 0x49));
  machine.AddFile(u"C:\\Program Files\\Corvane\\cortray.exe", VersionedFileImage(build, 48 * 1024));
  machine.modulePath = setup + u"corvane-setup.exe";
  machine.currentDir = setup.substr(0, setup.size() - 1);

  machine.CreateKey(win::HKEY_LOCAL_MACHINE, SessionManagerKey);
  machine.CreateKey(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");

  Service spooler;
  spooler.name = u"Spooler";
  machine.services.push_back(spooler);
  SetUpSpooler(machine);
}

}  // namespace sim
