// A simulated machine per test, made current for the platform calls.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

#include "commands/entry.h"
#include "commands/module_instance.h"
#include "commands/start_of_run.h"
#include "platform/sim/machine.h"
#include "run/install_state.h"

using Texts = std::vector<std::u16string>;

// Expects `part` somewhere in `text`, and shows the whole text when it is not.
#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), (text).npos) << ::testing::PrintToString(text)

// What a call was handed, member by member against what it should have
// been: one "name: got X, expected Y" per difference, so a table of
// expected arguments shows every wrong member at once.
inline std::vector<std::string> Mismatches(const sim::CallArguments& got, const sim::CallArguments& expected) {
  auto show = [](const std::optional<std::u16string>& v) { return v ? '"' + sim::Utf8(*v) + '"' : std::string("null"); };
  std::vector<std::string> wrong;
  for (const auto& [name, value] : expected) {
    const auto it = got.find(name);
    if (it == got.end())
      wrong.push_back(name + ": not passed");
    else if (it->second != value)
      wrong.push_back(name + ": got " + show(it->second) + ", expected " + show(value));
  }
  return wrong;
}

// Expects every call of that name to have been handed `expected`, and at least one call.
#define EXPECT_EVERY_CALL(machine, call, expected)                                  \
  do {                                                                              \
    const auto calls_ = (machine).Arguments(call);                                  \
    EXPECT_FALSE(calls_.empty()) << "no " << (call) << " call";                     \
    for (std::size_t i_ = 0; i_ < calls_.size(); ++i_)                              \
      EXPECT_EQ(Mismatches(calls_[i_], expected), std::vector<std::string>{})       \
          << (call) << " call " << i_ + 1;                                          \
  } while (0)

// A text for the calls that take it unqualified, as Windows' headers declare them.
inline char16_t* W(const char16_t* text) { return const_cast<char16_t*>(text); }

// A set-up that makes `call` fail, as sim::Machine::Fail does.
inline std::function<void(sim::Machine&)> Fails(std::string call, win::DWORD error, int count = 1, int skip = 0,
                                                std::u16string detail = {}) {
  return [=](sim::Machine& m) { m.Fail(call, error, count, skip, detail); };
}

class SimTest : public ::testing::Test {
 protected:
  sim::Machine machine;

  SimTest() { Reset(false); }

  // Starts over on a fresh default machine.
  void Reset(bool discard = true) {
    if (discard) {
      machine.~Machine();
      new (&machine) sim::Machine();
    }
    sim::SetUpDefaultMachine(machine);
    sim::SetCurrent(&machine);
  }
  ~SimTest() override { sim::SetCurrent(nullptr); }

  // Runs the program as if started with these words after its own path.
  int Run(const std::u16string& arguments) {
    machine.commandLine = u"\"" + machine.modulePath + u"\"";
    if (!arguments.empty()) machine.commandLine += u" " + arguments;
    return CorvaneEntry(Instance());
  }

  static win::HINSTANCE Instance() { return reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000}); }

  // Which of the paths name a file or folder on the machine, in the order asked.
  std::vector<bool> Present(std::initializer_list<std::u16string> paths) {
    std::vector<bool> present;
    for (const auto& path : paths) present.push_back(machine.FindFile(path) != nullptr);
    return present;
  }

  // Runs with Shift held, and gives the lines of the log its dialog showed.
  Texts RunShowingLog(const std::u16string& arguments, int code) {
    const std::size_t shown = machine.dialogs.size();
    machine.shiftHeld = true;
    EXPECT_EQ(Run(arguments), code) << sim::Utf8(arguments);
    machine.shiftHeld = false;
    EXPECT_EQ(machine.dialogs.size(), shown + 1) << "one dialog shows the log";
    return machine.dialogs.size() > shown ? Lines(machine.dialogs.back().text) : Texts{};
  }

  static Texts Lines(const std::u16string& text) {
    Texts lines;
    for (std::size_t start = 0, end = 0; start < text.size() && end != std::u16string::npos; start = end + 2) {
      end = text.find(u"\r\n", start);
      EXPECT_NE(end, std::u16string::npos) << "log text does not end with CR LF";
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }

  static std::u16string LogOf(const InstallState& state) { return Text(state.Log); }

  // The texts of a path list, first to last.
  static Texts Paths(const PathNode* node) {
    Texts paths;
    for (; node; node = node->next) paths.push_back(node->text);
    return paths;
  }
};

// One step of a run driven directly on its record. At the end the record is
// released, and nothing it or the step took may be left behind.
class StateTest : public SimTest {
 protected:
  InstallState state{};
  ~StateTest() override {
    ReleaseInstallState(state);
    EXPECT_TRUE(machine.globalBlocks.empty()) << "global blocks left";
    EXPECT_TRUE(machine.crtBlocks.empty()) << "strings left";
    EXPECT_TRUE(machine.handles.empty()) << "handles left open";
  }
  // A fresh record as a run on x64 makes it, without the log's opening lines.
  void Create() {
    ModuleInstance = Instance();
    ReleaseInstallState(state);
    CreateInstallState(state, ModeX64);
    Release(state.Log);
  }
  Texts Log() { return Lines(LogOf(state)); }
  // A fresh machine; the record's blocks belong to the old one.
  void Fresh() {
    ReleaseInstallState(state);
    Reset();
  }
};
