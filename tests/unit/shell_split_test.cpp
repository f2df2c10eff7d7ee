#include "platform/sim/shell_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Words = std::vector<std::u16string>;

constexpr char16_t kModule[] = uR"(C:\Program Files\Corvane\setup.exe)";

struct SplitCase {
  const char16_t* commandLine;
  Words words;
};

void ExpectSplits(const std::vector<SplitCase>& cases) {
  for (const SplitCase& c : cases) {
    const Words got = sim::SplitCommandLine(c.commandLine, kModule);
    EXPECT_EQ(c.words, got) << "command line: "
                            << ::testing::PrintToString(std::u16string(c.commandLine));
  }
}

// The examples of Microsoft's page on parsing C++ command-line arguments;
// the last one is where shell32 differs from the current C runtime.
TEST(SplitCommandLine, ClassicExamples) {
  ExpectSplits({
      {uR"(prog "a b c" d e)", {u"prog", u"a b c", u"d", u"e"}},
      {uR"(prog "ab\"c" "\\" d)", {u"prog", uR"(ab"c)", uR"(\)", u"d"}},
      {uR"(prog a\\\b d"e f"g h)", {u"prog", uR"(a\\\b)", u"de fg", u"h"}},
      {uR"(prog a\\\"b c d)", {u"prog", uR"(a\"b)", u"c", u"d"}},
      {uR"(prog a\\\\"b c" d e)", {u"prog", uR"(a\\b c)", u"d", u"e"}},
      {uR"(prog a"b"" c d)", {u"prog", uR"(ab")", u"c", u"d"}},
  });
}

TEST(SplitCommandLine, ProgramNameWhitespaceAndEmptyWords) {
  ExpectSplits({
      {uR"("C:\Program Files\Corvane\setup.exe" /install)", {uR"(C:\Program Files\Corvane\setup.exe)", u"/install"}},
      {u"setup.exe", {u"setup.exe"}},
      // No backslash rules in the program name, quoted or not.
      {uR"("C:\dir\" next)", {uR"(C:\dir\)", u"next"}},
      {uR"(C:\a\"b c)", {uR"(C:\a\"b)", u"c"}},
      // Unquoted, a quote is a plain character of the name; the rest of the
      // line is parsed as usual.
      {uR"(pro"g x" y)", {uR"(pro"g)", u"x y"}},
      // The name ends at its closing quote even without a space after it.
      {uR"("prog"x y)", {u"prog", u"x", u"y"}},
      {uR"("prog""x")", {u"prog", u"x"}},
      // An unclosed quote takes the whole line.
      {uR"("C:\my prog x)", {uR"(C:\my prog x)"}},
      {u"\"\" x", {u"", u"x"}},
      {u"\"", {u""}},
      {u"prog\tx", {u"prog", u"x"}},
      // A leading space means an empty program name.
      {u" a b", {u"", u"a", u"b"}},
      {u"\ta", {u"", u"a"}},
      {u"   ", {u""}},
      {u"prog  a \t\t b", {u"prog", u"a", u"b"}},
      // Trailing whitespace makes no extra word.
      {u"prog a  \t", {u"prog", u"a"}},
      {u"prog ", {u"prog"}},
      // Only spaces and tabs separate.
      {u"prog a\nb c\rd e\vf", {u"prog", u"a\nb", u"c\rd", u"e\vf"}},
      {u"prog \"a \t b\"", {u"prog", u"a \t b"}},
      // Empty and unclosed quoted words.
      {uR"(prog "" x)", {u"prog", u"", u"x"}},
      {uR"(prog "")", {u"prog", u""}},
      {uR"(prog x "")", {u"prog", u"x", u""}},
      {uR"(prog "" "")", {u"prog", u"", u""}},
      {uR"(prog ")", {u"prog", u""}},
      {uR"(prog "a b)", {u"prog", u"a b"}},
      {uR"(prog "a b   )", {u"prog", u"a b   "}},
  });
  // An empty line gives the program's path.
  EXPECT_EQ(Words{kModule}, sim::SplitCommandLine(u"", kModule));
  EXPECT_EQ(Words{u"X:\\other.exe"}, sim::SplitCommandLine(u"", u"X:\\other.exe"));
}

TEST(SplitCommandLine, BackslashesAndQuotes) {
  ExpectSplits({
      {uR"(prog C:\path\to\file.txt \\server\share)", {u"prog", uR"(C:\path\to\file.txt)", uR"(\\server\share)"}},
      {uR"(prog a\ a\\ a\\\)", {u"prog", uR"(a\)", uR"(a\\)", uR"(a\\\)"}},
      {uR"(prog "C:\dir\\" x)", {u"prog", uR"(C:\dir\)", u"x"}},
      {uR"(prog "C:\dir\" x)", {u"prog", uR"(C:\dir" x)"}},
      {uR"(prog \"a b\")", {u"prog", uR"("a)", uR"(b")"}},
      {uR"(prog \\"a b")", {u"prog", uR"(\a b)"}},
      {uR"(prog \\\\\"x)", {u"prog", uR"(\\"x)"}},
      {uR"(prog "a\"b")", {u"prog", uR"(a"b)"}},
      // Backslashes before a doubled quote inside quotes.
      {uR"(prog "a\\""b")", {u"prog", uR"(a\"b)"}},
      // Runs of quotes: with the quote that opened the quoted part, every third
      // quote is a literal one, and a count of 1 modulo 3 leaves the word quoted.
      {uR"(prog """)", {u"prog", uR"(")"}},
      {uR"(prog """")", {u"prog", uR"(")"}},           // the 4th opens and stays open
      {uR"(prog """"" x)", {u"prog", uR"(")", u"x"}},  // the 4th opens, the 5th closes
      {uR"(prog """""")", {u"prog", uR"("")"}},
      {uR"(prog """ x)", {u"prog", uR"(")", u"x"}},
      {uR"(prog """" x)", {u"prog", uR"(" x)"}},
      {uR"(prog """a b""")", {u"prog", uR"("a)", uR"(b")"}},
      {uR"(prog a"""b c)", {u"prog", uR"(a"b)", u"c"}},
      // Inside quotes, a doubled quote is literal and ends the quoted part.
      {uR"(prog "a""b")", {u"prog", uR"(a"b)"}},
      {uR"(prog "a "" b")", {u"prog", uR"(a ")", u"b"}},
      {uR"(prog "a""" b")", {u"prog", uR"(a" b)"}},
      {uR"(prog "a"""" b)", {u"prog", uR"(a")", u"b"}},
      {uR"(prog "a""""" b)", {u"prog", uR"(a"")", u"b"}},
      // Quoted parts inside words.
      {uR"(prog /dir:"C:\Program Files\x" /q)", {u"prog", uR"(/dir:C:\Program Files\x)", u"/q"}},
      {uR"(prog a"b c"d"e f"g)", {u"prog", u"ab cde fg"}},
      {uR"(prog "a"b"c")", {u"prog", u"abc"}},
      {u"prog \"\u00E9 \U0001F600\" \u20AC", {u"prog", u"\u00E9 \U0001F600", u"\u20AC"}},
  });
}

}  // namespace
