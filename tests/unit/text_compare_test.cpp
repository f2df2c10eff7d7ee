#include "util/text_compare.h"

#include <gtest/gtest.h>

#include "platform/sim/machine.h"

namespace {

// Over every pair of ASCII characters and one past them: the letters A to Z
// match their small letters, and nothing else matches anything but itself,
// in the program's compares and in the machine's own name lookups alike.
TEST(TextCompare, OnlyTheAsciiLettersFoldOverTheWholeRange) {
  for (char16_t a = 1; a <= 0x80; ++a)
    for (char16_t b = 1; b <= 0x80; ++b) {
      const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
      const bool same = lower(a) == lower(b);
      const char16_t left[] = {u'x', a, 0}, right[] = {u'x', b, 0};
      ASSERT_EQ(SameTextIgnoringAsciiCase(left, right), same) << int(a) << " " << int(b);
      ASSERT_EQ(AfterPrefixIgnoringAsciiCase(left, right) != nullptr, same) << int(a) << " " << int(b);
      ASSERT_EQ(sim::ToUpperAscii(left) == sim::ToUpperAscii(right), same) << int(a) << " " << int(b);
      ASSERT_EQ(SameText(left, right), a == b) << int(a) << " " << int(b);
    }
  EXPECT_EQ(sim::ToUpperAscii(u"az\u00e9"), u"AZ\u00e9");
  EXPECT_EQ(AfterPrefixIgnoringAsciiCase(u"/LO", u"/log="), nullptr) << "a text shorter than the prefix";
}

}  // namespace
