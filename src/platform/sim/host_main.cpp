// The native corvane-setup: runs the program's entry on a simulated machine;
// the simulated desktop draws any dialog the program shows on standard error.
//
//   CORVANE_SIM_MACHINE=DIR   runs on the machine saved in DIR (see
//                             machine_store.h) and saves it back when the
//                             program ends, through ExitProcess too; without
//                             it the run has a fresh default machine to itself
//   CORVANE_SIM_SHIFT=1       holds the Shift key down during this run
//   CORVANE_SIM_LOCK_WAIT_MS  how long to wait while another run uses DIR
//                             (30000 unless given)
//   CORVANE_SIM_DIE_BEFORE_SWITCH=1  for tests: the run is killed once its new
//                             snapshot is written, before it takes effect
//
// A kill armed on the machine (corvane-sim kill, or a fault with --kill)
// ends the process with SIGKILL at that call, once the machine as the
// program left it is saved.
//
// A machine directory that cannot be used ends the run with exit code 125
// and a message on standard error.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands/entry.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_store.h"

namespace {

// Quotes one word so that the shell's splitting gives it back unchanged.
std::u16string Quote(const std::u16string& word) {
  if (!word.empty() && word.find_first_of(u" \t\"") == std::u16string::npos) return word;
  std::u16string out = u"\"";
  std::size_t backslashes = 0;
  for (char16_t c : word) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, u'\\');
  return out + u"\"";
}

constexpr int ExitMachineUnusable = 125;
constexpr std::uint64_t DefaultLockWaitMs = 30000;
constexpr std::uint64_t RunWatchdogMs = 24ull * 3600 * 1000;

bool EnvIs(const char* name, const char* value) {
  const char* set = std::getenv(name);
  return set && std::string(set) == value;
}

class Host {
 public:
  // False, with the reason on standard error, when the machine cannot be had.
  bool Start() {
    const char* dir = std::getenv("CORVANE_SIM_MACHINE");
    if (!dir || !*dir) {
      sim::SetUpDefaultMachine(machine_);
      return true;
    }
    dirName_ = dir;
    const char* wait = std::getenv("CORVANE_SIM_LOCK_WAIT_MS");
    const std::uint64_t waitMs = wait && *wait ? std::strtoull(wait, nullptr, 10) : DefaultLockWaitMs;
    std::string error = store_.Open(dirName_, sim::MachineDirectory::Access::Change, waitMs);
    if (error.empty()) error = store_.Load(machine_);
    if (!error.empty()) {
      std::fprintf(stderr, "corvane-setup: cannot use the machine in %s: %s\n", dir, error.c_str());
      return false;
    }
    persistent_ = true;
    return true;
  }

  sim::Machine& machine() { return machine_; }

  // The program's process is gone; the machine goes back to its directory.
  int Finish(int code) {
    sim::SetCurrent(nullptr);
    if (!persistent_) return code;
    persistent_ = false;
    sim::EndProgram(machine_);
    machine_.shiftHeld = shiftBefore_;
    machine_.killAtCall = 0;  // it was meant for this run only
    const std::string error = store_.Save(machine_, [] {
      if (EnvIs("CORVANE_SIM_DIE_BEFORE_SWITCH", "1")) std::raise(SIGKILL);
    });
    if (error.empty()) return code;
    std::fprintf(stderr, "corvane-setup: cannot save the machine in %s: %s\n", dirName_.c_str(), error.c_str());
    return ExitMachineUnusable;
  }

  void HoldShiftForThisRun() {
    shiftBefore_ = machine_.shiftHeld;
    if (EnvIs("CORVANE_SIM_SHIFT", "1")) machine_.shiftHeld = true;
  }

 private:
  sim::Machine machine_;
  sim::MachineDirectory store_;
  std::string dirName_;
  bool persistent_ = false;
  bool shiftBefore_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  static Host host;
  if (!host.Start()) return ExitMachineUnusable;
  sim::Machine& machine = host.machine();
  sim::SetCurrent(&machine);
  host.HoldShiftForThisRun();
  machine.renderDialogs = true;
  machine.hangLimitMs = machine.nowMs + RunWatchdogMs;
  machine.exitHandler = [](unsigned code) { std::_Exit(host.Finish(static_cast<int>(code))); };
  machine.killHandler = [] {
    if (host.Finish(0) == ExitMachineUnusable) std::_Exit(ExitMachineUnusable);
    std::fflush(nullptr);
    std::raise(SIGKILL);
  };
  machine.commandLine = u"\"" + machine.modulePath + u"\"";
  for (int i = 1; i < argc; ++i) machine.commandLine += u" " + Quote(sim::FromUtf8(argv[i]));
  const int code = CorvaneEntry(reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000}));
  return host.Finish(code);
}
