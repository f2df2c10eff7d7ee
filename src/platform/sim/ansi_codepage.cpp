#include "platform/sim/ansi_codepage.h"

#include <cstring>

#include "platform/platform.h"

namespace sim {

namespace {

// Bytes 0x80-0x9F; every other byte is its own code point.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

int Fail(std::uint32_t code, std::uint32_t* error) {
  if (error) *error = code;
  return 0;
}

}  // namespace

char16_t AnsiToWideChar(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : static_cast<char16_t>(byte);
}

int AnsiToWide(const char* text, int count, char16_t* out, int outCount, std::uint32_t* error) {
  if (!text || count == 0 || count < -1 || outCount < 0 || (!out && outCount != 0) ||
      static_cast<const void*>(text) == static_cast<const void*>(out))
    return Fail(win::ERROR_INVALID_PARAMETER, error);

  // Single-byte code page: one character per byte, the terminator included.
  const std::size_t needed = count == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(count);
  if (needed > static_cast<std::size_t>(INT32_MAX))
    return Fail(win::ERROR_INVALID_PARAMETER, error);
  if (outCount == 0) return static_cast<int>(needed);

  const std::size_t room = static_cast<std::size_t>(outCount);
  const std::size_t fits = needed < room ? needed : room;
  for (std::size_t i = 0; i < fits; ++i)
    out[i] = AnsiToWideChar(static_cast<unsigned char>(text[i]));
  if (needed > room) return Fail(win::ERROR_INSUFFICIENT_BUFFER, error);
  return static_cast<int>(needed);
}

}  // namespace sim

namespace sim {

std::string WideToAnsi(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    char byte = '?';
    for (int b = 0; b < 256; ++b)
      if (AnsiToWideChar(static_cast<unsigned char>(b)) == c) {
        byte = static_cast<char>(b);
        break;
      }
    out += byte;
  }
  return out;
}

std::u16string AnsiToWideString(std::string_view text) {
  std::u16string out;
  for (char c : text) out += AnsiToWideChar(static_cast<unsigned char>(c));
  return out;
}

std::vector<std::uint8_t> StoredFromAnsi(const std::vector<std::uint8_t>& ansi) {
  const std::u16string wide =
      AnsiToWideString(std::string_view(reinterpret_cast<const char*>(ansi.data()), ansi.size()));
  std::vector<std::uint8_t> bytes(wide.size() * 2);
  if (!bytes.empty()) std::memcpy(bytes.data(), wide.data(), bytes.size());
  return bytes;
}

std::vector<std::uint8_t> AnsiFromStored(const std::vector<std::uint8_t>& stored) {
  std::u16string wide(stored.size() / 2, u'\0');
  if (!wide.empty()) std::memcpy(wide.data(), stored.data(), wide.size() * 2);
  const std::string narrow = WideToAnsi(wide);
  return std::vector<std::uint8_t>(narrow.begin(), narrow.end());
}

}  // namespace sim
