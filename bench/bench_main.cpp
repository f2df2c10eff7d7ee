// Measurements: how the log grows, how long each command waits on the
// simulated clock next to what its contract forces, and the size of the
// Windows executable.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "commands/entry.h"
#include "run/log.h"
#include "platform/sim/machine.h"
#include "platform/sim/print_store.h"

namespace {

constexpr char16_t TypicalLine[] = u"CopyFile %s to %s)- OK";

win::HINSTANCE Instance() { return reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000}); }

void LogLines(benchmark::State& run) {
  sim::Machine machine;
  sim::SetCurrent(&machine);
  const auto lines = run.range(0);
  std::size_t reallocations = 0, characters = 0;
  for (auto _ : run) {
    InstallState state{};
    state.Indent = 2;
    const auto before = machine.crtSizesSeen.size();
    for (int64_t i = 0; i < lines; ++i)
      LogFormat(state, TypicalLine, u"vexdrv64.dll", u"C:\\Windows\\system32\\spool\\drivers\\x64\\");
    reallocations = machine.crtSizesSeen.size() - before;
    characters = Length(state.Log);
    Release(state.Log);
    machine.crtSizesSeen.clear();
  }
  run.counters["reallocs"] = static_cast<double>(reallocations);
  run.counters["limit"] = static_cast<double>(characters / 32 + 1);
  run.counters["ns_per_line"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
  sim::SetCurrent(nullptr);
}

void U16StringLines(benchmark::State& run) {
  const auto lines = run.range(0);
  const std::u16string line = u"    CopyFile vexdrv64.dll to C:\\Windows\\system32\\spool\\drivers\\x64\\)- OK\r\n";
  for (auto _ : run) {
    std::u16string log;
    for (int64_t i = 0; i < lines; ++i) log += line;
    benchmark::DoNotOptimize(log.data());
  }
  run.counters["ns_per_line"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

BENCHMARK(LogLines)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(U16StringLines)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

struct WaitCase {
  const char* name;
  std::u16string words;
  void (*setUp)(sim::Machine&);
  // What the contract forces: sleeps it prescribes and the other parties'
  // own delays it must wait out, in milliseconds.
  std::uint64_t (*forced)(const sim::Machine&);
};

void Install(sim::Machine& m) {
  m.commandLine = u"\"" + m.modulePath + u"\" install";
  CorvaneEntry(Instance());
}

void CleanMachine(sim::Machine&) {}
void Installed(sim::Machine& m) { Install(m); }
void InstalledWithLockedFile(sim::Machine& m) {
  Install(m);
  m.HoldFile(u"C:\\Windows\\system32\\vexmon64.dll", UINT64_MAX);
}
// Still held when the first pass tries it, free by the second.
void PendingPackageFile(sim::Machine& m) {
  Install(m);
  m.AddFile(u"C:\\Windows\\system32\\spool\\drivers\\x64\\vexdrv64.dll", {1});
  m.HoldFile(u"C:\\Windows\\system32\\spool\\drivers\\x64\\vexdrv64.dll", 500);
  m.SetValue(win::HKEY_LOCAL_MACHINE, sim::SessionManagerKey, sim::PendingOperationsValue, win::REG_MULTI_SZ,
             sim::MultiStringBytes({u"\\??\\C:\\Windows\\system32\\spool\\drivers\\x64\\vexdrv64.dll", u""}));
}

std::uint64_t SpoolerRestart(const sim::Machine& m) {
  return m.services[0].stopDelayMs + m.services[0].startDelayMs;
}

const WaitCase kWaits[] = {
    // No Run value yet: stopping the companion pauses 1 s.
    {"clean install", u"install", CleanMachine, [](const sim::Machine&) -> std::uint64_t { return 1000; }},
    // The companion ends after its own delay; its file is kept for the new start.
    {"reinstall, companion answers", u"install", Installed,
     [](const sim::Machine& m) -> std::uint64_t { return m.companionBehaviour.exitDelayMs; }},
    // Every retry of the locked file, the last one with the spooler stopped.
    {"uninstall, one locked file", u"uninstall", InstalledWithLockedFile,
     [](const sim::Machine& m) -> std::uint64_t {
       return m.companionBehaviour.exitDelayMs + m.companionBehaviour.imageReleaseMs + SpoolerRestart(m);
     }},
    // The first pass fails and restarts the spooler; the second deletes it.
    {"onInit, one pending package file", u"onInit", PendingPackageFile,
     [](const sim::Machine& m) -> std::uint64_t { return SpoolerRestart(m); }},
};

void PrintWaits() {
  std::printf("\n%-34s %14s %14s %10s\n", "simulated waits", "waited ms", "contract ms", "excess ms");
  for (const auto& c : kWaits) {
    sim::Machine machine;
    sim::SetUpDefaultMachine(machine);
    sim::SetCurrent(&machine);
    c.setUp(machine);
    const auto start = machine.nowMs;
    machine.commandLine = u"\"" + machine.modulePath + u"\" " + c.words;
    CorvaneEntry(Instance());
    const auto waited = machine.nowMs - start;
    const auto forced = c.forced(machine);
    std::printf("%-34s %14llu %14llu %10lld\n", c.name, static_cast<unsigned long long>(waited),
                static_cast<unsigned long long>(forced), static_cast<long long>(waited - forced));
    sim::SetCurrent(nullptr);
  }
}

// Milliseconds one run of the words takes on the machine, in real time.
double TimedRun(sim::Machine& m, const std::u16string& words) {
  m.commandLine = u"\"" + m.modulePath + u"\" " + words;
  const auto start = std::chrono::steady_clock::now();
  CorvaneEntry(Instance());
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The product installed, `count` printers of it each with its settings key,
// comment and location, and as many printers of another maker: a print
// server's load. A reinstall must bring every one back whole.
void PrintPrinterScaling() {
  std::printf("\n%-10s %14s %8s %14s %8s %12s\n", "printers", "reinstall ms", "x", "uninstall ms", "x", "back whole");
  double reinstallBefore = 0, uninstallBefore = 0;
  for (int count : {10, 100, 1000}) {
    sim::Machine machine;
    sim::SetUpDefaultMachine(machine);
    sim::SetCurrent(&machine);
    Install(machine);
    for (int i = 0; i < count; ++i) {
      const std::u16string n = sim::Number(i), name = u"Queue " + n;
      sim::WritePrinter(machine, {name, u"Corvane printer", u"Corvane:", u"Room " + n, u"Floor " + n, 0});
      machine.SetString(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(name, u"DsUser"), u"SubKey", u"key" + n);
      sim::WritePrinter(machine, {u"Other " + n, u"Fenwick LaserPro", u"LPT1:", u"", u"", 0});
    }
    const double reinstall = TimedRun(machine, u"install");
    int whole = 0;
    for (int i = 0; i < count; ++i) {
      const std::u16string n = sim::Number(i);
      sim::PrinterRecord p;
      whole += sim::FindPrinter(machine, u"Queue " + n, p) && p.location == u"Floor " + n &&
               machine.String(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(p.name, u"DsUser"), u"SubKey") == u"key" + n;
    }
    const double uninstall = TimedRun(machine, u"uninstall");
    std::printf("%-10d %14.1f %8.1f %14.1f %8.1f %7d/%d\n", count, reinstall,
                reinstallBefore ? reinstall / reinstallBefore : 0.0, uninstall,
                uninstallBefore ? uninstall / uninstallBefore : 0.0, whole, count);
    reinstallBefore = reinstall;
    uninstallBefore = uninstall;
    sim::SetCurrent(nullptr);
  }
}

void PrintExecutableSize(const char* path) {
  struct stat info {};
  if (stat(path, &info) == 0)
    std::printf("\n%-34s %14lld bytes\n", "corvane-setup.exe", static_cast<long long>(info.st_size));
  else
    std::printf("\n%-34s %14s\n", "corvane-setup.exe", "not built");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  PrintWaits();
  PrintPrinterScaling();
  PrintExecutableSize(argc > 1 ? argv[1] : "build/windows/corvane-setup.exe");
  return 0;
}
