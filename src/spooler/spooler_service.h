// Checking, stopping and restarting the print spooler service, with bounded
// waits (50 polls, 200 ms apart).
#pragma once

#include <cstdint>

#include "run/install_state.h"
#include "platform/platform.h"

// One stop and restart of the spooler, kept by the caller from its begin to
// its end. With no install state nothing is logged or counted.
struct SpoolerRestart {
  InstallState* state;
  win::SC_HANDLE manager;
  win::SC_HANDLE service;
  std::uint8_t stopped;  // the stop was requested: the end starts it again
};

bool StartServiceAndWait(win::SC_HANDLE service);
void BeginSpoolerRestart(SpoolerRestart& restart, InstallState* state);
void EndSpoolerRestart(SpoolerRestart& restart);
bool CheckSpooler(InstallState& state);
// The spooler's state from one query, changing nothing: SERVICE_RUNNING and
// the like, 0 when the service is not installed; -1, with the cause as the
// thread's last error, when it cannot be told.
long QuerySpoolerState();
