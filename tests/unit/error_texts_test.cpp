#include "platform/sim/error_texts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using sim::SystemErrorText;

// Texts word for word where they are easy to get wrong; Win32 codes as
// HRESULTs read as the code; other codes have no text.
TEST(SystemErrorText, KnownTextsWordForWord) {
  const std::pair<std::uint32_t, const char16_t*> known[] = {
      {0, u"The operation completed successfully.\r\n"},
      {8, u"Not enough memory resources are available to process this command.\r\n"},
      {0x8007000Eu, u"Not enough memory resources are available to complete this operation.\r\n"},
      {32, u"The process cannot access the file because it is being used by another process.\r\n"},
      {3010,
       u"The requested operation is successful. Changes will not be effective until the system is "
       u"rebooted.\r\n"},
      {0x80004005u, u"Unspecified error\r\n"},
  };
  for (const auto& [code, text] : known) {
    ASSERT_NE(SystemErrorText(code), nullptr) << "code " << code;
    EXPECT_EQ(std::u16string(text), SystemErrorText(code)) << "code " << code;
  }
  for (std::uint32_t code : {0x80070000u, 0x80071234u, 0x80080005u, 35u, 1000u, 0xFFFFFFFFu})
    EXPECT_EQ(nullptr, SystemErrorText(code)) << "code " << code;
}

// Every code the program can meet has a text, and every text is one
// sentence (only some COM texts lack the full stop) ending in CR LF.
TEST(SystemErrorText, EveryCodeTheProgramCanMeetHasOneSentence) {
  const std::uint32_t codes[] = {
      0,    1,    2,    3,    4,    5,    6,    8,    13,   14,   19,          21,         32,   33,   39,   80,
      87,   112,  122,  123,  126,  127,  183,  234,  259,  267,  1008,        1051,       1052, 1053, 1055, 1056,
      1058, 1060, 1061, 1062, 1065, 1068, 1072, 1073, 1115, 1168, 1400,        1722,       1726, 1796, 1797, 1798,
      1801, 1802, 1803, 1804, 1805, 1812, 1813, 1814, 1815, 1905, 1906,        1907,       2202, 3000, 3001, 3002,
      3003, 3004, 3005, 3006, 3007, 3008, 3009, 3010, 3011, 3012, 0x8007000Eu, 0x80004005u};
  for (std::uint32_t code : codes) EXPECT_NE(nullptr, SystemErrorText(code)) << "code " << code;
  // Every Win32 code, then (as the one step past them) the COM code E_FAIL.
  for (std::uint32_t code = 0; code <= 0x10000; ++code) {
    const std::uint32_t asked = code <= 0xFFFF ? code : 0x80004005u;
    const char16_t* text = SystemErrorText(asked);
    if (!text) continue;
    const std::u16string s(text), body = s.substr(0, s.size() - 2);
    ASSERT_GE(s.size(), 3u) << "code " << asked;
    EXPECT_EQ(u"\r\n", s.substr(s.size() - 2)) << "code " << asked;
    EXPECT_EQ(std::u16string::npos, body.find_first_of(u"\r\n")) << "code " << asked;
    EXPECT_TRUE(body.front() != u' ' && body.back() != u' ' && body.find(u"  ") == std::u16string::npos) << asked;
    EXPECT_TRUE(asked > 0xFFFF || body.back() == u'.') << "code " << asked;
  }
}

}  // namespace
