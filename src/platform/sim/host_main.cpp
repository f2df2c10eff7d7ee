// The native corvane-setup: runs the program's entry on a simulated machine.
// CORVANE_SIM_SHIFT=1 holds the Shift key down; the simulated desktop draws
// any dialog the program shows on standard error.
#include <cstdlib>
#include <string>

#include "core/entry.h"
#include "platform/sim/machine.h"

namespace {

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || (extra > 0 && i + extra >= text.size())) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    std::uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += extra + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

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

}  // namespace

int main(int argc, char** argv) {
  sim::Machine machine;
  sim::SetUpDefaultMachine(machine);
  sim::SetCurrent(&machine);
  const char* shift = std::getenv("CORVANE_SIM_SHIFT");
  machine.shiftHeld = shift && std::string(shift) == "1";
  machine.renderDialogs = true;
  machine.commandLine = u"\"" + machine.modulePath + u"\"";
  for (int i = 1; i < argc; ++i) machine.commandLine += u" " + Quote(FromUtf8(argv[i]));
  const int code = CorvaneEntry(reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000}));
  sim::SetCurrent(nullptr);
  return code;
}
