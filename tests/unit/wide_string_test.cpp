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
  ~WideStringTest() override { EXPECT_TRUE(machine.crtBlocks.empty()) << "strings left"; }
};

// Blocks hold 32 characters more than a multiple of 32 needs: a growing
// string is moved only when that is passed, a shrinking one gives memory
// back, and an empty one holds no block.
TEST_F(WideStringTest, BlocksFollowTheCapacityRule) {
  EXPECT_EQ((std::vector<std::size_t>{BlockSize(1), BlockSize(31), BlockSize(32), BlockSize(63), BlockSize(64)}),
            (std::vector<std::size_t>{72, 72, 136, 136, 200}));
  WideString s;
  SetLength(s, 31);
  EXPECT_EQ(BlockBytes(s), 72u);
  for (int i = 0; i < 31; ++i) Chars(s)[i] = static_cast<char16_t>(u'a' + i % 26);
  SetLength(s, 32);
  EXPECT_EQ(BlockBytes(s), 136u);
  SetLength(s, 20);
  EXPECT_EQ(BlockBytes(s), 72u);
  EXPECT_EQ(std::u16string(Text(s)), u"abcdefghijklmnopqrst");
  SetLength(s, 0);
  EXPECT_EQ(s.block, nullptr);

  const auto before = machine.crtSizesSeen.size();
  for (int i = 0; i < 1000; ++i) Append(s, u"x");
  EXPECT_EQ(machine.crtSizesSeen.size() - before, 1000u / 32 + 1);
  EXPECT_EQ(BlockBytes(s), BlockSize(1000));
  Append(s, u"");
  AppendAnsi(s, "");
  EXPECT_EQ(std::u16string(Text(s)), std::u16string(1000, u'x')) << "appending nothing changes nothing";
  void* block = s.block;
  SetLength(s, 1010);
  EXPECT_EQ(s.block, block);
  EXPECT_EQ(Text(s)[1010], 0);
  EXPECT_EQ(Length(s), 1010u);

  for (const char16_t* empty : {static_cast<const char16_t*>(nullptr), u""}) {
    Assign(s, empty);
    EXPECT_EQ(s.block, nullptr);
  }
  Assign(s, u"x");
  Format(s, u"%s", u"");
  EXPECT_EQ(s.block, nullptr) << "an empty format result empties the string";
  EXPECT_EQ(FromAnsi("").block, nullptr);
  EXPECT_EQ(Copy(s).block, nullptr);
}

TEST_F(WideStringTest, AnsiTextFormatsAndCopies) {
  WideString s = FromAnsi("spooler");
  EXPECT_EQ(Length(s), 7u);
  EXPECT_EQ(BlockBytes(s), 72u);
  AppendAnsi(s, " caf\xE9 \x80");
  EXPECT_EQ(std::u16string(Text(s)), u"spooler caf\u00E9 \u20AC") << "converted from the code page";

  // Format truncates at its buffer.
  Format(s, u"%s", std::u16string(9000, u'y').c_str());
  EXPECT_EQ(Length(s), 8191u);
  Format(s, u"%d-%s", 42, u"z");
  EXPECT_EQ(std::u16string(Text(s)), u"42-z");

  Assign(s, u"C:\\Windows\\system32\\");
  WideString copy = Copy(s);
  EXPECT_NE(copy.block, s.block) << "a copy owns its own block";
  EXPECT_EQ(BlockBytes(copy), BlockBytes(s));
  Release(s);
  EXPECT_EQ(std::u16string(Text(copy)), u"C:\\Windows\\system32\\");
  Release(copy);
}

TEST_F(WideStringTest, ParentDirPrefersTheLastBackslash) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"C:\\Program Files\\Corvane\\Setup", u"C:\\Program Files\\Corvane"},
      {u"C:\\a\\b/c", u"C:\\a"},
      {u"\\root", u""},
      {u"noseparator", u""},
      {u"C:\\dir\\", u"C:\\dir"},
  };
  for (const auto& [path, expected] : cases) {
    WideString s;
    Assign(s, path);
    WideString parent = ParentDir(s);
    EXPECT_EQ(std::u16string(Text(parent)), expected) << sim::Utf8(path);
    Release(parent);
    Release(s);
  }
}

}  // namespace
