// A simulated machine per test, made current for the platform calls.
#pragma once

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "core/entry.h"
#include "core/install_state.h"
#include "platform/sim/machine.h"

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

  static win::HINSTANCE Instance() {
    return reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000});
  }

  // The text of the last dialog shown, split into its CR LF lines.
  std::vector<std::u16string> DialogLines() const {
    EXPECT_FALSE(machine.dialogs.empty()) << "no dialog was shown";
    return machine.dialogs.empty() ? std::vector<std::u16string>{} : Lines(machine.dialogs.back().text);
  }

  static std::vector<std::u16string> Lines(const std::u16string& text) {
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
      const auto end = text.find(u"\r\n", start);
      if (end == std::u16string::npos) {
        ADD_FAILURE() << "log text does not end with CR LF";
        lines.push_back(text.substr(start));
        break;
      }
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  static std::u16string LogOf(const InstallState& state) { return Text(state.Log); }
};

