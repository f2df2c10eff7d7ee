// The wide string's block sizes are part of its contract: callers write
// characters directly behind SetLength and rely on the capacity rule.
#include "sim_test.h"
#include "util/wide_string.h"

namespace {

class WideStringTest : public SimTest {
 protected:
  std::size_t BlockBytes(const WideString& s) {
    auto it = machine.crtBlocks.find(s.block);
    return it == machine.crtBlocks.end() ? 0 : it->second;
  }
};

TEST_F(WideStringTest, BlocksFollowTheCapacityRule) {
  EXPECT_EQ(BlockSize(1), 72u);
  EXPECT_EQ(BlockSize(31), 72u);
  EXPECT_EQ(BlockSize(32), 136u);
  EXPECT_EQ(BlockSize(63), 136u);
  EXPECT_EQ(BlockSize(64), 200u);

  WideString s;
  SetLength(s, 31);
  EXPECT_EQ(BlockBytes(s), 72u);
  for (int i = 0; i < 31; ++i) Chars(s)[i] = static_cast<char16_t>(u'a' + i % 26);
  SetLength(s, 32);
  EXPECT_EQ(BlockBytes(s), 136u);
  SetLength(s, 20);
  EXPECT_EQ(BlockBytes(s), 72u) << "a shrinking string gives memory back";
  EXPECT_EQ(std::u16string(Text(s)), u"abcdefghijklmnopqrst");
  EXPECT_EQ(Text(s)[20], 0);
  SetLength(s, 0);
  EXPECT_EQ(s.block, nullptr);
  EXPECT_TRUE(machine.crtBlocks.empty());
}

TEST_F(WideStringTest, GrowingWithinCapacityKeepsTheBlock) {
  WideString s;
  Assign(s, u"0123456789");
  const auto reallocations = machine.crtSizesSeen.size();
  void* block = s.block;
  SetLength(s, 20);
  EXPECT_EQ(s.block, block);
  EXPECT_EQ(machine.crtSizesSeen.size(), reallocations);
  EXPECT_EQ(Text(s)[20], 0);
  EXPECT_EQ(Length(s), 20u);
  Release(s);
}

TEST_F(WideStringTest, EmptyTextsLeaveNoBlock) {
  WideString s;
  Assign(s, nullptr);
  EXPECT_EQ(s.block, nullptr);
  Assign(s, u"");
  EXPECT_EQ(s.block, nullptr);
  EXPECT_EQ(std::u16string(Text(s)), u"");
  Format(s, u"%s", u"");
  EXPECT_EQ(s.block, nullptr);
  Assign(s, u"x");
  Format(s, u"");
  EXPECT_EQ(s.block, nullptr) << "an empty format result empties the string";
  WideString none = FromAnsi("");
  EXPECT_EQ(none.block, nullptr);
  EXPECT_TRUE(machine.crtBlocks.empty());
}

TEST_F(WideStringTest, AppendingNothingChangesNothing) {
  WideString s;
  Assign(s, u"abc");
  const auto seen = machine.crtSizesSeen.size();
  Append(s, u"");
  AppendAnsi(s, "");
  EXPECT_EQ(machine.crtSizesSeen.size(), seen);
  EXPECT_EQ(std::u16string(Text(s)), u"abc");
  Release(s);
}

TEST_F(WideStringTest, AppendGrowsAtMostOncePerThirtyTwoCharacters) {
  WideString s;
  const auto before = machine.crtSizesSeen.size();
  for (int i = 0; i < 1000; ++i) Append(s, u"x");
  EXPECT_EQ(Length(s), 1000u);
  EXPECT_EQ(machine.crtSizesSeen.size() - before, 1000u / 32 + 1);
  EXPECT_EQ(BlockBytes(s), BlockSize(1000));
  Release(s);
}

TEST_F(WideStringTest, AnsiTextIsConvertedFromTheCodePage) {
  WideString s = FromAnsi("spooler");
  EXPECT_EQ(Length(s), 7u);
  EXPECT_EQ(BlockBytes(s), 72u);
  AppendAnsi(s, " caf\xE9 \x80");
  EXPECT_EQ(std::u16string(Text(s)), u"spooler caf\u00E9 \u20AC");
  Release(s);
}

TEST_F(WideStringTest, FormatTruncatesAtItsBuffer) {
  std::u16string big(9000, u'y');
  WideString s;
  Format(s, u"%s", big.c_str());
  EXPECT_EQ(Length(s), 8191u);
  Format(s, u"%d-%s", 42, u"z");
  EXPECT_EQ(std::u16string(Text(s)), u"42-z");
  Release(s);
}

TEST_F(WideStringTest, ParentDirPrefersTheLastBackslash) {
  struct Case {
    const char16_t* path;
    const char16_t* parent;
  } cases[] = {
      {u"C:\\Program Files\\Corvane\\Setup", u"C:\\Program Files\\Corvane"},
      {u"C:\\a\\b/c", u"C:\\a"},
      {u"a/b/c", u"a/b"},
      {u"\\root", u""},
      {u"noseparator", u""},
      {u"C:\\dir\\", u"C:\\dir"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    WideString s;
    Assign(s, c.path);
    WideString parent = ParentDir(s);
    EXPECT_EQ(std::u16string(Text(parent)), c.parent) << sim::Utf8(c.path);
    Release(parent);
    Release(s);
  }
}

TEST_F(WideStringTest, CopyOwnsItsOwnBlock) {
  WideString s;
  Assign(s, u"C:\\Windows\\system32\\");
  WideString copy = Copy(s);
  EXPECT_NE(copy.block, s.block);
  EXPECT_EQ(BlockBytes(copy), BlockBytes(s));
  Release(s);
  EXPECT_EQ(std::u16string(Text(copy)), u"C:\\Windows\\system32\\");
  Release(copy);
  WideString empty;
  EXPECT_EQ(Copy(empty).block, nullptr);
}

TEST_F(WideStringTest, OutOfMemoryEndsTheRunWithErrors) {
  EXPECT_EXIT(
      {
        machine.Fail("malloc", 0);
        WideString s;
        Assign(s, u"text");
      },
      ::testing::ExitedWithCode(100), "");
}

}  // namespace
