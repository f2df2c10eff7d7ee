// corvane-sim: makes, shows and changes the simulated machine in a machine
// directory as the world around the setup program would. `corvane-sim help`
// lists the verbs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/ansi_codepage.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_store.h"
#include "platform/sim/print_store.h"
#include "platform/sim/tool/summary.h"

namespace {

using sim::FromUtf8;
using sim::Utf8;

constexpr int ExitBadInput = 2;
constexpr int ExitMachineUnusable = 1;
constexpr std::uint64_t DefaultLockWaitMs = 30000;
constexpr char16_t TrayProgram[] = u"C:\\Program Files\\Corvane\\cortray.exe";

// ---- Arguments ------------------------------------------------------------------------

struct Option {
  const char* name;  // without "--"
  bool takesValue;
};

struct Args {
  std::vector<std::string> words;  // after the verb, DIR first
  std::map<std::string, std::string> options;
  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = {}) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
  }
};

// A fault in what the user gave; the verb's usage is shown with it.
struct BadInput {
  std::string message;
};

std::uint64_t Number(const std::string& text, const std::string& what, std::uint64_t max = UINT64_MAX) {
  const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
  const std::string digits = hex ? text.substr(2) : text;
  const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
  if (digits.empty() || digits.size() > 16 || digits.find_first_not_of(allowed) != std::string::npos)
    throw BadInput{what + " must be a whole number, not \"" + text + "\""};
  const std::uint64_t value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (value > max) throw BadInput{what + " must be at most " + std::to_string(max)};
  return value;
}

// A full Windows path ("C:\..."), as the machine spells it.
std::u16string WindowsPath(sim::Machine& m, const std::string& text) {
  const std::u16string wide = FromUtf8(text);
  if (wide.size() < 3 || wide[1] != u':' || (wide[2] != u'\\' && wide[2] != u'/') ||
      !((wide[0] >= u'A' && wide[0] <= u'Z') || (wide[0] >= u'a' && wide[0] <= u'z')))
    throw BadInput{"\"" + text + "\" is no full Windows path such as C:\\Windows\\system32\\vexmon64.dll"};
  return m.FullPath(wide);
}

sim::FileNode& ExistingFile(sim::Machine& m, const std::string& text) {
  sim::FileNode* node = m.FindFile(WindowsPath(m, text));
  if (!node || node->directory) throw BadInput{"there is no file " + text + " on the machine"};
  return *node;
}

// ---- Verbs -------------------------------------------------------------------------------

enum class Access { None, Create, Read, Change };

struct Verb {
  const char* name;
  const char* usage;
  const char* help;
  std::size_t minWords, maxWords;  // DIR included
  std::vector<Option> options;
  Access access;
  // Changes or reads the machine; what it says goes to standard output.
  std::function<std::string(sim::Machine&, const Args&)> run;
};

// A printer of another maker, as a fresh Windows often has one.
void AddOtherMakersPrinter(sim::Machine& m) {
  sim::DriverRecord driver;
  driver.name = u"Fenwick LaserPro 400 PCL6";
  driver.environment = u"Windows x64";
  driver.driverFile = u"fwlp4drv.dll";
  driver.dataFile = u"fwlp4.gpd";
  driver.configFile = u"fwlp4ui.dll";
  driver.helpFile = u"fwlp4.hlp";
  driver.manufacturer = driver.provider = u"Fenwick";
  sim::RegisterDriver(m, driver);
  const std::u16string dir = sim::DriverVersionDir(m, driver.environment, driver.version) + u"\\";
  m.AddFile(dir + driver.driverFile, sim::VersionedFileImage(1412, 96 * 1024));
  m.AddFile(dir + driver.configFile, sim::VersionedFileImage(1412, 64 * 1024));
  m.AddFile(dir + driver.dataFile, std::vector<std::uint8_t>(3000, '*'));
  m.AddFile(dir + driver.helpFile, std::vector<std::uint8_t>(8000, '?'));
  sim::WritePrinter(m, {u"Office Laser", driver.name, u"LPT1:", u"Second floor copier room", u"Second floor", 0});
  sim::SetDefaultPrinter(m, u"Office Laser");
}

void SetSettingsKey(sim::Machine& m, const std::u16string& printer, const std::u16string& key,
                    const std::string& name) {
  // Stored as the spooler stores text that came through an 8-bit call.
  const std::string ansi = sim::WideToAnsi(FromUtf8(name));
  std::vector<std::uint8_t> bytes(ansi.begin(), ansi.end());
  bytes.push_back(0);
  m.SetValue(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(printer, key), u"SubKey", win::REG_SZ,
             sim::StoredFromAnsi(bytes));
}

sim::Service& Spooler(sim::Machine& m) {
  sim::Service* spooler = m.FindService(u"Spooler");
  if (!spooler) throw BadInput{"the machine has no spooler service"};
  return *spooler;
}

std::string SpoolerVerb(sim::Machine& m, const Args& a) {
  sim::Service& s = Spooler(m);
  const std::string& action = a.words[1];
  auto noMore = [&](std::size_t words) {
    if (a.words.size() != words) throw BadInput{"spooler " + action + " takes " + std::to_string(words - 2) + " more words"};
  };
  if (action == "delays") {
    noMore(4);
    s.stopDelayMs = static_cast<win::DWORD>(Number(a.words[2], "the stop delay", UINT32_MAX));
    s.startDelayMs = static_cast<win::DWORD>(Number(a.words[3], "the start delay", UINT32_MAX));
    return "the spooler now takes " + a.words[2] + " ms to stop and " + a.words[3] + " ms to start";
  }
  if (action == "refuse-start") {
    noMore(3);
    s.startError = static_cast<win::DWORD>(Number(a.words[2], "the error code", UINT32_MAX));
    return s.startError ? "the spooler refuses to start with error " + a.words[2] : "the spooler starts again";
  }
  noMore(2);
  if (action == "stop") {
    s.state = win::SERVICE_STOPPED;
  } else if (action == "start") {
    s.state = win::SERVICE_RUNNING;
  } else if (action == "stopping" || action == "starting") {
    const bool stop = action == "stopping";
    if (s.state != (stop ? win::SERVICE_RUNNING : win::SERVICE_STOPPED))
      throw BadInput{std::string("the spooler must be ") + (stop ? "running" : "stopped") + " first"};
    stop ? m.BeginServiceStop(s) : m.BeginServiceStart(s);
  } else if (action == "hang-stopping") {
    s.stopHangs = true;
    return "the spooler stays stopping for good when it is stopped";
  } else if (action == "hang-starting") {
    s.startHangs = true;
    return "the spooler stays starting for good when it is started";
  } else if (action == "no-hang") {
    s.stopHangs = s.startHangs = false;
    return "the spooler stops and starts normally";
  } else {
    throw BadInput{"unknown spooler action \"" + action + "\""};
  }
  return "the spooler is " + std::string(s.state == win::SERVICE_RUNNING   ? "running"
                                         : s.state == win::SERVICE_STOPPED ? "stopped"
                                         : s.state == win::SERVICE_STOP_PENDING ? "stopping"
                                                                                 : "starting");
}

std::string TrayVerb(sim::Machine& m, const Args& a) {
  const std::string& action = a.words[1];
  if (action == "end") {
    if (a.words.size() != 2 || !a.options.empty()) throw BadInput{"tray end takes nothing more"};
    if (!m.companion.running) throw BadInput{"the tray companion does not run"};
    sim::EndCompanion(m);
    return "the tray companion ended";
  }
  if (action != "start" || a.words.size() != 2) throw BadInput{"tray needs start or end"};
  if (m.companion.running) throw BadInput{"the tray companion runs already"};
  sim::CompanionBehaviour behaviour;
  const std::string kind = a.Get("behaviour", "answering");
  if (kind == "slow") {
    behaviour.windowDelayMs = 2000;
    behaviour.exitDelayMs = 3000;
  } else if (kind == "deaf") {
    behaviour.ignoresExitRequest = true;
  } else if (kind == "abandoning") {
    behaviour.abandonsMutex = true;
  } else if (kind != "answering") {
    throw BadInput{"the behaviour must be answering, slow, deaf or abandoning"};
  }
  if (a.Has("window-delay"))
    behaviour.windowDelayMs = static_cast<win::DWORD>(Number(a.Get("window-delay"), "the window delay", UINT32_MAX));
  if (a.Has("exit-delay"))
    behaviour.exitDelayMs = static_cast<win::DWORD>(Number(a.Get("exit-delay"), "the exit delay", UINT32_MAX));
  const sim::FileNode& image = ExistingFile(m, a.Get("image", Utf8(TrayProgram)));
  m.companionBehaviour = behaviour;
  sim::StartCompanion(m, image.path);
  return "the tray companion runs from " + Utf8(image.path) + " (" + kind + ")";
}

std::string AddPrinterVerb(sim::Machine& m, const Args& a) {
  sim::PrinterRecord printer;
  printer.name = FromUtf8(a.words[1]);
  if (printer.name.empty() || printer.name.find_first_of(u"\\,") != std::u16string::npos)
    throw BadInput{"a printer name must not be empty nor hold \\ or ,"};
  sim::PrinterRecord existing;
  if (sim::FindPrinter(m, printer.name, existing)) throw BadInput{"the printer " + a.words[1] + " exists already"};
  printer.driver = FromUtf8(a.Get("driver", "Corvane printer"));
  printer.port = FromUtf8(a.Get("port", "Corvane:"));
  printer.comment = FromUtf8(a.Get("comment"));
  printer.location = FromUtf8(a.Get("location"));
  const auto jobs = Number(a.Get("jobs", "0"), "the number of jobs", 999);
  sim::WritePrinter(m, printer);
  if (a.Has("settings") || a.Has("plain-settings"))
    SetSettingsKey(m, printer.name, u"", a.Get("plain-settings", a.Get("settings")));
  if (a.Has("settings") || a.Has("dsuser-settings"))
    SetSettingsKey(m, printer.name, u"DsUser", a.Get("dsuser-settings", a.Get("settings")));
  if (a.Has("default")) sim::SetDefaultPrinter(m, printer.name);
  for (std::uint64_t i = 0; i < jobs; ++i) sim::AddJob(m, printer.name);
  return "added the printer " + a.words[1];
}

std::string AddConnectionVerb(sim::Machine& m, const Args& a) {
  const std::u16string name = FromUtf8(a.words[1]);
  const std::size_t split = name.rfind(u'\\');
  if (name.rfind(u"\\\\", 0) != 0 || split < 3 || split + 1 == name.size() ||
      name.find_first_of(u",") != std::u16string::npos || name.find(u'\\', 2) != split)
    throw BadInput{"a connection is named \\\\SERVER\\NAME"};
  sim::AddConnection(m, name.substr(2, split - 2), name.substr(split + 1),
                     FromUtf8(a.Get("driver", "Corvane printer")));
  return "added the connection " + a.words[1];
}

std::string LockVerb(sim::Machine& m, const Args& a) {
  const sim::FileNode& file = ExistingFile(m, a.words[1]);
  win::DWORD share = 0;
  const std::string shares = a.Get("share", "none");
  if (shares != "none") {
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = shares.find(',', start);
      const std::string part = shares.substr(start, comma - start);
      if (part == "read") share |= win::FILE_SHARE_READ;
      else if (part == "write") share |= win::FILE_SHARE_WRITE;
      else if (part == "delete") share |= win::FILE_SHARE_DELETE;
      else throw BadInput{"--share takes none or read, write and delete joined by commas"};
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  const std::uint64_t forMs = a.Has("for") ? Number(a.Get("for"), "--for", UINT64_MAX - 1) : UINT64_MAX;
  m.HoldFile(file.path, forMs, share, a.Get("holder", "another process"));
  m.holds.back().image = a.Has("image");
  return Utf8(file.path) + " is held open " + (a.Has("for") ? "for " + a.Get("for") + " ms" : "until released");
}

std::string UnlockVerb(sim::Machine& m, const Args& a) {
  const std::u16string path = WindowsPath(m, a.words[1]);
  const std::u16string key = sim::Machine::Key(path);
  if (std::none_of(m.holds.begin(), m.holds.end(), [&](const sim::ExternalHold& h) { return h.key == key; }))
    throw BadInput{"nothing holds " + a.words[1] + " open"};
  m.ReleaseFile(path);
  return "released " + a.words[1];
}

std::string FaultVerb(sim::Machine& m, const Args& a) {
  const std::string& call = a.words[1];
  if (call.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") != std::string::npos)
    throw BadInput{"\"" + call + "\" is no name of a platform call"};
  const bool kill = a.Has("kill");
  if (kill && (a.Has("error") || a.Has("count"))) throw BadInput{"--kill takes neither --error nor --count"};
  const std::string count = a.Get("count", "1");
  const int times = count == "always" ? -1 : static_cast<int>(Number(count, "--count", INT32_MAX));
  if (times == 0) throw BadInput{"--count must be 1 or more, or always"};
  const auto error = static_cast<win::DWORD>(Number(a.Get("error", "5"), "--error", UINT32_MAX));
  const int skip = static_cast<int>(Number(a.Get("skip", "0"), "--skip", INT32_MAX));
  m.Fail(call, kill ? 0 : error, times, skip, FromUtf8(a.Get("match"))).kill = kill;
  return kill ? "the program will be killed at " + call : call + " will fail with error " + std::to_string(error);
}

std::string KillVerb(sim::Machine& m, const Args& a) {
  if (!a.Has("at-call")) throw BadInput{"kill needs --at-call N"};
  const auto call = static_cast<int>(Number(a.Get("at-call"), "--at-call", INT32_MAX));
  if (call == 0) throw BadInput{"--at-call must be 1 or more"};
  m.killAtCall = call;
  return "the next run will be killed at its platform call " + std::to_string(call);
}

std::string ClearFaultsVerb(sim::Machine& m, const Args& a) {
  const std::size_t before = m.faults.size();
  std::erase_if(m.faults, [&](const sim::Fault& f) { return a.words.size() == 1 || f.call == a.words[1]; });
  return "cleared " + std::to_string(before - m.faults.size()) + " fault(s)";
}

std::string ShiftVerb(sim::Machine& m, const Args& a) {
  if (a.words[1] != "down" && a.words[1] != "up") throw BadInput{"shift takes down or up"};
  m.shiftHeld = a.words[1] == "down";
  return std::string("Shift is ") + (m.shiftHeld ? "held down" : "up");
}

std::string SessionVerb(sim::Machine& m, const Args& a) {
  m.session = static_cast<win::DWORD>(Number(a.words[1], "the session", 65535));
  m.runsAsSystem = a.Has("as-system");
  return "the next runs start in session " + a.words[1] + (m.runsAsSystem ? " as SYSTEM" : " as the user");
}

std::string SetBuildVerb(sim::Machine& m, const Args& a) {
  const auto build = static_cast<unsigned>(Number(a.words[2], "the build", 0xFFFF));
  const std::u16string path = WindowsPath(m, a.words[1]);
  sim::FileNode* node = m.FindFile(path);
  if (node && node->directory) throw BadInput{a.words[1] + " is a folder"};
  if (!node) {
    m.AddFile(path, sim::VersionedFileImage(build, 32 * 1024));
    return "made " + a.words[1] + " with build " + a.words[2];
  }
  if (!sim::SetFileBuild(node->data, build)) throw BadInput{a.words[1] + " carries no version information"};
  return Utf8(node->path) + " now carries build " + a.words[2];
}

std::string PendingVerb(sim::Machine& m, const Args& a) {
  const std::u16string source = WindowsPath(m, a.words[1]);
  const std::u16string target = a.words.size() > 2 ? WindowsPath(m, a.words[2]) : u"";
  if (target.empty() && a.Has("replace")) throw BadInput{"--replace needs a target"};
  sim::AddPendingOperation(m, source, target, a.Has("replace"));
  return target.empty() ? Utf8(source) + " is deleted at the next reboot"
                        : Utf8(source) + " moves to " + Utf8(target) + " at the next reboot";
}

std::string HelpWindowVerb(sim::Machine& m, const Args& a) {
  const auto delay = static_cast<win::DWORD>(Number(a.Get("close-delay", "0"), "--close-delay", UINT32_MAX));
  m.AddHelpWindow(delay, !a.Has("never-closes"));
  return "a help window is open";
}

const std::vector<Verb>& Verbs() {
  static const std::vector<Verb> verbs = {
      {"new", "new DIR",
       "Makes DIR (new or empty) hold a fresh machine like a current 64-bit Windows: the spooler\n"
       "running, the local port monitor with its ports (LPT1:, FILE: ...), the printer \"Office Laser\"\n"
       "of another maker on LPT1: as the default printer, the installer in\n"
       "C:\\Program Files\\Corvane\\Setup with the package files of build 2620 beside it, and\n"
       "C:\\Program Files\\Corvane\\cortray.exe.",
       1, 1, {}, Access::Create,
       [](sim::Machine& m, const Args&) {
         sim::SetUpDefaultMachine(m);
         AddOtherMakersPrinter(m);
         return std::string("a new machine is ready");
       }},
      {"show", "show DIR",
       "Prints what the setup program touches: the spooler, port monitors, drivers, printers (port,\n"
       "driver, comment, location, SubKey plain and under DsUser, default mark, queued jobs), the\n"
       "tray companion and its Run value, pending file operations, the product's files with their\n"
       "builds, held files, armed faults, help windows and what is due on the virtual clock.",
       1, 1, {}, Access::Read, [](sim::Machine& m, const Args&) { return simtool::Summary(m); }},
      {"lock", "lock DIR PATH [--for MS] [--share none|read,write,delete] [--holder NAME] [--image]",
       "Another process holds the file PATH open, until released (unlock) or for MS ms of virtual\n"
       "time, letting others share it as --share says (none unless given). --image makes it a\n"
       "running program, which cannot be deleted either.",
       2, 2, {{"for", true}, {"share", true}, {"holder", true}, {"image", false}}, Access::Change, LockVerb},
      {"unlock", "unlock DIR PATH", "Ends every hold on the file PATH.", 2, 2, {}, Access::Change, UnlockVerb},
      {"fault", "fault DIR CALL [--error CODE] [--count N|always] [--skip N] [--match TEXT]\n"
       "fault DIR CALL --kill [--skip N] [--match TEXT]",
       "Makes the platform call CALL (e.g. DeleteFileW, AddPrinterW, StartServiceW) fail with the\n"
       "error CODE (5, access denied, unless given) N times (1 unless given), after N calls have\n"
       "passed, only for calls whose path or name contains TEXT when given. With --kill the program\n"
       "is killed as it makes that call instead: the call does not happen, and the machine keeps\n"
       "what the program left behind (written data, a stopped spooler, an abandoned mutex).",
       2, 2, {{"error", true}, {"count", true}, {"skip", true}, {"match", true}, {"kill", false}}, Access::Change,
       FaultVerb},
      {"kill", "kill DIR --at-call N",
       "The next run of corvane-setup on DIR is killed as it makes its Nth platform call (every\n"
       "call but the C runtime heap's counts), as --kill does for one named call.",
       1, 1, {{"at-call", true}}, Access::Change, KillVerb},
      {"clear-faults", "clear-faults DIR [CALL]", "Disarms every fault, or those of CALL.", 1, 2, {}, Access::Change,
       ClearFaultsVerb},
      {"session", "session DIR N [--as-system]",
       "The next runs of corvane-setup start in session N (0: the services' session, where a\n"
       "deployment tool's installer runs; 1: the user's, as on a new machine), as the user at the\n"
       "machine or, with --as-system, as SYSTEM. Windows and named mutexes belong to one session.",
       2, 2, {{"as-system", false}}, Access::Change, SessionVerb},
      {"shift", "shift DIR down|up", "Holds the Shift key down, or lets it go.", 2, 2, {}, Access::Change, ShiftVerb},
      {"spooler",
       "spooler DIR stop|start|stopping|starting|hang-stopping|hang-starting|no-hang\n"
       "spooler DIR delays STOP_MS START_MS\n"
       "spooler DIR refuse-start CODE",
       "stop, start: the spooler is stopped or running at once. stopping, starting: it begins to stop\n"
       "or start and gets there after its delay. hang-stopping, hang-starting: when it is stopped\n"
       "(started) it stays stopping (starting) for good; no-hang undoes both. delays: how long a\n"
       "stop and a start take. refuse-start: starting it fails with CODE (0: it starts again).",
       2, 4, {}, Access::Change, SpoolerVerb},
      {"tray",
       "tray DIR start [--behaviour answering|slow|deaf|abandoning] [--window-delay MS] [--exit-delay MS] "
       "[--image PATH]\n"
       "tray DIR end",
       "start: the tray companion runs, in the user's session 1. answering: its window is there at\n"
       "once and it ends 100 ms after it is asked to; slow: its window appears after 2 s and it ends\n"
       "3 s after the request; deaf: it ignores the request; abandoning: it ends without releasing\n"
       "its mutex. The delays can be set one by one. end: it ends as the user would end it.",
       2, 2, {{"behaviour", true}, {"window-delay", true}, {"exit-delay", true}, {"image", true}}, Access::Change,
       TrayVerb},
      {"add-printer",
       "add-printer DIR NAME [--driver D] [--port P] [--comment C] [--location L] [--settings KEY] "
       "[--plain-settings KEY] [--dsuser-settings KEY] [--default] [--jobs N]",
       "Adds the printer NAME (driver \"Corvane printer\" on port \"Corvane:\" unless given). --settings\n"
       "writes the settings key name SubKey both plain and under DsUser, the other two in one place\n"
       "only. --default makes it the default printer; --jobs queues N jobs on it.",
       2, 2,
       {{"driver", true}, {"port", true}, {"comment", true}, {"location", true}, {"settings", true},
        {"plain-settings", true}, {"dsuser-settings", true}, {"default", false}, {"jobs", true}},
       Access::Change, AddPrinterVerb},
      {"add-connection", "add-connection DIR \\\\SERVER\\NAME [--driver D]",
       "Connects the user to the printer NAME of the computer SERVER, which uses the driver D\n"
       "(\"Corvane printer\" unless given) on this machine too.",
       2, 2, {{"driver", true}}, Access::Change, AddConnectionVerb},
      {"set-build", "set-build DIR PATH BUILD",
       "Makes the file PATH carry BUILD in its version information (a new file when there is none).", 3, 3, {},
       Access::Change, SetBuildVerb},
      {"pending", "pending DIR SOURCE [TARGET] [--replace]",
       "Adds a file operation for the next reboot, as MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT:\n"
       "SOURCE is deleted, or moved to TARGET (replacing what is there with --replace).",
       2, 3, {{"replace", false}}, Access::Change, PendingVerb},
      {"help-window", "help-window DIR [--close-delay MS] [--never-closes]",
       "Opens the product's help window; it closes MS ms after a close request, or never.", 1, 1,
       {{"close-delay", true}, {"never-closes", false}}, Access::Change, HelpWindowVerb},
      {"wait", "wait DIR MS", "Lets MS ms of virtual time pass; what is due meanwhile happens.", 2, 2, {},
       Access::Change,
       [](sim::Machine& m, const Args& a) {
         m.Advance(Number(a.words[1], "the time", 365ull * 24 * 3600 * 1000));
         return "the clock reads " + std::to_string(m.nowMs) + " ms";
       }},
      {"reboot", "reboot DIR",
       "Restarts the machine: pending file operations are carried out, the tray companion and other\n"
       "processes end, held files are let go, services come back up.",
       1, 1, {}, Access::Change,
       [](sim::Machine& m, const Args&) {
         sim::Reboot(m);
         return std::string("the machine has restarted");
       }},
  };
  return verbs;
}

const Verb* FindVerb(const std::string& name) {
  for (const auto& verb : Verbs())
    if (name == verb.name) return &verb;
  return nullptr;
}

// The text's lines, the first after `first` and the others after `then`.
std::string Lines(const std::string& text, const std::string& first, const std::string& then) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    out += (start == 0 ? first : then) + text.substr(start, end - start) + "\n";
    start = end + 1;
  }
  return out;
}

void PrintHelp(const Verb* only) {
  if (!only) {
    std::printf(
        "corvane-sim: the world around corvane-setup on a simulated machine kept in a directory\n"
        "(run corvane-setup on it with CORVANE_SIM_MACHINE=DIR). PATH is a full Windows path.\n"
        "A run waits up to CORVANE_SIM_LOCK_WAIT_MS ms (30000 unless set) while another uses DIR.\n"
        "Exit codes: 0 done, 1 the machine directory cannot be used, 2 bad input.\n\n");
  }
  for (const auto& verb : Verbs()) {
    if (only && only != &verb) continue;
    std::printf("%s", Lines(verb.usage, "corvane-sim ", "corvane-sim ").c_str());
    std::printf("%s\n", Lines(verb.help, "    ", "    ").c_str());
  }
  if (!only) std::printf("corvane-sim help [VERB]\n    Shows this text, or that of one verb.\n");
}

Args Parse(const Verb& verb, int argc, char** argv) {
  Args args;
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("--", 0) != 0) {
      args.words.push_back(word);
      continue;
    }
    const std::string name = word.substr(2);
    const auto option = std::find_if(verb.options.begin(), verb.options.end(),
                                     [&](const Option& o) { return name == o.name; });
    if (option == verb.options.end()) throw BadInput{std::string(verb.name) + " has no option " + word};
    if (args.Has(name)) throw BadInput{word + " is given twice"};
    if (option->takesValue && i + 1 == argc) throw BadInput{word + " needs a value"};
    args.options[name] = option->takesValue ? argv[++i] : "";
  }
  if (args.words.size() < verb.minWords || args.words.size() > verb.maxWords)
    throw BadInput{args.words.empty()                     ? "the machine directory is missing"
                   : args.words.size() < verb.minWords ? "words are missing"
                                                       : "there are words too many"};
  return args;
}

// How long to wait while another run uses the directory.
std::uint64_t LockWaitMs() {
  const char* wait = std::getenv("CORVANE_SIM_LOCK_WAIT_MS");
  return wait && *wait ? Number(wait, "CORVANE_SIM_LOCK_WAIT_MS") : DefaultLockWaitMs;
}

int Run(const Verb& verb, const Args& args) {
  sim::Machine machine;
  sim::MachineDirectory dir;
  std::string error;
  if (verb.access == Access::Read || verb.access == Access::Change) {
    const auto access = verb.access == Access::Read ? sim::MachineDirectory::Access::Read
                                                    : sim::MachineDirectory::Access::Change;
    error = dir.Open(args.words[0], access, LockWaitMs());
    if (error.empty()) error = dir.Load(machine);
    if (!error.empty()) {
      std::fprintf(stderr, "corvane-sim %s: %s\n", verb.name, error.c_str());
      return ExitMachineUnusable;
    }
  }
  // The virtual clock has no watchdog here: only a run of the program can hang.
  const std::uint64_t hangLimit = machine.hangLimitMs;
  machine.hangLimitMs = UINT64_MAX;
  const std::string said = verb.run(machine, args);
  machine.hangLimitMs = hangLimit;
  if (verb.access == Access::Create) error = dir.Create(args.words[0], machine, LockWaitMs());
  if (verb.access == Access::Change) error = dir.Save(machine);
  if (!error.empty()) {
    std::fprintf(stderr, "corvane-sim %s: %s\n", verb.name, error.c_str());
    return ExitMachineUnusable;
  }
  std::printf("%s%s", said.c_str(), said.empty() || said.back() == '\n' ? "" : "\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verbName = argc > 1 ? argv[1] : "";
  if (verbName == "help" || verbName == "--help" || verbName == "-h") {
    const Verb* only = argc > 2 ? FindVerb(argv[2]) : nullptr;
    if (argc > 3 || (argc > 2 && !only)) {
      std::fprintf(stderr, "corvane-sim help: no verb \"%s\"; corvane-sim help lists them\n", argc > 2 ? argv[2] : "");
      return ExitBadInput;
    }
    PrintHelp(only);
    return 0;
  }
  const Verb* verb = FindVerb(verbName);
  if (!verb) {
    std::fprintf(stderr, "corvane-sim: %s; corvane-sim help lists the verbs\n",
                 verbName.empty() ? "a verb is missing" : ("no verb \"" + verbName + "\"").c_str());
    return ExitBadInput;
  }
  try {
    return Run(*verb, Parse(*verb, argc, argv));
  } catch (const BadInput& bad) {
    std::fprintf(stderr, "corvane-sim %s: %s\n%s", verb->name, bad.message.c_str(),
                 Lines(verb->usage, "usage: corvane-sim ", "       corvane-sim ").c_str());
    return ExitBadInput;
  }
}
