// Every platform call a command makes, made to fail in turn: the run must
// end within its bounds, free what it took, keep its exit code honest and
// never lose a printer's settings.
#include <sys/wait.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <functional>
#include <set>

#include "printer_setup.h"
#include "product_places.h"
#include "run/install_state.h"
#include "sim_test.h"

namespace {

// Calls that cannot fail on Windows, and the exit itself.
const std::set<std::string> kCannotFail = {"Sleep", "GetTickCount", "GetAsyncKeyState", "IsWindow",
                                           "ExitProcess", "GetCommandLineW"};

// A code Windows would give for a failure of the call.
win::DWORD ErrorFor(const std::string& call) {
  if (call == "GlobalAlloc") return win::ERROR_NOT_ENOUGH_MEMORY;
  if (call == "CreateFileW" || call == "DeleteFileW" || call == "MoveFileExW") return win::ERROR_SHARING_VIOLATION;
  if (call.find("Printer") != std::string::npos || call.find("Monitor") != std::string::npos)
    return win::RPC_S_SERVER_UNAVAILABLE;
  if (call == "WaitForSingleObject") return win::ERROR_INVALID_HANDLE;
  return win::ERROR_ACCESS_DENIED;
}

struct Command {
  const char* name;
  std::u16string words;
  // Prepares the machine; `run` runs the program with the given words.
  std::function<void(sim::Machine&, const std::function<int(const std::u16string&)>& run)> setUp;
  bool createsState;
};

// An installed product with two printers carrying settings, a running
// companion, a neighbour on the product's port and a pending deletion.
void Installed(sim::Machine& m, const std::function<int(const std::u16string&)>& run) {
  m.shiftHeld = false;
  run(u"install");
  for (const char16_t* name : {u"Office", u"Lab"}) {
    AddProductPrinter(m, name, u"comment", u"location");
    SetSettingsKey(m, name, u"", "key" + sim::Utf8(name));
  }
  sim::SetDefaultPrinter(m, u"Lab");
  sim::WritePrinter(m, {u"Neighbour", u"Other", u"Corvane:", u"", u"", 0});
  m.AddFile(u"C:\\Windows\\Temp\\old.tmp", {1, 2, 3});
  places::SetPending(m, {u"\\??\\C:\\Windows\\Temp\\old.tmp", u""});
  m.journal.clear();
  m.dialogs.clear();
}

void PendingPackageFile(sim::Machine& m, const std::function<int(const std::u16string&)>& run) {
  Installed(m, run);
  places::SetPending(m, {u"\\??\\C:\\Windows\\system32\\vexmon64.dll", u""});
}

class FaultMatrixTest : public SimTest {
 protected:
  void SetUpCommand(const Command& command) {
    command.setUp(machine, [this](const std::u16string& words) { return Run(words); });
  }

  struct Observed {
    bool dialog = false;
    int indent = 0;
    int errors = 0;
    std::u16string log;
  };

  // What a reinstall carries across for a product printer with settings.
  struct Carried {
    std::u16string name;
    std::string keyName;
    std::u16string comment;
    std::u16string location;
    bool isDefault;
    bool operator==(const Carried&) const = default;
  };

  // The key name the program would read: the plain value, else "DsUser"'s.
  std::string KeyName(const std::u16string& printer) {
    const std::string plain = SettingsKey(machine, printer, u"");
    return plain != "<none>" ? plain : SettingsKey(machine, printer, u"DsUser");
  }

  // Every product printer with settings, as it is now.
  std::vector<Carried> ProductPrintersWithSettings() {
    std::vector<Carried> found;
    for (const auto& p : sim::Printers(machine))
      if (p.driver == u"Corvane printer" && KeyName(p.name) != "<none>")
        found.push_back({p.name, KeyName(p.name), p.comment, p.location, sim::DefaultPrinter(machine) == p.name});
    return found;
  }

  // The same printer now, with its settings, or one named "<none>".
  Carried Now(const std::u16string& name) {
    for (const Carried& now : ProductPrintersWithSettings())
      if (now.name == name) return now;
    return {u"<none>", "", u"", u"", false};
  }

  // Runs the command on a fresh machine, with `fault` armed when given.
  int RunCell(const Command& command, const sim::Fault* fault, Observed& seen) {
    Reset();
    SetUpCommand(command);
    machine.shiftHeld = true;  // every install and uninstall shows its state
    machine.hangLimitMs = machine.nowMs + 30ull * 60 * 1000;
    machine.onDialogShown = [&seen](win::LPARAM param) {
      const auto* state = reinterpret_cast<const InstallState*>(param);
      seen.dialog = true;
      seen.indent = state->Indent;
      seen.errors = state->ErrorCount;
      seen.log = Text(state->Log);
    };
    if (fault) machine.faults.push_back(*fault);
    const std::vector<Carried> before = ProductPrintersWithSettings();
    // The program may end itself (out of memory): the run stops right there.
    std::jmp_buf ended;
    machine.exitHandler = [&ended](unsigned code) { std::longjmp(ended, static_cast<int>(code) + 1); };
    const int jumped = setjmp(ended);
    if (jumped) {
      const std::string where = std::string(command.name) + " with " + (fault ? fault->call : "no fault");
      EXPECT_EQ(jumped - 1, 100) << where << ": a run that ends itself reports errors";
      EXPECT_EQ(fault ? fault->call : "", "GlobalAlloc") << where << ": ended itself";
      return jumped - 1;
    }
    const int code = Run(command.words);
    CheckCell(command, fault, before, code, seen);
    return code;
  }

  void CheckCell(const Command& command, const sim::Fault* fault, const std::vector<Carried>& before, int code,
                 const Observed& seen) {
    const std::string where =
        std::string(command.name) + (fault ? " with " + fault->call + " #" + std::to_string(fault->skip + 1) : "");
    EXPECT_TRUE(machine.crtBlocks.empty()) << where << ": strings not freed";
    EXPECT_TRUE(machine.globalBlocks.empty()) << where << ": global blocks not freed";
    EXPECT_TRUE(machine.localBlocks.empty()) << where << ": system texts not freed";
    // A close that fails leaves its handle behind: that is the fault, not a leak.
    const bool closing = fault && (fault->call == "CloseHandle" || fault->call == "CloseServiceHandle" ||
                                   fault->call == "RegCloseKey" || fault->call == "ClosePrinter");
    EXPECT_TRUE(closing || machine.handles.empty()) << where << ": handles left open";
    const bool split = !fault || fault->call != "CommandLineToArgvW";
    EXPECT_TRUE(split || code == 6) << where << ": exit " << code;
    const bool shown = !fault || fault->call != "DialogBoxParamW";
    // A log file that cannot be created ends the run before it begins.
    const bool opensLog = fault && fault->skip == 0 &&
                          (fault->call == "CreateFileW" || fault->call == "GetFileInformationByHandle" ||
                           fault->call == "SetEndOfFile");
    const bool logged = command.words.find(u"/log=") == std::u16string::npos || !opensLog;
    EXPECT_TRUE(logged || code == 6) << where << ": exit " << code;
    if (command.createsState && split && shown && logged) {
      ASSERT_TRUE(seen.dialog) << where;
      EXPECT_EQ(seen.indent, 0) << where;
      // 107: an install refused, before it changed anything, for a package it cannot trust.
      EXPECT_EQ(code == 100 || code == 107, seen.errors > 0) << where << ": exit " << code << " with " << seen.errors << " errors";
      EXPECT_TRUE(code == 1 || code == 2 || code == 100 || code == 101 || code == 107) << where << ": exit " << code;
    } else {
      EXPECT_FALSE(seen.dialog) << where;
    }
    // An uninstall takes every product printer away by design.
    if (command.words != u"install") return;
    for (const Carried& printer : before) {
      // Back as it was, or the run owned up to it by name.
      bool named = false;
      for (const auto& line : Lines(seen.log))
        named = named || (line.find(u"Error(") != std::u16string::npos &&
                          line.find(u"'" + printer.name + u"'") != std::u16string::npos);
      EXPECT_TRUE(Now(printer.name) == printer || (code == 100 && named))
          << where << ": " << sim::Utf8(printer.name) << " lost its settings and the run did not say so";
    }
  }

  // Every failable call of a clean run, each made to fail alone.
  int Sweep(const Command& command) {
    Observed clean;
    RunCell(command, nullptr, clean);
    const std::vector<sim::JournalEntry> calls = machine.journal;
    std::map<std::string, int> seen;
    int cells = 0;
    for (const auto& entry : calls) {
      const int occurrence = seen[entry.call]++;
      if (kCannotFail.count(entry.call)) continue;
      sim::Fault fault;
      fault.call = entry.call;
      fault.error = ErrorFor(entry.call);
      fault.skip = occurrence;
      fault.count = 1;
      Observed observed;
      RunCell(command, &fault, observed);
      ++cells;
      if (HasFatalFailure()) break;
    }
    return cells;
  }
};

const Command kCommands[] = {
    {"reinstall", u"install", Installed, true},
    {"uninstall", u"uninstall", Installed, true},
    {"reinstall with a log file", u"install /log=C:\\Windows\\Temp\\corvane.log", Installed, true},
    {"removetray", u"removetray", Installed, false},
    {"onInit", u"onInit", PendingPackageFile, false},
    {"onChkDrv", u"onChkDrv", Installed, false},
    {"def.set", u"def.set", Installed, false},
};

TEST_F(FaultMatrixTest, EveryCallOfEveryCommandFailsAlone) {
  int cells = 0;
  for (const auto& command : kCommands) {
    const int n = Sweep(command);
    std::printf("fault matrix: %s: %d cells\n", command.name, n);
    cells += n;
  }
  std::printf("fault matrix: %d cells run\n", cells);
  EXPECT_GT(cells, 300) << "the sweep lost most of its calls";
}

// Running out of the ordinary heap ends the run at once with 100, at any
// allocation or growth: each cell runs in a child process.
TEST_F(FaultMatrixTest, OutOfMemoryAtAnyAllocationEndsWithErrors) {
  const Command& reinstall = kCommands[0];
  int cells = 0;
  for (const char* call : {"malloc", "realloc"}) {
    Reset();
    SetUpCommand(reinstall);
    const int before = machine.quietCalls[call];
    Run(reinstall.words);
    const int calls = machine.quietCalls[call] - before;
    ASSERT_GT(calls, 10) << call;
    std::printf("fault matrix: %s: %d calls in a reinstall\n", call, calls);
    for (int skip = 0; skip < calls; ++skip) {
      std::fflush(nullptr);
      const pid_t child = fork();
      if (child == 0) {
        Reset();
        SetUpCommand(reinstall);
        machine.Fail(call, 0, 1, skip);
        Run(reinstall.words);
        _exit(77);  // the run went on without the memory it asked for
      }
      int status = 0;
      waitpid(child, &status, 0);
      ASSERT_TRUE(WIFEXITED(status)) << call << " " << skip << " crashed the run";
      EXPECT_EQ(WEXITSTATUS(status), 100) << call << " " << skip;
      ++cells;
    }
  }
  std::printf("fault matrix: %d allocation cells run\n", cells);
}

}  // namespace
