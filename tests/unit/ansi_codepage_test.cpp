#include "platform/sim/ansi_codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace {

using sim::AnsiToWide;
using sim::AnsiToWideChar;

constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kInsufficientBuffer = 122;
constexpr std::uint32_t kUntouched = 0xDEADu;
constexpr char16_t kFill = 0xBEEF;

TEST(AnsiToWideChar, AsciiAndLatin1BytesAreTheirOwnCodePoints) {
  for (int b = 0; b <= 0xFF; ++b) {
    if (b >= 0x80 && b <= 0x9F) continue;
    EXPECT_EQ(static_cast<char16_t>(b), AnsiToWideChar(static_cast<unsigned char>(b)))
        << "byte " << b;
  }
}

TEST(AnsiToWideChar, HighControlRangeFollowsWindows1252) {
  struct Pair {
    unsigned char byte;
    char16_t unit;
  };
  for (Pair p :
       {Pair{0x80, u'\u20AC'}, Pair{0x82, u'\u201A'}, Pair{0x83, u'\u0192'}, Pair{0x85, u'\u2026'},
        Pair{0x88, u'\u02C6'}, Pair{0x8A, u'\u0160'}, Pair{0x8C, u'\u0152'}, Pair{0x8E, u'\u017D'},
        Pair{0x91, u'\u2018'}, Pair{0x92, u'\u2019'}, Pair{0x93, u'\u201C'}, Pair{0x94, u'\u201D'},
        Pair{0x96, u'\u2013'}, Pair{0x97, u'\u2014'}, Pair{0x98, u'\u02DC'}, Pair{0x99, u'\u2122'},
        Pair{0x9A, u'\u0161'}, Pair{0x9C, u'\u0153'}, Pair{0x9E, u'\u017E'}, Pair{0x9F, u'\u0178'}})
    EXPECT_EQ(p.unit, AnsiToWideChar(p.byte)) << "byte " << int{p.byte};
}

TEST(AnsiToWideChar, UndefinedBytesKeepTheirValueAndTheRestLeaveTheRange) {
  const std::vector<unsigned char> undefined = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
  for (int b = 0x80; b <= 0x9F; ++b) {
    const char16_t unit = AnsiToWideChar(static_cast<unsigned char>(b));
    bool isUndefined = false;
    for (unsigned char u : undefined) isUndefined = isUndefined || u == b;
    if (isUndefined)
      EXPECT_EQ(static_cast<char16_t>(b), unit) << "byte " << b;
    else
      EXPECT_GE(unit, 0x0100) << "byte " << b;  // a real character, not a C1 control
  }
}

TEST(AnsiToWide, WholeStringWithTerminator) {
  char16_t out[8];
  std::fill(std::begin(out), std::end(out), kFill);
  EXPECT_EQ(4, AnsiToWide("a\x80\xE9", -1, nullptr, 0));
  EXPECT_EQ(4, AnsiToWide("a\x80\xE9", -1, out, 8));
  EXPECT_EQ(std::u16string(u"a\u20AC\u00E9\0", 4), std::u16string(out, 4));
  EXPECT_EQ(kFill, out[4]);
  EXPECT_EQ(1, AnsiToWide("", -1, out, 8));  // just the terminator
  EXPECT_EQ(0, out[0]);
}

TEST(AnsiToWide, CountedBytesAreAllConvertedWithoutTerminator) {
  char16_t out[8];
  std::fill(std::begin(out), std::end(out), kFill);
  EXPECT_EQ(3, AnsiToWide("abcdef", 3, nullptr, 0));
  EXPECT_EQ(3, AnsiToWide("abcdef", 3, out, 3));
  EXPECT_EQ(u"abc", std::u16string(out, 3));
  EXPECT_EQ(kFill, out[3]);
  // Zero bytes inside the count are characters like any other.
  EXPECT_EQ(3, AnsiToWide("a\0b", 3, out, 8));
  EXPECT_EQ(std::u16string(u"a\0b", 3), std::u16string(out, 3));
}

TEST(AnsiToWide, SizeQueryIgnoresTheBuffer) {
  char16_t out[2] = {kFill, kFill};
  EXPECT_EQ(7, AnsiToWide("abcdef", -1, out, 0));
  EXPECT_EQ(kFill, out[0]);
}

TEST(AnsiToWide, TooSmallBufferFails) {
  char16_t out[6];
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
  EXPECT_EQ(kUntouched, error);  // left alone on success

  EXPECT_EQ(0, AnsiToWide("abcdef", 6, out, 5));  // no error slot is fine
}

TEST(AnsiToWide, InvalidParameters) {
  char text[] = "abc";
  char16_t out[8];
  struct Call {
    const char* text;
    int count;
    char16_t* out;
    int outCount;
  };
  for (Call c : {Call{nullptr, -1, out, 8}, Call{text, 0, out, 8}, Call{text, -2, out, 8},
                 Call{text, -1, out, -1}, Call{text, -1, nullptr, 8},
                 Call{text, -1, reinterpret_cast<char16_t*>(text), 8}}) {
    std::uint32_t error = kUntouched;
    EXPECT_EQ(0, AnsiToWide(c.text, c.count, c.out, c.outCount, &error));
    EXPECT_EQ(kInvalidParameter, error) << "count " << c.count << " outCount " << c.outCount;
  }
}

}  // namespace
