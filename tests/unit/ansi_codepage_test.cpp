#include "platform/sim/ansi_codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace {

using sim::AnsiToWide;

constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kInsufficientBuffer = 122;
constexpr std::uint32_t kUntouched = 0xDEADu;
constexpr char16_t kFill = 0xBEEF;

// Every byte as the C library's Windows-1252 converter reads it; the five
// bytes it leaves undefined keep their own value, as on Windows.
TEST(AnsiToWideChar, EveryByteFollowsWindows1252) {
  const iconv_t cd = iconv_open("UTF-16LE", "CP1252");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "no Windows-1252 converter";
  std::vector<int> undefined;
  for (int b = 0; b <= 0xFF; ++b) {
    char in = static_cast<char>(b), *inAt = &in;
    char16_t unit = 0;
    char* outAt = reinterpret_cast<char*>(&unit);
    std::size_t inLeft = 1, outLeft = sizeof unit;
    if (iconv(cd, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1)) {
      undefined.push_back(b);
      unit = static_cast<char16_t>(b);
    }
    EXPECT_EQ(unit, sim::AnsiToWideChar(static_cast<unsigned char>(b))) << "byte " << b;
  }
  iconv_close(cd);
  EXPECT_EQ(undefined, (std::vector<int>{0x81, 0x8D, 0x8F, 0x90, 0x9D}));
}

TEST(AnsiToWide, TerminatedOrCountedTextWithSizeQueries) {
  char16_t out[8];
  std::fill(std::begin(out), std::end(out), kFill);
  EXPECT_EQ(4, AnsiToWide("a\x80\xE9", -1, nullptr, 0));
  EXPECT_EQ(7, AnsiToWide("abcdef", -1, out, 0)) << "a size query ignores the buffer";
  EXPECT_EQ(kFill, out[0]);
  EXPECT_EQ(4, AnsiToWide("a\x80\xE9", -1, out, 8));
  EXPECT_EQ(std::u16string(u"a\u20AC\u00E9\0", 4), std::u16string(out, 4));
  EXPECT_EQ(kFill, out[4]);

  // Counted bytes are all converted, without a terminator.
  std::fill(std::begin(out), std::end(out), kFill);
  EXPECT_EQ(3, AnsiToWide("abcdef", 3, nullptr, 0));
  EXPECT_EQ(3, AnsiToWide("abcdef", 3, out, 3));
  EXPECT_EQ(u"abc", std::u16string(out, 3));
  EXPECT_EQ(kFill, out[3]);
}

TEST(AnsiToWide, TooSmallBuffersAndInvalidParametersFail) {
  char16_t out[8];
  std::fill(std::begin(out), std::end(out), kFill);
  std::uint32_t error = kUntouched;
  EXPECT_EQ(0, AnsiToWide("abcdef", -1, out, 3, &error));
  EXPECT_EQ(kInsufficientBuffer, error);
  EXPECT_EQ(kFill, out[3]);  // nothing past the given size
  // Exactly the length but no room for the terminator.
  error = kUntouched;
  EXPECT_EQ(0, AnsiToWide("abc", -1, out, 3, &error));
  EXPECT_EQ(kInsufficientBuffer, error);
  error = kUntouched;
  EXPECT_EQ(4, AnsiToWide("abc", -1, out, 4, &error));
  EXPECT_EQ(kUntouched, error);                   // left alone on success
  EXPECT_EQ(0, AnsiToWide("abcdef", 6, out, 5));  // no error slot is fine

  char text[] = "abc";
  struct Call {
    const char* text;
    int count;
    char16_t* out;
    int outCount;
  };
  for (Call c : {Call{nullptr, -1, out, 8}, Call{text, 0, out, 8}, Call{text, -2, out, 8}, Call{text, -1, out, -1},
                 Call{text, -1, nullptr, 8}, Call{text, -1, reinterpret_cast<char16_t*>(text), 8}}) {
    error = kUntouched;
    EXPECT_EQ(0, AnsiToWide(c.text, c.count, c.out, c.outCount, &error));
    EXPECT_EQ(kInvalidParameter, error) << "count " << c.count << " outCount " << c.outCount;
  }
}

}  // namespace
