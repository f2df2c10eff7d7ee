#include "util/utf16_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Formats into a roomy buffer.
std::u16string Format(const char16_t* format, ...) {
  char16_t buffer[512];
  va_list args;
  va_start(args, format);
  const std::size_t written = FormatUtf16V(buffer, std::size(buffer), format, args);
  va_end(args);
  EXPECT_EQ(std::char_traits<char16_t>::length(buffer), written);
  return std::u16string(buffer, written);
}

// The C library's answer for the same narrow format: the oracle for numbers.
std::string Reference(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// ---- Numbers against snprintf ------------------------------------------------

// Every combination of flags, width and precision, for every integer
// conversion; '*' takes its value from the arguments.
std::vector<std::string> IntegerConversions(char letter) {
  const char* flags[] = {"", "-", "+", " ", "#", "0", "-0", "+0", " 0", "#0", "-#", "+ ", "-+#0"};
  const char* widths[] = {"", "1", "7", "*"};
  const char* precisions[] = {"", ".", ".0", ".1", ".4", ".12", ".*"};
  std::vector<std::string> conversions;
  for (const char* f : flags)
    for (const char* w : widths)
      for (const char* p : precisions) conversions.push_back(std::string("%") + f + w + p + letter);
  return conversions;
}

// Calls both formatters with the '*' values the conversion needs, then `value`.
template <typename T>
void ExpectSameAsC(const std::string& wideConversion, const std::string& narrowConversion, T value) {
  const bool starPrecision = wideConversion.find(".*") != std::string::npos;
  const bool starWidth = std::count(wideConversion.begin(), wideConversion.end(), '*') > (starPrecision ? 1 : 0);
  const std::u16string wide = Widen("[" + wideConversion + "]");
  const std::string narrow = "[" + narrowConversion + "]";
  auto check = [&](auto... stars) {
    ASSERT_EQ(Widen(Reference(narrow.c_str(), stars..., value)), Format(wide.c_str(), stars..., value))
        << "format " << wideConversion << ", '*' values " << ::testing::PrintToString(std::vector<int>{stars...});
  };
  // Negative '*' values mean left-justify and no precision.
  for (int width : {9, -9}) {
    for (int precision : {3, -1}) {
      if (starWidth && starPrecision) check(width, precision);
      if (starWidth && !starPrecision) check(width);
      if (!starWidth && starPrecision) check(precision);
    }
  }
  if (!starWidth && !starPrecision) check();
}

TEST(FormatUtf16Numbers, IntegerConversionsMatchC) {
  for (char letter : {'d', 'i'})
    for (const std::string& conversion : IntegerConversions(letter))
      for (int value : {0, 1, -1, 42, -42, 123456789, INT_MAX, INT_MIN}) ExpectSameAsC(conversion, conversion, value);
  for (char letter : {'u', 'x', 'X', 'o'})
    for (const std::string& conversion : IntegerConversions(letter))
      for (unsigned value : {0u, 1u, 8u, 0xABCDEFu, 0x80000000u, UINT_MAX})
        ExpectSameAsC(conversion, conversion, value);
}

TEST(FormatUtf16Numbers, LengthModifiersReadTheRightSize) {
  // 64-bit values; "ll" in C.
  for (const std::string m : {"ll", "I64", "j"}) {
    for (long long value : {0LL, -1LL, LLONG_MIN, LLONG_MAX, 0x123456789ALL}) {
      ExpectSameAsC("%" + m + "d", "%lld", value);
      ExpectSameAsC("%+20" + m + "i", "%+20lli", value);
    }
    for (unsigned long long value : {0ULL, ULLONG_MAX, 0xFEDCBA9876543210ULL}) {
      ExpectSameAsC("%" + m + "u", "%llu", value);
      ExpectSameAsC("%#" + m + "x", "%#llx", value);
      ExpectSameAsC("%" + m + "o", "%llo", value);
    }
  }
  // Pointer-sized values.
  for (const std::string m : {"z", "I"}) {
    for (std::size_t value : {std::size_t{0}, SIZE_MAX, std::size_t{1} << 40}) {
      ExpectSameAsC("%" + m + "u", "%zu", value);
      ExpectSameAsC("%" + m + "X", "%zX", value);
    }
    for (std::ptrdiff_t value : {std::ptrdiff_t{-5}, PTRDIFF_MIN, PTRDIFF_MAX})
      ExpectSameAsC("%" + m + "d", "%zd", value);
  }
  for (std::ptrdiff_t value : {std::ptrdiff_t{-5}, PTRDIFF_MIN}) ExpectSameAsC("%td", "%td", value);
  // 32-bit values: plain, I32 and l (32-bit long, as on Windows).
  for (const std::string m : {"", "I32", "l"}) {
    for (int value : {0, -7, INT_MIN, INT_MAX}) ExpectSameAsC("%" + m + "d", "%d", value);
    for (unsigned value : {0u, UINT_MAX}) ExpectSameAsC("%08" + m + "x", "%08x", value);
  }
  // Narrower types truncate the promoted argument.
  for (int value : {0, 127, 128, 255, 256, -1, -129, 70000, INT_MIN})
    for (const char* conversion : {"%hhd", "%hhu", "%hd", "%hx"}) ExpectSameAsC(conversion, conversion, value);
}

TEST(FormatUtf16Numbers, WindowsHabitsForDwordsAndPointers) {
  // A DWORD is unsigned int here; the Windows habit of %lu must still work,
  // also for arguments passed on the stack (after the sixth).
  EXPECT_EQ(u"1 2 3 4 5 6 1722 4294967295",
            Format(u"%lu %lu %lu %lu %lu %lu %lu %lu", 1u, 2u, 3u, 4u, 5u, 6u, std::uint32_t{1722}, UINT32_MAX));
  EXPECT_EQ(u"-1 0XFFFFFFFF", Format(u"%ld %#lX", -1, 0xFFFFFFFFu));
  void* p = reinterpret_cast<void*>(std::uintptr_t{0x1234ABCD});
  EXPECT_EQ(u"000000001234ABCD", Format(u"%p", p));
  EXPECT_EQ(u"0000000000000000", Format(u"%p", static_cast<void*>(nullptr)));
  EXPECT_EQ(u"[    000000001234ABCD]", Format(u"[%20p]", p));
  EXPECT_EQ(u"[000000001234ABCD    ]", Format(u"[%-20p]", p));
  EXPECT_EQ(u"[    000000001234ABCD]", Format(u"[%020p]", p));  // 0 yields to the precision
  EXPECT_EQ(u"0X000000001234ABCD", Format(u"%#p", p));
  EXPECT_EQ(u"FFFFFFFFFFFFFFFF", Format(u"%p", reinterpret_cast<void*>(UINTPTR_MAX)));
}

// ---- Text and characters -------------------------------------------------------

TEST(FormatUtf16Text, WideAndNarrowStringsMatchC) {
  for (const char* narrowText : {"", "a", "hello", "text longer than ten"}) {
    const std::u16string wideText = Widen(narrowText);
    for (const std::string s :
         {"%s", "%10s", "%-10s", "%.2s", "%.0s", "%10.3s", "%-10.3s", "%*s", "%-*s", "%.*s", "%2s"}) {
      const bool star = s.find('*') != std::string::npos;
      const std::u16string want = Widen(star ? Reference(s.c_str(), 7, narrowText) : Reference(s.c_str(), narrowText));
      for (const char* form : {"s", "ls", "ws", "S", "hs", "hS"}) {
        const std::u16string format = Widen(s.substr(0, s.size() - 1) + form);
        const bool wide = form[0] != 'S' && form[0] != 'h';
        const void* text = wide ? static_cast<const void*>(wideText.c_str()) : narrowText;
        EXPECT_EQ(want, star ? Format(format.c_str(), 7, text) : Format(format.c_str(), text)) << s << " as " << form;
      }
    }
  }
}

TEST(FormatUtf16Text, NullTextCharactersAndZeroPadding) {
  EXPECT_EQ(u"[(null)]", Format(u"[%s]", static_cast<const char16_t*>(nullptr)));
  EXPECT_EQ(u"[(null)]", Format(u"[%hs]", static_cast<const char*>(nullptr)));
  EXPECT_EQ(u"[  (null)]", Format(u"[%8s]", static_cast<const char16_t*>(nullptr)));
  // As on Windows, the precision cuts the replacement text too.
  EXPECT_EQ(u"[(nu]", Format(u"[%.3s]", static_cast<const char16_t*>(nullptr)));
  // Non-ASCII text, surrogate pairs included, passes through untouched, in
  // the format and in arguments; 8-bit text widens byte by byte.
  EXPECT_EQ(u"\u00C5 \u00E9\u20AC\U0001F600 \u00FF\u0080",
            Format(u"\u00C5 %s %hs", u"\u00E9\u20AC\U0001F600", "\xFF\x80"));
  EXPECT_EQ(u"[ \U0001F600]", Format(u"[%3s]", u"\U0001F600"));  // width counts UTF-16 units
  // The 0 flag pads text with zeros, as on Windows.
  EXPECT_EQ(u"000ab", Format(u"%05s", u"ab"));
  EXPECT_EQ(u"0000x", Format(u"%05c", u'x'));
  EXPECT_EQ(u"[\u20AC]", Format(u"[%c]", u'\u20AC'));
  EXPECT_EQ(u"[\u00E9]", Format(u"[%hc]", '\xE9'));  // 8-bit
  EXPECT_EQ(u"[\u00E9]", Format(u"[%C]", '\xE9'));   // 8-bit
  EXPECT_EQ(u"[   x]", Format(u"[%4c]", u'x'));
  EXPECT_EQ(u"[x   ]", Format(u"[%*c]", -4, u'x'));
  EXPECT_EQ(u"[x]", Format(u"[%.0c]", u'x'));  // a precision does not apply
}

// ---- Literal text, percent signs, unknown conversions -----------------------

TEST(FormatUtf16Literal, PercentSignsUnknownConversionsAndCutFormats) {
  EXPECT_EQ(u"", Format(u""));
  EXPECT_EQ(u"100% done", Format(u"100%% done"));
  EXPECT_EQ(u"%%", Format(u"%%%%"));
  // Unknown conversions are copied and keep the arguments in step.
  EXPECT_EQ(u"%k 7", Format(u"%k %d", 7));
  EXPECT_EQ(u"%-5.2y|7", Format(u"%-5.2y|%d", 7));
  // Floating point is not formatted, but its argument is taken.
  EXPECT_EQ(u"%f|7|%.2e|8", Format(u"%f|%d|%.2e|%d", 1.5, 7, 2.5, 8));
  EXPECT_EQ(u"%Lg|7", Format(u"%Lg|%d", 1.5L, 7));
  EXPECT_EQ(u"%g %s", Format(u"%g %s", 3.0, u"%s"));
  // %n never writes.
  int untouched = 12345;
  EXPECT_EQ(u"ab%n|9", Format(u"ab%n|%d", &untouched, 9));
  EXPECT_EQ(12345, untouched);
  // A format that ends inside a conversion.
  for (const char16_t* cut : {u"abc%", u"abc%-05", u"abc%.3l", u"abc%I6"}) EXPECT_EQ(cut, Format(cut));
  EXPECT_EQ(u"2024-01-05 09:07:03 [setup] DeletePrinterDriverExW(\"Corvane PDF\") failed: 3001 (0x00000BB9) -- in use",
            Format(u"%04d-%02d-%02d %02u:%02u:%02u [%hs] %s(\"%s\") failed: %lu (0x%08lX) -- %.6s", 2024, 1, 5, 9u, 7u,
                   3u, "setup", u"DeletePrinterDriverExW", u"Corvane PDF", 3001u, 3001u, u"in use and more"));
}

// ---- Capacity: truncation and no writes past the buffer -----------------------

constexpr char16_t kGuard = 0xBEEF;
constexpr std::size_t kGuardSize = 8;

// A buffer with guard units on both sides; every unit starts as kGuard.
struct GuardedBuffer {
  explicit GuardedBuffer(std::size_t capacity) : units(capacity + 2 * kGuardSize, kGuard) {}
  char16_t* data() { return units.data() + kGuardSize; }
  bool GuardsIntact() const {
    for (std::size_t i = 0; i < kGuardSize; ++i)
      if (units[i] != kGuard || units[units.size() - 1 - i] != kGuard) return false;
    return true;
  }
  std::vector<char16_t> units;
};

TEST(FormatUtf16Capacity, EveryCapacityGivesThePrefixAndATerminator) {
  const std::u16string text = u"long \u00E9 text";
  for (const char16_t* format : {u"plain text only", u"%d|%5s|%-6x|%c|%%", u"%08.3d %-12.4s %#o %4c!"}) {
    const std::u16string full = Format(format, -42, text.c_str(), 255u, u'Z');
    ASSERT_FALSE(full.empty());
    for (std::size_t capacity = 1; capacity <= full.size() + 3; ++capacity) {
      GuardedBuffer buffer(capacity);
      const std::size_t written = FormatUtf16(buffer.data(), capacity, format, -42, text.c_str(), 255u, u'Z');
      const std::size_t expected = std::min(full.size(), capacity - 1);
      ASSERT_EQ(expected, written) << "capacity " << capacity;
      EXPECT_EQ(full.substr(0, expected), std::u16string(buffer.data(), written));
      EXPECT_EQ(0, buffer.data()[written]);
      for (std::size_t i = written + 1; i < capacity; ++i) EXPECT_EQ(kGuard, buffer.data()[i]);
      EXPECT_TRUE(buffer.GuardsIntact()) << "capacity " << capacity;
    }
  }
}

TEST(FormatUtf16Capacity, LongArgumentsAndHugeWidthsOnlyFillTheBuffer) {
  GuardedBuffer buffer(1024), small(16);
  EXPECT_EQ(1023u, FormatUtf16(buffer.data(), 1024, u"%s", std::u16string(5000, u'w').c_str()));
  EXPECT_EQ(std::u16string(1023, u'w'), std::u16string(buffer.data()));
  EXPECT_EQ(1023u, FormatUtf16(buffer.data(), 1024, u"> %hs", std::string(5000, 'n').c_str()));
  EXPECT_EQ(u"> " + std::u16string(1021, u'n'), std::u16string(buffer.data()));
  EXPECT_TRUE(buffer.GuardsIntact());
  EXPECT_EQ(15u, FormatUtf16(small.data(), 16, u"%2000000000d", 5));
  EXPECT_EQ(std::u16string(15, u' '), std::u16string(small.data()));
  EXPECT_EQ(15u, FormatUtf16(small.data(), 16, u"%-*s", INT_MAX, u"ab"));
  EXPECT_EQ(u"ab" + std::u16string(13, u' '), std::u16string(small.data()));
  EXPECT_EQ(15u, FormatUtf16(small.data(), 16, u"%.99999999999d", 5));  // precision saturates
  EXPECT_EQ(std::u16string(15, u'0'), std::u16string(small.data()));
  EXPECT_TRUE(small.GuardsIntact());
}

}  // namespace
