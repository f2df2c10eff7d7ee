// Registering and removing the printer driver "Corvane printer", and the
// driver queries the rest of the program needs.
#pragma once

#include <cstdint>

#include "run/install_state.h"

struct DriverList {
  win::BYTE* entries;  // DRIVER_INFO_<level> records; global block, null when empty
  win::DWORD level;
  win::DWORD count;
};

DriverList ListPrinterDrivers(const char16_t* environment);
// Index of the first record named exactly "Corvane printer", or -1.
std::int32_t FindPrinterDriver(const DriverList& list);
// The driver record (level 2) of an open printer in a global block the
// caller frees, or null.
win::DRIVER_INFO_2W* GetPrinterDriverInfo(win::HANDLE printer);
void InstallPrinterDriver(InstallState& state);
// Adds to `list` the paths where the spooler keeps the registered driver's
// files; nothing when the driver directory is unknown.
void AddInstalledDriverFiles(const InstallState& state, PathNode*& list);
void RemovePrinterDriver(InstallState& state, const DriverList& list);
