// Removing the port monitor "Corvane:" and deleting its file, or keeping a
// monitor whose build is compatible with this installer.
#pragma once

#include <cstdint>

#include "run/install_state.h"
#include "monitor/port_monitor_install.h"

constexpr std::int32_t OldestCompatibleMonitorBuild = 2605;

// The build (last number of the product version) of a file, or -1.
std::int32_t GetFileBuildNumber(const char16_t* path);
void RemovePortMonitor(InstallState& state, const MonitorList& list);
