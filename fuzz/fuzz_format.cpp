// Any format text with any capacity: the formatter never writes past its
// buffer and always terminates what it wrote.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "util/utf16_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t capacity = (data[0] | (data[1] << 8)) % 2048;
  std::u16string format;
  for (std::size_t i = 2; i + 1 < size; i += 2) format += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  format = format.substr(0, format.find(u'\0'));
  // Reading more than is passed would read past the argument list. A
  // conversion may take a long double (sixteen bytes, aligned to sixteen: up
  // to three 8-byte slots), a '*' takes one int. 32 pointers are passed;
  // staying well inside them holds whichever of them travel in registers.
  std::size_t slots = 0;
  for (char16_t c : format) slots += c == u'%' ? 3 : c == u'*' ? 1 : 0;
  if (slots > 24) return 0;
  // Every argument is a valid text, so any conversion reads something real.
  static const char16_t text[] = u"argument";
  static const char narrow[] = "narrow\0\0";  // also a terminated wide text
  std::vector<char16_t> buffer(capacity + 8, u'#');
  const std::size_t written =
      FormatUtf16(buffer.data(), capacity, format.c_str(), text, narrow, text, narrow, text, narrow, text, narrow,
                  text, narrow, text, narrow, text, narrow, text, narrow, text, narrow, text, narrow, text, narrow,
                  text, narrow, text, narrow, text, narrow, text, narrow, text, narrow);
  if (capacity == 0) {
    if (written != 0 || buffer[0] != u'#') std::abort();
    return 0;
  }
  if (written >= capacity || buffer[written] != 0) std::abort();
  for (std::size_t i = capacity; i < capacity + 8; ++i)
    if (buffer[i] != u'#') std::abort();
  return 0;
}
