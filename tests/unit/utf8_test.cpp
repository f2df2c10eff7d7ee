// UTF-16 to UTF-8 one character at a time, as the log file is written.
#include <gtest/gtest.h>

#include <string>

#include "util/utf8.h"

namespace {

std::string Encode(const std::u16string& text) {
  std::string bytes;
  for (std::size_t pos = 0; pos < text.size();) {
    char out[Utf8MaxBytes];
    const std::size_t before = pos;
    const std::size_t n = EncodeUtf8(text.data(), text.size(), pos, out);
    EXPECT_GT(pos, before) << "no progress";
    bytes.append(out, n);
  }
  return bytes;
}

TEST(Utf8Test, EveryLengthAndEveryUnpairedSurrogate) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"A\r\n", "A\r\n"},
      {u"\u007F\u0080", "\x7F\xC2\x80"},
      {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
      {u"\uFEFF\uFFFF", "\xEF\xBB\xBF\xEF\xBF\xBF"},
      {u"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {u"\xD800", "\xEF\xBF\xBD"},                       // high at the end
      {u"\xD800" u"A", "\xEF\xBF\xBD" "A"},              // high before a non-surrogate
      {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},     // low first
      {u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(Encode(text), bytes) << ::testing::PrintToString(text);
}

TEST(Utf8Test, APairCutByTheLengthIsNotJoined) {
  const char16_t text[] = u"\xD83D\xDE00";
  std::size_t pos = 0;
  char out[Utf8MaxBytes];
  EXPECT_EQ(EncodeUtf8(text, 1, pos, out), 3u);
  EXPECT_EQ(pos, 1u);
}

}  // namespace
