#include "spooler/spooler_records.h"

#include <cstdint>
#include <cstring>

namespace {

using win::DRIVER_INFO_2W;
using win::DRIVER_INFO_6W;
using win::MONITOR_INFO_2W;
using win::PRINTER_INFO_2W;

constexpr std::size_t MonitorInfo2Strings[] = {offsetof(MONITOR_INFO_2W, pName),
                                                offsetof(MONITOR_INFO_2W, pEnvironment),
                                                offsetof(MONITOR_INFO_2W, pDLLName)};
constexpr std::size_t DriverInfo2Strings[] = {
    offsetof(DRIVER_INFO_2W, pName),       offsetof(DRIVER_INFO_2W, pEnvironment),
    offsetof(DRIVER_INFO_2W, pDriverPath), offsetof(DRIVER_INFO_2W, pDataFile),
    offsetof(DRIVER_INFO_2W, pConfigFile)};
constexpr std::size_t DriverInfo6Strings[] = {
    offsetof(DRIVER_INFO_6W, pName),          offsetof(DRIVER_INFO_6W, pEnvironment),
    offsetof(DRIVER_INFO_6W, pDriverPath),    offsetof(DRIVER_INFO_6W, pDataFile),
    offsetof(DRIVER_INFO_6W, pConfigFile),    offsetof(DRIVER_INFO_6W, pHelpFile),
    offsetof(DRIVER_INFO_6W, pMonitorName),   offsetof(DRIVER_INFO_6W, pDefaultDataType),
    offsetof(DRIVER_INFO_6W, pszMfgName),     offsetof(DRIVER_INFO_6W, pszOEMUrl),
    offsetof(DRIVER_INFO_6W, pszHardwareID),  offsetof(DRIVER_INFO_6W, pszProvider)};
constexpr std::size_t PrinterInfo2Strings[] = {
    offsetof(PRINTER_INFO_2W, pServerName),  offsetof(PRINTER_INFO_2W, pPrinterName),
    offsetof(PRINTER_INFO_2W, pShareName),   offsetof(PRINTER_INFO_2W, pPortName),
    offsetof(PRINTER_INFO_2W, pDriverName),  offsetof(PRINTER_INFO_2W, pComment),
    offsetof(PRINTER_INFO_2W, pLocation),    offsetof(PRINTER_INFO_2W, pSepFile),
    offsetof(PRINTER_INFO_2W, pPrintProcessor), offsetof(PRINTER_INFO_2W, pDatatype),
    offsetof(PRINTER_INFO_2W, pParameters)};

template <std::size_t N>
constexpr RecordLayout Layout(std::size_t recordSize, const std::size_t (&offsets)[N]) {
  return RecordLayout{recordSize, offsets, N};
}

// A string that starts inside the block on a character boundary and ends
// there with its terminator.
bool StringWithin(std::uintptr_t start, std::uintptr_t end, std::uintptr_t text) {
  if (text < start || text >= end || (text - start) % sizeof(char16_t) != 0) return false;
  for (std::uintptr_t at = text; at + sizeof(char16_t) <= end; at += sizeof(char16_t)) {
    char16_t c;
    std::memcpy(&c, reinterpret_cast<const void*>(at), sizeof c);
    if (c == 0) return true;
  }
  return false;
}

}  // namespace

const RecordLayout MonitorInfo2Layout = Layout(sizeof(MONITOR_INFO_2W), MonitorInfo2Strings);
const RecordLayout DriverInfo2Layout = Layout(sizeof(DRIVER_INFO_2W), DriverInfo2Strings);
const RecordLayout DriverInfo6Layout = Layout(sizeof(DRIVER_INFO_6W), DriverInfo6Strings);
const RecordLayout PrinterInfo2Layout = Layout(sizeof(PRINTER_INFO_2W), PrinterInfo2Strings);

bool RecordsWithinBlock(const win::BYTE* block, std::size_t blockSize, std::size_t count,
                        const RecordLayout& layout) {
  if (count > blockSize / layout.recordSize) return false;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t end = start + blockSize;
  for (std::size_t i = 0; i < count; ++i)
    for (std::size_t s = 0; s < layout.stringCount; ++s) {
      std::uintptr_t text;
      std::memcpy(&text, block + i * layout.recordSize + layout.stringOffsets[s], sizeof text);
      if (text && !StringWithin(start, end, text)) return false;
    }
  return true;
}
