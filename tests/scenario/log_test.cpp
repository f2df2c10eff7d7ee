// The log's line format: indentation, error lines with the system's text,
// and the bounds of a formatted line.
#include "run/log.h"
#include "sim_test.h"

namespace {

using LogTest = StateTest;

TEST_F(LogTest, IndentationIsTwoSpacesPerLevelUpToTen) {
  state.Indent = 3;
  LogLine(state, u"three");
  state.Indent = 12;
  LogLine(state, u"twelve");
  state.Indent = -1;
  LogLine(state, u"negative");
  state.Indent = 1;
  LogLine(state, nullptr);
  LogLine(state, u"");
  EXPECT_EQ(LogOf(state), std::u16string(u"      three\r\n") + std::u16string(20, u' ') +
                              u"twelve\r\nnegative\r\n  \r\n  \r\n");
}

TEST_F(LogTest, ErrorLineCarriesTheSystemTextWithoutLineEnds) {
  win::SetLastError(win::ERROR_ACCESS_DENIED);
  LogError(state, 4, u"Can't start the spooler");
  win::SetLastError(0);
  LogError(state, 7, u"Can`t retrieve system directory.");
  win::SetLastError(0x12345);
  LogError(state, 5, u"ControlService failed with code %d (0x%x)", 0x12345, 0x12345);
  EXPECT_EQ(LogOf(state),
            u"Error(4): Can't start the spooler - (Access is denied.)\r\n"
            u"Error(7): Can`t retrieve system directory.\r\n"
            u"Error(5): ControlService failed with code 74565 (0x12345) - ( No Description )\r\n");
  EXPECT_EQ(state.ErrorCount, 3);
  EXPECT_TRUE(machine.localBlocks.empty()) << "the system's text was not freed";

  // Without English message texts every error has none.
  Release(state.Log);
  machine.englishMessages = false;
  win::SetLastError(win::ERROR_FILE_NOT_FOUND);
  LogError(state, 10, u"x");
  EXPECT_EQ(LogOf(state), u"Error(10): x - ( No Description )\r\n");
}

TEST_F(LogTest, ArgumentsStayTextAndLongLinesAreCutAtTheirBuffer) {
  LogFormat(state, u"PrinterDriverDirectory:%s", u"C:\\100%d\\%s");
  EXPECT_EQ(LogOf(state), u"PrinterDriverDirectory:C:\\100%d\\%s\r\n");
  Release(state.Log);

  const std::u16string longText(3000, u'x');
  LogFormat(state, u"%s", longText.c_str());
  EXPECT_EQ(LogOf(state), std::u16string(1023, u'x') + u"\r\n");
  Release(state.Log);
  win::SetLastError(win::ERROR_ACCESS_DENIED);
  LogError(state, 17, u"Can`t delete printer '%s'", longText.c_str());
  const auto log = LogOf(state);
  EXPECT_EQ(log.substr(0, 35), u"Error(17): Can`t delete printer 'xx");
  EXPECT_EQ(log.find(u"'"), 32u);
  EXPECT_NE(log.find(u"x - (Access is denied.)\r\n"), std::u16string::npos);
  EXPECT_EQ(log.size(), 1023 + std::u16string(u" - (Access is denied.)\r\n").size());
}

}  // namespace
