// Any command line given to the program's entry on a fresh simulated
// machine: every run ends, with one of the exit codes callers know.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "commands/entry.h"
#include "platform/sim/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1024) return 0;
  sim::Machine m;
  sim::SetUpDefaultMachine(m);
  sim::SetCurrent(&m);
  m.hangLimitMs = 30ull * 60 * 1000;
  std::u16string words;
  for (std::size_t i = 0; i + 1 < size; i += 2) words += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  // A terminator inside would end the command line there, as on Windows.
  words = words.substr(0, words.find(u'\0'));
  m.commandLine = u"\"" + m.modulePath + u"\" " + words;
  const int code = CorvaneEntry(reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000}));
  switch (code) {
    case 1: case 2: case 3: case 4: case 6: case 100: case 101: case 102: case 103: case 200:
      break;
    default:
      std::abort();
  }
  if (!m.crtBlocks.empty() || !m.globalBlocks.empty() || !m.localBlocks.empty() || !m.handles.empty())
    std::abort();
  sim::SetCurrent(nullptr);
  return 0;
}
