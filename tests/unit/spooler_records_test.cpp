// Records from the spooler are trusted only when every string they point to
// lies inside the block they came in, terminated.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim_test.h"
#include "spooler/spooler_records.h"

namespace {

// Two MONITOR_INFO_2W records followed by their strings.
struct Block {
  std::vector<win::BYTE> bytes = std::vector<win::BYTE>(2 * sizeof(win::MONITOR_INFO_2W) + 64, 0);
  win::MONITOR_INFO_2W* records() { return reinterpret_cast<win::MONITOR_INFO_2W*>(bytes.data()); }
  char16_t* text(std::size_t at) {
    return reinterpret_cast<char16_t*>(bytes.data() + 2 * sizeof(win::MONITOR_INFO_2W) + at);
  }
  Block() {
    std::memcpy(text(0), u"Corvane:", 18);
    records()[0].pName = text(0);
    records()[1].pName = text(0);
    records()[1].pDLLName = text(10);  // "" within the zero-filled tail
  }
  bool Sound(std::size_t count = 2) { return RecordsWithinBlock(bytes.data(), bytes.size(), count, MonitorInfo2Layout); }
};

TEST(SpoolerRecords, WellFormedRecordsPassUpToWhatTheBlockHolds) {
  Block block;
  EXPECT_TRUE(block.Sound());
  EXPECT_TRUE(block.Sound(0));
  EXPECT_FALSE(block.Sound(block.bytes.size() / sizeof(win::MONITOR_INFO_2W) + 1));
  EXPECT_FALSE(block.Sound(SIZE_MAX / 2));
}

TEST(SpoolerRecords, StringsOutsideOrUnterminatedAreRejected) {
  char16_t elsewhere[] = u"outside";
  Block outside, unterminated, odd, past;
  outside.records()[1].pEnvironment = elsewhere;
  EXPECT_FALSE(outside.Sound());

  std::fill(unterminated.bytes.end() - 8, unterminated.bytes.end(), 0x41);
  unterminated.records()[0].pDLLName =
      reinterpret_cast<char16_t*>(unterminated.bytes.data() + unterminated.bytes.size() - 8);
  EXPECT_FALSE(unterminated.Sound());

  odd.records()[0].pName = reinterpret_cast<char16_t*>(reinterpret_cast<win::BYTE*>(odd.text(0)) + 1);
  EXPECT_FALSE(odd.Sound());

  past.records()[0].pName = reinterpret_cast<char16_t*>(past.bytes.data() + past.bytes.size());
  EXPECT_FALSE(past.Sound());
}

// What a call for one record gives is checked as a list is.
using FetchOneRecord = SimTest;
TEST_F(FetchOneRecord, ItsStringsMustLieInItsBlock) {
  static char16_t elsewhere[] = u"outside";
  for (const bool inside : {true, false}) {
    const auto call = [inside](win::BYTE* buffer, win::DWORD, win::DWORD* needed, win::DWORD*) {
      *needed = sizeof(win::MONITOR_INFO_2W) + 16;
      if (!buffer) return win::SetLastError(win::ERROR_INSUFFICIENT_BUFFER), false;
      reinterpret_cast<win::MONITOR_INFO_2W*>(buffer)->pName =
          inside ? reinterpret_cast<char16_t*>(buffer + sizeof(win::MONITOR_INFO_2W)) : elsewhere;
      return true;
    };
    const FetchedRecords fetched = FetchRecords(call, MonitorInfo2Layout, true);
    EXPECT_EQ(fetched.outcome, inside ? FetchOutcome::Fetched : FetchOutcome::FetchFailed);
    win::GlobalFree(fetched.block);
  }
}

}  // namespace
