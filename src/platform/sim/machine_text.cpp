#include "platform/sim/machine_text.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <type_traits>

namespace sim {

namespace {

constexpr int FormatVersion = 1;

// ---- Names of enumerated values ----------------------------------------------------

template <typename T>
struct Named {
  T value;
  const char* name;
};

constexpr Named<DWORD> ServiceStates[] = {
    {win::SERVICE_STOPPED, "stopped"}, {win::SERVICE_START_PENDING, "start-pending"},
    {win::SERVICE_STOP_PENDING, "stop-pending"}, {win::SERVICE_RUNNING, "running"},
    {5, "continue-pending"}, {6, "pause-pending"}, {7, "paused"}};
constexpr Named<DialogClose> DialogCloses[] = {{DialogClose::CloseButton, "close-button"},
                                               {DialogClose::EnterKey, "enter-key"},
                                               {DialogClose::EscapeKey, "escape-key"},
                                               {DialogClose::CloseBox, "close-box"},
                                               {DialogClose::Ignore, "ignore"}};
constexpr Named<NamedMutex::Owner> Owners[] = {{NamedMutex::Owner::None, "none"},
                                               {NamedMutex::Owner::Program, "program"},
                                               {NamedMutex::Owner::Companion, "companion"}};
constexpr Named<WindowRole> Roles[] = {
    {WindowRole::Plain, "plain"}, {WindowRole::Help, "help"}, {WindowRole::Companion, "companion"}};
constexpr Named<HandleKind> HandleKinds[] = {
    {HandleKind::File, "file"},     {HandleKind::ScManager, "sc-manager"},
    {HandleKind::Service, "service"}, {HandleKind::RegistryKey, "registry-key"},
    {HandleKind::Printer, "printer"}, {HandleKind::Mutex, "mutex"},
    {HandleKind::Process, "process"}, {HandleKind::Thread, "thread"}, {HandleKind::Token, "token"}};
constexpr Named<TimedEvent::Kind> EventKinds[] = {{TimedEvent::Kind::ServiceState, "service-state"},
                                                  {TimedEvent::Kind::HoldRelease, "hold-release"},
                                                  {TimedEvent::Kind::CompanionWindow, "companion-window"},
                                                  {TimedEvent::Kind::CompanionExit, "companion-exit"},
                                                  {TimedEvent::Kind::WindowClose, "window-close"}};

template <typename T, std::size_t N>
std::string NameOf(const Named<T> (&table)[N], T value) {
  for (const auto& entry : table)
    if (entry.value == value) return entry.name;
  return std::to_string(static_cast<long long>(value));
}

// ---- Writing ------------------------------------------------------------------------

std::string Escaped(std::u16string_view text) {
  std::string out = "\"";
  char buffer[8];
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c < 0xDC00;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      out += Utf8(text.substr(i++, 2));
    } else if (c == u'\\' || c == u'"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == u'\n') {
      out += "\\n";
    } else if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c < 0xE000)) {
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    } else {
      out += Utf8(text.substr(i, 1));
    }
  }
  return out + "\"";
}

// Puts the fields of one record on a line. Its calls match those of Fields,
// so that one list of fields serves both directions.
class LineWriter {
 public:
  explicit LineWriter(const char* word) : text_(word) {}
  void Text(const char* name, const std::u16string& value) { Add(name, Escaped(value)); }
  void Text(const char* name, const std::string& value) { Add(name, Escaped(FromUtf8(value))); }
  template <typename T>
  void Number(const char* name, const T& value) {
    Add(name, std::to_string(value));
  }
  template <typename T>
  void Hex(const char* name, const T& value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%" PRIx64, static_cast<std::uint64_t>(value));
    Add(name, buffer);
  }
  void Key(const char* name, const win::HKEY& key) { Hex(name, reinterpret_cast<std::uintptr_t>(key)); }
  void Flag(const char* name, const bool& value) { Add(name, value ? "yes" : "no"); }
  void Time(const char* name, const std::uint64_t& value, const char* endless) {
    value == UINT64_MAX ? Add(name, endless) : Number(name, value);
  }
  template <typename T, std::size_t N>
  void Choice(const char* name, const T& value, const Named<T> (&table)[N]) {
    Add(name, NameOf(table, value));
  }
  std::string End() const { return text_ + "\n"; }

 private:
  void Add(const char* name, const std::string& value) { text_ += std::string(" ") + name + "=" + value; }
  std::string text_;
};

// ---- Reading ------------------------------------------------------------------------

// The fields of one line, taken into a record one by one; a field left out
// keeps the record's value, and the first fault is kept.
class Fields {
 public:
  std::string error;

  bool Parse(std::string_view rest) {
    std::size_t i = 0;
    while (i < rest.size()) {
      if (rest[i] == ' ' || rest[i] == '\t') {
        ++i;
        continue;
      }
      const std::size_t eq = rest.find('=', i);
      const std::size_t space = rest.find_first_of(" \t", i);
      if (eq == std::string_view::npos || (space != std::string_view::npos && space < eq))
        return Fail("\"" + std::string(rest.substr(i, space - i)) + "\" is no name=value field");
      const std::string name(rest.substr(i, eq - i));
      if (values_.count(name)) return Fail("the field " + name + " is given twice");
      i = eq + 1;
      Value value;
      if (i < rest.size() && rest[i] == '"') {
        value.quoted = true;
        if (!Unescape(rest, ++i, value.text)) return false;
      } else {
        const std::size_t end = std::min(rest.find_first_of(" \t", i), rest.size());
        const std::string_view bare = rest.substr(i, end - i);
        if (bare.find('"') != std::string_view::npos) return Fail("the field " + name + " has a stray quote");
        value.text = FromUtf8(bare);
        value.bare = std::string(bare);
        i = end;
      }
      values_[name] = std::move(value);
    }
    return true;
  }

  bool Has(const char* name) const { return values_.count(name) != 0; }

  void Text(const char* name, std::u16string& out) {
    if (Value* value = Take(name)) out = value->text;
  }
  void Text(const char* name, std::string& out) {
    if (Value* value = Take(name)) out = Utf8(value->text);
  }

  template <typename T>
  void Number(const char* name, T& out) {
    Value* value = Take(name);
    if (!value) return;
    if (value->quoted || !ParseNumber(value->bare, out))
      Fail("the field " + std::string(name) + " must be a whole number that fits");
  }
  template <typename T>
  void Hex(const char* name, T& out) {
    Number(name, out);
  }
  void Key(const char* name, win::HKEY& key) {
    auto raw = reinterpret_cast<std::uintptr_t>(key);
    Number(name, raw);
    key = reinterpret_cast<win::HKEY>(raw);
  }

  void Flag(const char* name, bool& out) {
    Value* value = Take(name);
    if (!value) return;
    if (value->bare == "yes" || value->bare == "no")
      out = value->bare == "yes";
    else
      Fail("the field " + std::string(name) + " must be yes or no");
  }

  // A number, or UINT64_MAX for the word `endless`.
  void Time(const char* name, std::uint64_t& out, const char* endless) {
    if (Value* value = Peek(name); value && value->bare == endless) {
      Take(name);
      out = UINT64_MAX;
      return;
    }
    Number(name, out);
  }

  // One of the table's names; for numeric values a number too.
  template <typename T, std::size_t N>
  void Choice(const char* name, T& out, const Named<T> (&table)[N]) {
    Value* value = Take(name);
    if (!value) return;
    for (const auto& entry : table)
      if (value->bare == entry.name) {
        out = entry.value;
        return;
      }
    if constexpr (std::is_integral_v<T>)
      if (ParseNumber(value->bare, out)) return;
    std::string names;
    for (const auto& entry : table) names += std::string(names.empty() ? "" : ", ") + entry.name;
    Fail("the field " + std::string(name) + " must be one of " + names);
  }

  // Fails for a field nobody asked for.
  bool Finish() {
    for (const auto& [name, value] : values_)
      if (!value.used) return Fail("unknown field " + name);
    return error.empty();
  }

 private:
  struct Value {
    std::u16string text;
    std::string bare;
    bool quoted = false;
    bool used = false;
  };
  std::map<std::string, Value> values_;

  bool Fail(const std::string& what) {
    if (error.empty()) error = what;
    return false;
  }
  Value* Peek(const char* name) {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : &it->second;
  }
  Value* Take(const char* name) {
    Value* value = Peek(name);
    if (value) value->used = true;
    return value;
  }

  // Decimal, or hex after 0x; false when it is not a number of type T.
  template <typename T>
  static bool ParseNumber(const std::string& s, T& out) {
    if (s.empty() || (!std::is_signed_v<T> && s[0] == '-')) return false;
    const int base = s.rfind("0x", 0) == 0 ? 16 : 10;
    char* end = nullptr;
    errno = 0;
    if constexpr (std::is_signed_v<T>) {
      const long long parsed = std::strtoll(s.c_str(), &end, base);
      if (*end || errno == ERANGE || parsed < std::numeric_limits<T>::min() || parsed > std::numeric_limits<T>::max())
        return false;
      out = static_cast<T>(parsed);
    } else {
      const unsigned long long parsed = std::strtoull(s.c_str(), &end, base);
      if (*end || errno == ERANGE || parsed > std::numeric_limits<T>::max()) return false;
      out = static_cast<T>(parsed);
    }
    return true;
  }

  bool Unescape(std::string_view s, std::size_t& i, std::u16string& out) {
    std::string plain;
    auto flush = [&] {
      out += FromUtf8(plain);
      plain.clear();
    };
    for (; i < s.size(); ++i) {
      const char c = s[i];
      if (c == '"') {
        ++i;
        flush();
        if (i < s.size() && s[i] != ' ' && s[i] != '\t') return Fail("text follows a closing quote");
        return true;
      }
      if (c != '\\') {
        plain += c;
        continue;
      }
      if (++i == s.size()) break;
      switch (s[i]) {
        case '\\': plain += '\\'; break;
        case '"': plain += '"'; break;
        case 'n': plain += '\n'; break;
        case 'r': plain += '\r'; break;
        case 't': plain += '\t'; break;
        case 'u': {
          const std::string digits(s.substr(i + 1, 4));
          unsigned unit = 0;
          if (digits.size() != 4 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return Fail("\\u needs four hex digits");
          std::sscanf(digits.c_str(), "%4x", &unit);
          flush();
          out += static_cast<char16_t>(unit);
          i += 4;
          break;
        }
        default:
          return Fail(std::string("unknown escape \\") + s[i]);
      }
    }
    return Fail("a text in double quotes is not closed");
  }
};

// ---- The records: each field list serves writing (LineWriter) and reading (Fields) ----

template <typename V, typename M>
void ClockFields(V& v, M& m) {
  v.Number("now-ms", m.nowMs);
  v.Hex("tick-base", m.tickBase);
  v.Number("hang-limit-ms", m.hangLimitMs);
  v.Number("next-event-seq", m.eventSeq);
  v.Hex("next-handle", m.nextHandle);
  v.Hex("next-window", m.nextWindow);
}

template <typename V, typename M>
void SystemFields(V& v, M& m) {
  v.Number("os-major", m.osMajor);
  v.Number("os-minor", m.osMinor);
  v.Number("os-build", m.osBuild);
  v.Number("os-platform", m.osPlatform);
  v.Flag("english-messages", m.englishMessages);
  v.Time("disk-free", m.diskFreeBytes, "max");
}

template <typename V, typename M>
void PathFields(V& v, M& m) {
  v.Text("module", m.modulePath);
  v.Text("current-dir", m.currentDir);
  v.Text("system-dir", m.systemDir);
  v.Text("driver-root", m.driverRoot);
}

template <typename V, typename M>
void DesktopFields(V& v, M& m) {
  v.Flag("shift", m.shiftHeld);
  v.Flag("dialog-template", m.dialogTemplatePresent);
}

template <typename V, typename M>
void SessionFields(V& v, M& m) {
  v.Number("id", m.session);
  v.Flag("as-system", m.runsAsSystem);
}

template <typename V, typename C, typename D>
void CallCostFields(V& v, C& call, D& ms) {
  v.Text("call", call);
  v.Number("ms", ms);
}

template <typename V, typename F>
void FaultFields(V& v, F& f) {
  v.Text("call", f.call);
  v.Number("error", f.error);
  v.Number("skip", f.skip);
  v.Number("count", f.count);
  v.Text("match", f.match);
  v.Flag("kill", f.kill);
}

template <typename V, typename S>
void ServiceFields(V& v, S& s) {
  v.Text("name", s.name);
  v.Choice("state", s.state, ServiceStates);
  v.Number("stop-delay-ms", s.stopDelayMs);
  v.Number("start-delay-ms", s.startDelayMs);
  v.Flag("stop-hangs", s.stopHangs);
  v.Flag("start-hangs", s.startHangs);
  v.Number("start-error", s.startError);
}

template <typename V, typename H>
void HoldFields(V& v, H& h) {
  v.Text("key", h.key);
  v.Hex("access", h.access);
  v.Hex("share", h.share);
  v.Time("until-ms", h.untilMs, "never");
  v.Text("holder", h.holder);
  v.Flag("image", h.image);
  v.Flag("by-spooler", h.bySpooler);
}

template <typename V, typename C>
void CompanionFields(V& v, C& c) {
  v.Flag("running", c.running);
  v.Text("image", c.image);
  v.Hex("window", c.window);
  v.Number("starts", c.starts);
  v.Number("exit-requests", c.exitRequests);
  v.Number("session", c.session);
  v.Flag("as-system", c.asSystem);
}

template <typename V, typename B>
void BehaviourFields(V& v, B& b) {
  v.Number("window-delay-ms", b.windowDelayMs);
  v.Number("exit-delay-ms", b.exitDelayMs);
  v.Flag("ignores-exit-request", b.ignoresExitRequest);
  v.Flag("abandons-mutex", b.abandonsMutex);
  v.Number("image-release-ms", b.imageReleaseMs);
}

template <typename V, typename X>
void MutexFields(V& v, X& x) {
  v.Text("name", x.name);
  v.Choice("owner", x.owner, Owners);
  v.Flag("abandoned", x.abandoned);
  v.Number("program-handles", x.programHandles);
  v.Flag("companion-handle", x.companionHandle);
  v.Number("session", x.session);
}

template <typename V, typename W>
void WindowFields(V& v, W& w) {
  v.Hex("handle", w.handle);
  v.Text("class", w.className);
  v.Text("title", w.title);
  v.Flag("alive", w.alive);
  v.Flag("dialog", w.dialog);
  v.Hex("owner", w.owner);
  v.Flag("ended", w.dialogEnded);
  v.Number("result", w.dialogResult);
  v.Choice("role", w.role, Roles);
  v.Number("close-delay-ms", w.closeDelayMs);
  v.Flag("closes", w.closes);
  v.Number("session", w.session);
}

template <typename V, typename W, typename I, typename T>
void WindowItemFields(V& v, W& window, I& id, T& text) {
  v.Hex("handle", window);
  v.Number("id", id);
  v.Text("text", text);
}

template <typename V, typename N, typename H>
void HandleFields(V& v, N& value, H& h) {
  v.Hex("value", value);
  v.Choice("kind", h.kind, HandleKinds);
  v.Text("name", h.name);
  v.Key("root", h.root);
  v.Hex("access", h.access);
  v.Hex("share", h.share);
  v.Number("position", h.position);
}

template <typename V, typename E>
void EventFields(V& v, E& e) {
  v.Number("at-ms", e.atMs);
  v.Number("seq", e.seq);
  v.Choice("kind", e.kind, EventKinds);
  v.Text("name", e.name);
  v.Hex("window", e.window);
  v.Choice("from", e.from, ServiceStates);
  v.Choice("to", e.to, ServiceStates);
}

}  // namespace

std::string MachineText(const Machine& m, const std::vector<FileFact>& facts) {
  std::string out =
      "# The simulated machine besides its registry (registry.reg) and its files (drive_*).\n"
      "# The format is described in src/platform/sim/machine_text.h.\n";
  auto line = [&out](const char* word, auto fields) {
    LineWriter writer(word);
    fields(writer);
    out += writer.End();
  };
  line("machine", [](auto& v) { v.Number("format", FormatVersion); });
  line("clock", [&](auto& v) { ClockFields(v, m); });
  line("system", [&](auto& v) { SystemFields(v, m); });
  line("paths", [&](auto& v) { PathFields(v, m); });
  line("desktop", [&](auto& v) { DesktopFields(v, m); });
  line("session", [&](auto& v) { SessionFields(v, m); });
  for (const DialogClose& action : m.dialogActions)
    line("dialog-action", [&](auto& v) { v.Choice("close", action, DialogCloses); });
  // Named entries, not structured bindings: lambdas may not capture those everywhere.
  for (const auto& cost : m.callCostMs)
    line("call-cost", [&](auto& v) { CallCostFields(v, cost.first, cost.second); });
  for (const auto& f : m.faults) line("fault", [&](auto& v) { FaultFields(v, f); });
  if (m.killAtCall) line("kill", [&](auto& v) { v.Number("at-call", m.killAtCall); });
  for (const auto& s : m.services) line("service", [&](auto& v) { ServiceFields(v, s); });
  for (const auto& h : m.holds) line("hold", [&](auto& v) { HoldFields(v, h); });
  line("companion", [&](auto& v) { CompanionFields(v, m.companion); });
  line("companion-behaviour", [&](auto& v) { BehaviourFields(v, m.companionBehaviour); });
  for (const auto& mutex : m.mutexes) line("mutex", [&](auto& v) { MutexFields(v, mutex.second); });
  for (const auto& w : m.windows) {
    line("window", [&](auto& v) { WindowFields(v, *w); });
    for (const auto& item : w->items)
      line("window-item", [&](auto& v) { WindowItemFields(v, w->handle, item.first, item.second); });
  }
  for (const auto& handle : m.handles)
    line("handle", [&](auto& v) { HandleFields(v, handle.first, *handle.second); });
  for (const auto& e : m.events) line("event", [&](auto& v) { EventFields(v, e); });
  for (const auto& fact : facts)
    line(fact.carrier ? "carrier-folder" : "file", [&](auto& v) {
      v.Text("path", fact.path);
      if (fact.attributes) v.Hex("attributes", *fact.attributes);
      if (fact.links != 1) v.Number("links", fact.links);
      if (!fact.linkTarget.empty()) v.Text("target", fact.linkTarget);
    });
  return out;
}

namespace {

Window* WindowOf(Machine& m, std::uintptr_t handle) {
  for (auto& w : m.windows)
    if (w->handle == handle) return w.get();
  return nullptr;
}

// Reads one line's fields into the machine; what is wrong, or empty.
std::string ReadLine(const std::string& word, Fields& f, Machine& m, std::vector<FileFact>& facts) {
  if (word == "clock") {
    ClockFields(f, m);
  } else if (word == "system") {
    SystemFields(f, m);
  } else if (word == "paths") {
    PathFields(f, m);
  } else if (word == "desktop") {
    DesktopFields(f, m);
  } else if (word == "session") {
    SessionFields(f, m);
  } else if (word == "dialog-action") {
    DialogClose action = DialogClose::CloseButton;
    f.Choice("close", action, DialogCloses);
    m.dialogActions.push_back(action);
  } else if (word == "call-cost") {
    std::string call;
    DWORD ms = 0;
    CallCostFields(f, call, ms);
    if (call.empty()) return "the field call is missing";
    m.callCostMs[call] = ms;
  } else if (word == "fault") {
    Fault fault;
    FaultFields(f, fault);
    if (fault.call.empty()) return "the field call is missing";
    m.faults.push_back(std::move(fault));
  } else if (word == "kill") {
    f.Number("at-call", m.killAtCall);
    if (m.killAtCall <= 0) return "the field at-call must be 1 or more";
  } else if (word == "service") {
    Service s;
    ServiceFields(f, s);
    if (s.name.empty()) return "the field name is missing";
    m.services.push_back(std::move(s));
  } else if (word == "hold") {
    ExternalHold h;
    HoldFields(f, h);
    if (h.key.empty()) return "the field key is missing";
    m.holds.push_back(std::move(h));
  } else if (word == "companion") {
    CompanionFields(f, m.companion);
  } else if (word == "companion-behaviour") {
    BehaviourFields(f, m.companionBehaviour);
  } else if (word == "mutex") {
    NamedMutex x;
    MutexFields(f, x);
    m.mutexes[MutexKey(x.session, x.name)] = std::move(x);
  } else if (word == "window") {
    auto w = std::make_unique<Window>();
    WindowFields(f, *w);
    if (!w->handle) return "the field handle is missing";
    if (WindowOf(m, w->handle)) return "a window with this handle is given twice";
    m.windows.push_back(std::move(w));
  } else if (word == "window-item") {
    std::uintptr_t handle = 0;
    int id = 0;
    std::u16string text;
    WindowItemFields(f, handle, id, text);
    Window* w = WindowOf(m, handle);
    if (!w) return "no window line before it has this handle";
    w->items[id] = text;
  } else if (word == "handle") {
    std::uintptr_t value = 0;
    auto h = std::make_shared<HandleObject>();
    HandleFields(f, value, *h);
    if (!value) return "the field value is missing";
    m.handles[value] = std::move(h);
  } else if (word == "event") {
    if (!f.Has("at-ms") || !f.Has("kind")) return "the fields at-ms and kind are needed";
    TimedEvent e;
    EventFields(f, e);
    m.events.push_back(std::move(e));
  } else if (word == "file" || word == "carrier-folder") {
    FileFact fact;
    fact.carrier = word == "carrier-folder";
    f.Text("path", fact.path);
    if (fact.path.empty()) return "the field path is missing";
    if (f.Has("attributes")) f.Hex("attributes", fact.attributes.emplace());
    if (f.Has("links")) f.Number("links", fact.links);
    if (f.Has("target")) f.Text("target", fact.linkTarget);
    facts.push_back(std::move(fact));
  } else {
    return "unknown word \"" + word + "\"";
  }
  return {};
}

}  // namespace

std::string ReadMachineText(std::string_view text, Machine& m, std::vector<FileFact>& facts) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.remove_prefix(3);
  int number = 0;
  bool headerSeen = false;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == '#') continue;
    line.remove_prefix(start);
    const std::size_t space = std::min(line.find_first_of(" \t"), line.size());
    const std::string word(line.substr(0, space));
    auto fail = [&](const std::string& what) {
      return "line " + std::to_string(number) + " (" + word + "): " + what;
    };
    Fields fields;
    if (!fields.Parse(line.substr(space))) return fail(fields.error);
    std::string error;
    if (!headerSeen) {
      int format = 0;
      fields.Number("format", format);
      if (word != "machine" || format != FormatVersion || !fields.Finish())
        return fail("the first line must read \"machine format=" + std::to_string(FormatVersion) + "\"");
      headerSeen = true;
      continue;
    }
    error = ReadLine(word, fields, m, facts);
    if (error.empty() && !fields.Finish()) error = fields.error;
    if (!error.empty()) return fail(error);
  }
  if (!headerSeen) return "the file is empty; it must start with \"machine format=" + std::to_string(FormatVersion) + "\"";
  return {};
}

}  // namespace sim
