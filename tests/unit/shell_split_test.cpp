#include "platform/sim/shell_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Words = std::vector<std::u16string>;

constexpr char16_t kModule[] = uR"(C:\Program Files\Corvane\setup.exe)";

// Command lines as shell32 splits them. The first six are the examples of
// Microsoft's page on parsing C++ command-line arguments; the last of them
// is where shell32 differs from the current C runtime.
TEST(SplitCommandLine, SplitsAsShell32Does) {
  const std::pair<const char16_t*, Words> cases[] = {
      {uR"(prog "a b c" d e)", {u"prog", u"a b c", u"d", u"e"}},
      {uR"(prog "ab\"c" "\\" d)", {u"prog", uR"(ab"c)", uR"(\)", u"d"}},
      {uR"(prog a\\\b d"e f"g h)", {u"prog", uR"(a\\\b)", u"de fg", u"h"}},
      {uR"(prog a\\\"b c d)", {u"prog", uR"(a\"b)", u"c", u"d"}},
      {uR"(prog a\\\\"b c" d e)", {u"prog", uR"(a\\b c)", u"d", u"e"}},
      {uR"(prog a"b"" c d)", {u"prog", uR"(ab")", u"c", u"d"}},
      // No backslash rules in the program name, quoted or not; it ends at
      // its closing quote even without a blank after it.
      {uR"("C:\Program Files\Corvane\setup.exe" /install)", {uR"(C:\Program Files\Corvane\setup.exe)", u"/install"}},
      {uR"("C:\dir\" next)", {uR"(C:\dir\)", u"next"}},
      {uR"(C:\a\"b c)", {uR"(C:\a\"b)", u"c"}},
      {uR"(pro"g x" y)", {uR"(pro"g)", u"x y"}},
      {uR"("prog"x y)", {u"prog", u"x", u"y"}},
      {uR"("C:\my prog x)", {uR"(C:\my prog x)"}},
      // A leading blank means an empty program name; only spaces and tabs
      // separate, and blanks at the end make no word.
      {u" a\tb", {u"", u"a", u"b"}},
      {u"prog  a \t\t b \t", {u"prog", u"a", u"b"}},
      {u"prog a\nb c\rd e\vf", {u"prog", u"a\nb", u"c\rd", u"e\vf"}},
      // Empty and unclosed quoted words.
      {uR"(prog "" x "")", {u"prog", u"", u"x", u""}},
      {uR"(prog ")", {u"prog", u""}},
      // Backslashes count only before a quote.
      {uR"(prog a\ \\server\share a\\\)", {u"prog", uR"(a\)", uR"(\\server\share)", uR"(a\\\)"}},
      {uR"(prog "C:\dir\\" x)", {u"prog", uR"(C:\dir\)", u"x"}},
      {uR"(prog "C:\dir\" x)", {u"prog", uR"(C:\dir" x)"}},
      {uR"(prog "a\\""b")", {u"prog", uR"(a\"b)"}},
      // Runs of quotes: with the quote that opened the quoted part, every
      // third quote is a literal one, and a count of 1 modulo 3 leaves the
      // word quoted. Inside quotes a doubled quote is literal and ends them.
      {uR"(prog """" x)", {u"prog", uR"(" x)"}},
      {uR"(prog """"" x)", {u"prog", uR"(")", u"x"}},
      {uR"(prog "a""""" b)", {u"prog", uR"(a"")", u"b"}},
      // Quoted parts inside words.
      {uR"(prog /dir:"C:\Program Files\x" /q)", {u"prog", uR"(/dir:C:\Program Files\x)", u"/q"}},
      {u"prog \"\u00E9 \U0001F600\" \u20AC", {u"prog", u"\u00E9 \U0001F600", u"\u20AC"}},
  };
  for (const auto& [line, words] : cases)
    EXPECT_EQ(words, sim::SplitCommandLine(line, kModule)) << ::testing::PrintToString(std::u16string(line));
  // An empty line gives the program's path.
  EXPECT_EQ(Words{kModule}, sim::SplitCommandLine(u"", kModule));
}

}  // namespace
