#include "platform/sim/machine_host.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

constexpr std::uint64_t DefaultLockWaitMs = 30000;

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

bool EnvIs(const char* name, const char* value) {
  const char* set = std::getenv(name);
  return set && std::string(set) == value;
}

}  // namespace

bool MachineHost::Start(const char* program) {
  program_ = program;
  const char* dir = std::getenv("CORVANE_SIM_MACHINE");
  if (!dir || !*dir) {
    SetUpDefaultMachine(machine_);
    return true;
  }
  dirName_ = dir;
  const char* wait = std::getenv("CORVANE_SIM_LOCK_WAIT_MS");
  const std::uint64_t waitMs = wait && *wait ? std::strtoull(wait, nullptr, 10) : DefaultLockWaitMs;
  std::string error = store_.Open(dirName_, MachineDirectory::Access::Change, waitMs);
  if (error.empty()) error = store_.Load(machine_);
  if (!error.empty()) {
    std::fprintf(stderr, "%s: cannot use the machine in %s: %s\n", program, dir, error.c_str());
    return false;
  }
  persistent_ = true;
  return true;
}

void MachineHost::SetCommandLine(int argc, char** argv) {
  machine_.commandLine = u"\"" + machine_.modulePath + u"\"";
  for (int i = 1; i < argc; ++i) machine_.commandLine += u" " + Quote(FromUtf8(argv[i]));
}

int MachineHost::Finish(int code) {
  SetCurrent(nullptr);
  if (!persistent_) return code;
  persistent_ = false;
  EndProgram(machine_);
  machine_.shiftHeld = shiftBefore_;
  machine_.killAtCall = 0;  // it was meant for this run only
  const std::string error = store_.Save(machine_, [] {
    if (EnvIs("CORVANE_SIM_DIE_BEFORE_SWITCH", "1")) std::raise(SIGKILL);
  });
  if (error.empty()) return code;
  std::fprintf(stderr, "%s: cannot save the machine in %s: %s\n", program_.c_str(), dirName_.c_str(), error.c_str());
  return ExitMachineUnusable;
}

void MachineHost::HoldShiftForThisRun() {
  shiftBefore_ = machine_.shiftHeld;
  if (EnvIs("CORVANE_SIM_SHIFT", "1")) machine_.shiftHeld = true;
}

}  // namespace sim
