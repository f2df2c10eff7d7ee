#include "util/utf8.h"

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

constexpr char32_t Replacement = 0xFFFD;

}  // namespace

std::size_t EncodeUtf8(const char16_t* text, std::size_t length, std::size_t& pos, char* out) {
  char32_t c = text[pos++];
  if (IsHighSurrogate(c) && pos < length && IsLowSurrogate(text[pos]))
    c = 0x10000 + ((c - 0xD800) << 10) + (text[pos++] - 0xDC00);
  else if (IsHighSurrogate(c) || IsLowSurrogate(c))
    c = Replacement;

  auto* bytes = reinterpret_cast<unsigned char*>(out);
  if (c < 0x80) {
    bytes[0] = static_cast<unsigned char>(c);
    return 1;
  }
  if (c < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 3;
  }
  bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
  bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
  bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
  bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  return 4;
}
