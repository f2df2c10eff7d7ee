// A restart of the simulated machine, with the Session Manager's pending
// file operations carried out on the way, before anything can hold a file.
#include <cstring>

#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr std::uint64_t RestartMs = 60000;

std::u16string WithoutObjectPrefix(std::u16string path) {
  if (path.rfind(u"\\??\\", 0) == 0) path.erase(0, 4);
  return path;
}

std::vector<std::u16string> Strings(const std::vector<std::uint8_t>& data) {
  std::vector<std::u16string> strings;
  std::u16string current;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t c;
    std::memcpy(&c, data.data() + i, 2);
    if (c) {
      current += c;
      continue;
    }
    strings.push_back(current);
    current.clear();
  }
  // The list ends with an empty string; a value cut short ends where it ends.
  if (!strings.empty() && strings.back().empty()) strings.pop_back();
  return strings;
}

void CarryOut(Machine& m, const std::u16string& source, std::u16string target) {
  const std::u16string from = m.FullPath(WithoutObjectPrefix(source));
  FileNode* node = m.FindFile(from);
  if (!node || node->directory) return;
  if (target.empty()) {
    m.files.erase(Machine::Key(from));
    return;
  }
  const bool replace = target[0] == u'!';
  if (replace) target.erase(0, 1);
  const std::u16string to = m.FullPath(WithoutObjectPrefix(target));
  if (m.FindFile(to) && !replace) return;
  FileNode moved = std::move(*node);
  m.files.erase(Machine::Key(from));
  moved.path = to;
  m.files[Machine::Key(to)] = std::move(moved);
}

}  // namespace

std::vector<std::pair<std::u16string, std::u16string>> PendingOperations(Machine& m) {
  std::vector<std::pair<std::u16string, std::u16string>> pairs;
  if (const RegistryValue* pending = m.FindValue(win::HKEY_LOCAL_MACHINE, SessionManagerKey,
                                                 PendingOperationsValue)) {
    const auto strings = Strings(pending->data);
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2) pairs.emplace_back(strings[i], strings[i + 1]);
  }
  return pairs;
}

void AddPendingOperation(Machine& m, std::u16string_view from, std::u16string_view to, bool replace) {
  const RegistryValue* old = m.FindValue(win::HKEY_LOCAL_MACHINE, SessionManagerKey, PendingOperationsValue);
  std::vector<std::uint8_t> data = old ? old->data : std::vector<std::uint8_t>{};
  if (data.size() >= 2 && data[data.size() - 1] == 0 && data[data.size() - 2] == 0) data.resize(data.size() - 2);
  std::u16string target;
  if (!to.empty()) target = std::u16string(replace ? u"!" : u"") + u"\\??\\" + std::u16string(to);
  const auto pair = MultiStringBytes({u"\\??\\" + std::u16string(from), target});
  data.insert(data.end(), pair.begin(), pair.end());
  m.SetValue(win::HKEY_LOCAL_MACHINE, SessionManagerKey, PendingOperationsValue, win::REG_MULTI_SZ, std::move(data));
}

void Reboot(Machine& m) {
  m.holds.clear();
  m.handles.clear();
  m.events.clear();
  m.mutexes.clear();
  for (auto& window : m.windows) window->alive = false;
  m.companion.running = false;
  m.companion.window = 0;
  for (const auto& [source, target] : PendingOperations(m)) CarryOut(m, source, target);
  if (RegistryKey* key = m.FindKey(win::HKEY_LOCAL_MACHINE, SessionManagerKey))
    key->values.erase(ToUpperAscii(PendingOperationsValue));
  for (auto& service : m.services) {
    service.state = service.startError ? win::SERVICE_STOPPED : win::SERVICE_RUNNING;
    service.stopHangs = service.startHangs = false;
  }
  m.Advance(RestartMs);
}

}  // namespace sim
