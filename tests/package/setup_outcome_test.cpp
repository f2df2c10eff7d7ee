// What the package's custom actions make of the setup tool's exit codes and
// of its log file's text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_lines.h"
#include "setup_outcome.h"

namespace {

TEST(SetupOutcomeTest, ExitCodesOfEveryPhase) {
  const struct {
    SetupPhase phase;
    bool started;
    std::uint32_t code;
    bool failed, restart, warning;
  } cases[] = {
      {SetupPhase::Install, true, 1, false, false, false},
      {SetupPhase::Install, true, 2, false, false, false},
      {SetupPhase::Install, true, 101, false, true, false},
      {SetupPhase::Install, true, 100, true, false, false},
      {SetupPhase::Install, true, 6, true, false, false},
      {SetupPhase::Install, true, 0, true, false, false},
      {SetupPhase::Install, false, 1, true, false, false},  // never ran: its code means nothing
      {SetupPhase::Uninstall, true, 2, false, false, false},
      {SetupPhase::Uninstall, true, 101, false, true, false},
      {SetupPhase::Uninstall, true, 100, false, false, true},
      {SetupPhase::Uninstall, true, 6, true, false, false},  // it did nothing: the product stays listed
      {SetupPhase::Rollback, true, 6, false, false, true},
      {SetupPhase::Uninstall, false, 2, false, false, true},
      {SetupPhase::Rollback, true, 2, false, false, false},
      {SetupPhase::Rollback, true, 100, false, false, true},
      {SetupPhase::Rollback, false, 0, false, false, true},
  };
  for (const auto& c : cases) {
    const SetupOutcome outcome = OutcomeOf(c.phase, c.started, c.code);
    SCOPED_TRACE("phase " + std::to_string(static_cast<int>(c.phase)) + (c.started ? " exit " : " not started, ") +
                 std::to_string(c.code));
    EXPECT_EQ(outcome.failed, c.failed);
    EXPECT_EQ(outcome.restart, c.restart);
    EXPECT_EQ(outcome.warning, c.warning);
  }
}

std::vector<std::u16string> Lines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  ForEachLogLine(text.data(), text.size(),
                 [&lines](const char16_t* line, std::size_t length) { lines.emplace_back(line, length); });
  return lines;
}

TEST(SetupOutcomeTest, LogLinesWithoutMarkOrLineEnds) {
  using L = std::vector<std::u16string>;
  EXPECT_EQ(Lines(u"\uFEFFtitle\r\nCorvane 2620\r\n  #UnInstall\r\n"), (L{u"title", u"Corvane 2620", u"  #UnInstall"}));
  EXPECT_EQ(Lines(u"a\r\n\r\nb"), (L{u"a", u"", u"b"}));
  EXPECT_EQ(Lines(u"a\nb\r\n"), (L{u"a", u"b"}));
  EXPECT_EQ(Lines(u"\uFEFF"), L{});
  EXPECT_EQ(Lines(u""), L{});
  EXPECT_EQ(Lines(u"x\uFEFF\r\n"), L{u"x\uFEFF"}) << "only a leading mark is dropped";
}

}  // namespace
