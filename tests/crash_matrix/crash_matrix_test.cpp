// A reinstall or uninstall ended at each of its platform calls as if killed,
// then the command run once more: the machine must end as one uninterrupted
// run leaves it in everything the product owns. The cells run in a child
// process, as a killed program's stack is never unwound.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <functional>

#include "machine_summary.h"
#include "printer_setup.h"
#include "printer_journal_text.h"
#include "product_places.h"
#include "read_only_check.h"
#include "sim_test.h"

namespace {

// The three printers of the product with their settings, as a user leaves them.
struct UserPrinter {
  const char16_t* name;
  const char* keyName;
  const char16_t* comment;
  const char16_t* location;
};
const UserPrinter kUserPrinters[] = {
    {u"Accounts", "keyAccounts", u"Invoices", u"Room 12"},
    {u"Front desk", "keyFront", u"Reception", u""},
    {u"Warehouse", "keyWarehouse", u"", u"Building B"},
};
constexpr char16_t kDefaultPrinter[] = u"Front desk";

// Everything the product owns, with the printer of another maker beside it;
// how often the companion was started is a matter of how many runs there were.
std::string ProductState(sim::Machine& m) { return summary::Of(m, false); }

// Whether the companion runs is no part of what "check" reads.
std::string WithoutCompanion(std::string state) {
  const auto at = state.find("companion ");
  if (at != std::string::npos) state.erase(at, state.find('\n', at) + 1 - at);
  return state;
}

class CrashMatrixTest : public SimTest {
 protected:
  // The product installed, three printers of it with settings, one the
  // default, and the printer of another maker. `replacing`: two of them, an
  // outdated monitor the reinstall replaces, and a printer of another maker
  // on its port, which then has to move.
  bool replacing = false;
  void SetUpInstalled() {
    Reset();
    machine.shiftHeld = false;
    Run(u"install");
    sim::RemovePrinter(machine, u"Corvane");
    if (replacing) {
      sim::WritePrinter(machine, {u"Plotter", u"Fenwick LaserPro", u"Corvane:", u"", u"", 0});
      sim::SetFileBuild(machine.FindFile(machine.systemDir + u"\\vexmon64.dll")->data, 2600);
    }
    for (const auto& p : kUserPrinters) {
      if (replacing && &p == &kUserPrinters[2]) break;
      AddProductPrinter(machine, p.name, p.comment, p.location);
      SetSettingsKey(machine, p.name, u"", p.keyName);
      SetSettingsKey(machine, p.name, u"DsUser", p.keyName);
      machine.CreateKey(win::HKEY_CURRENT_USER, u"Software\\Brennock\\Corvane\\Corvanes\\" + sim::AnsiToWideString(p.keyName));
    }
    sim::WritePrinter(machine, {u"Office Laser", u"Fenwick LaserPro", u"LPT1:", u"Copier room", u"Floor 2", 0});
    sim::SetDefaultPrinter(machine, kDefaultPrinter);
    machine.journal.clear();
  }

  // The state one uninterrupted run leaves, as "check" reads it.
  std::string finished;

  int RunBounded(const std::u16string& words) {
    machine.hangLimitMs = machine.nowMs + 30ull * 60 * 1000;
    return Run(words);
  }

  // The calls one uninterrupted run of the command makes, and the state it leaves.
  std::vector<sim::JournalEntry> Reference(const std::u16string& words, std::string& state) {
    SetUpInstalled();
    RunBounded(words);
    state = ProductState(machine);
    finished = WithoutCompanion(state);
    return machine.journal;
  }

  // In one child process, for each call number in `killAts`: the command
  // killed at that call, then `between` done to the machine, then `again`
  // run in full. Gives, for each, what `between` said followed by the state
  // that remains, or what went wrong. The killed runs' stacks are never
  // unwound, so the child ends without looking for leaks.
  std::vector<std::string> KilledThenAgain(const std::u16string& words, const std::vector<int>& killAts,
                                           const std::u16string& again,
                                           const std::function<std::string(sim::Machine&)>& between = {}) {
    int channel[2];
    if (pipe(channel) != 0) return {"no pipe"};
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      close(channel[0]);
      for (int killAt : killAts) {
        const std::string result = CellInChild(words, killAt, again, between) + '\0';
        if (write(channel[1], result.data(), result.size()) < 0) _exit(2);
      }
      _exit(0);
    }
    close(channel[1]);
    std::string all;
    char buffer[65536];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) all.append(buffer, n);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::vector<std::string> results;
    for (std::size_t at = 0, end; (end = all.find('\0', at)) != std::string::npos; at = end + 1)
      results.push_back(all.substr(at, end - at));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      results.push_back("the child crashed after " + std::to_string(results.size()) + " cells");
    return results;
  }

  std::string KilledThenAgain(const std::u16string& words, int killAt, const std::u16string& again,
                              const std::function<std::string(sim::Machine&)>& between = {}) {
    const std::vector<std::string> results = KilledThenAgain(words, std::vector<int>{killAt}, again, between);
    return results.size() == 1 ? results[0] : results.back();
  }

 private:
  std::string CellInChild(const std::u16string& words, int killAt, const std::u16string& again,
                          const std::function<std::string(sim::Machine&)>& between) {
    SetUpInstalled();
    const std::string start = WithoutCompanion(ProductState(machine));
    static std::jmp_buf killed;
    machine.killHandler = [] { std::longjmp(killed, 1); };
    machine.KillAfter(killAt);
    if (setjmp(killed) == 0) {
      RunBounded(words);
      return "the run was not killed";
    }
    machine.killHandler = nullptr;
    if (!machine.handles.empty() || !machine.globalBlocks.empty() || !machine.crtBlocks.empty())
      return "the killed program left handles or memory behind";
    // A machine the run left half-way between the two needs the next run.
    int code = -1;
    std::string changed = read_only::WhatCheckChanged(machine, code);
    const std::string now = WithoutCompanion(ProductState(machine));
    if (!changed.empty() || (code == 0 && now != start && now != finished))
      return changed.empty() ? "check called the machine cut off healthy" : changed;
    const std::string said = between ? between(machine) : "";
    RunBounded(again);
    changed = read_only::WhatCheckChanged(machine, code);
    if (!changed.empty() || code != (again == u"install" ? 0 : 104))
      return changed + " check after the next run: " + std::to_string(code);
    return said + ProductState(machine);
  }
};

std::string CallAt(const std::vector<sim::JournalEntry>& calls, int n) {
  return calls[n - 1].call + "(" + sim::Utf8(calls[n - 1].detail) + ")";
}

TEST_F(CrashMatrixTest, ACommandKilledAtAnyCallIsMadeWholeByTheNextRun) {
  struct Row {
    const char* name;
    std::u16string words;
    bool replacing;
  };
  int cells = 0;
  for (const Row& row : {Row{"reinstall", u"install", false}, Row{"uninstall", u"uninstall", false},
                         Row{"reinstall replacing the monitor", u"install", true}}) {
    replacing = row.replacing;
    std::string expected;
    const std::vector<sim::JournalEntry> calls = Reference(row.words, expected);
    if (row.replacing) {
      EXPECT_HAS(expected, "printer Plotter Corvane: by Fenwick LaserPro");
    }
    if (row.words == u"install") {
      for (const auto& p : kUserPrinters)
        if (!row.replacing || &p != &kUserPrinters[2]) {
          EXPECT_HAS(expected, "printer " + sim::Utf8(p.name) + " Corvane:");
        }
      EXPECT_HAS(expected, "companion running");
    } else {
      for (const char* gone : {"monitor ", "driver ", " Corvane:", "run "})
        EXPECT_EQ(expected.find(gone), std::string::npos) << expected;
    }
    for (const char* gone : {"journal", "parked"}) EXPECT_EQ(expected.find(gone), std::string::npos) << expected;
    std::vector<int> killAts;
    for (int n = 1; n <= static_cast<int>(calls.size()); ++n) killAts.push_back(n);
    const std::vector<std::string> results = KilledThenAgain(row.words, killAts, row.words);
    ASSERT_EQ(results.size(), calls.size()) << row.name << ": " << results.back();
    int failures = 0;
    for (int n = 1; n <= static_cast<int>(calls.size()) && failures < 5; ++n) {
      EXPECT_EQ(results[n - 1], expected) << row.name << " killed at call " << n << ", " << CallAt(calls, n);
      failures += results[n - 1] != expected;
      ++cells;
    }
    std::printf("crash matrix: %s: %zu cells\n", row.name, calls.size());
  }
  std::printf("crash matrix: %d cells run\n", cells);
  EXPECT_GT(cells, 200) << "the matrix lost most of its calls";
}

// Killed as it deletes its last printer, a reinstall has journalled every
// printer it remembered, in the order it re-creates them; an uninstall,
// which means to remove them, has journalled none.
TEST_F(CrashMatrixTest, TheJournalHoldsWhatAReinstallRememberedInTheOrderItRecreates) {
  auto journal = [](sim::Machine& m) {
    std::string text = "journal:";
    for (const auto& record : JournalRecords(m)) {
      for (const auto& field : record) text += sim::Utf8(field) + "|";
      text += ";";
    }
    return text + "\n";
  };
  for (const std::u16string words : {u"install", u"uninstall"}) {
    std::string ignored;
    const std::vector<sim::JournalEntry> calls = Reference(words, ignored);
    const auto last = std::find_if(calls.rbegin(), calls.rend(),
                                   [](const sim::JournalEntry& e) { return e.call == "DeletePrinter"; });
    ASSERT_NE(last, calls.rend());
    const int at = static_cast<int>(calls.rend() - last);
    const std::string got = KilledThenAgain(words, at, words, journal);
    const std::string expected =
        words == u"install" ? "journal:Warehouse|keyWarehouse||Building B||;Front desk|keyFront|Reception||1|;"
                              "Accounts|keyAccounts|Invoices|Room 12||;\n"
                            : "journal:\n";
    EXPECT_EQ(got.substr(0, got.find('\n') + 1), expected) << sim::Utf8(words);
  }
}

}  // namespace
