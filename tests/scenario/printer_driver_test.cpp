// Finding the driver "Corvane printer" in a list (whole runs: runs_test).
#include "driver/printer_driver.h"
#include <gtest/gtest.h>

namespace {

TEST(PrinterDriverTest, FoundOnlyByItsExactNameInRecordsOfAKnownLevel) {
  char16_t a[] = u"Corvane printer 2", b[] = u"corvane printer", c[] = u"Corvane printer";
  win::DRIVER_INFO_6W records[3] = {{0, a}, {0, b}, {0, c}};
  EXPECT_EQ(FindPrinterDriver(DriverList{reinterpret_cast<win::BYTE*>(records), 6, 2}), -1);
  EXPECT_EQ(FindPrinterDriver(DriverList{reinterpret_cast<win::BYTE*>(records), 6, 3}), 2);
  win::DRIVER_INFO_1W level1[2] = {{b}, {c}};
  EXPECT_EQ(FindPrinterDriver(DriverList{reinterpret_cast<win::BYTE*>(level1), 1, 2}), 1);
  EXPECT_EQ(FindPrinterDriver(DriverList{reinterpret_cast<win::BYTE*>(records), 7, 3}), -1);
}

}  // namespace
