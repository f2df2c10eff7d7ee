// Listing the spooler's port monitors and registering the monitor
// "Corvane:" after its file has reached the system directory.
#pragma once

#include <cstdint>

#include "run/install_state.h"

constexpr char16_t MonitorName[] = u"Corvane:";

struct MonitorList {
  win::BYTE* entries;  // MONITOR_INFO_1W or _2W records; global block, null when empty
  win::DWORD level;
  win::DWORD count;
};

MonitorList ListPortMonitors(InstallState& state);
// Index of the first record named exactly "Corvane:", or -1.
std::int32_t FindPortMonitor(const MonitorList& list);
void LogPortMonitors(InstallState& state, const MonitorList& list);
void InstallPortMonitor(InstallState& state);
