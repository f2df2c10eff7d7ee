// The in-memory log of a run: one CR LF line per call, indented two spaces
// per level (at most ten levels).
#pragma once

#include <cstdint>

#include "run/install_state.h"

// Error numbers written by LogError.
enum LogErrorNumber : int {
  ErrOpenServiceManager = 1,
  ErrOpenSpooler = 2,
  ErrStopSpooler = 3,
  ErrStartSpooler = 4,
  ErrControlService = 5,
  ErrDriverDirectory = 6,
  ErrSystemDirectory = 7,
  ErrCopyWrite = 8,
  ErrCopyOpenTarget = 9,
  ErrCopyOpenSource = 10,
  ErrInstallMonitor = 11,
  ErrRemoveMonitor = 12,
  ErrInstallDriver = 13,
  ErrRemoveDriver = 14,
  ErrAddPrinter = 15,
  ErrOpenPrinter = 16,
  ErrDeletePrinter = 17,
  ErrReadPrinterSettings = 18,
  ErrCancelPendingDeletion = 19,
  ErrRestorePrinterSettings = 20,
  ErrReadPrinterJournal = 21,
  ErrWritePrinterJournal = 22,
  ErrWriteSettingsKey = 23,
  ErrProtectedPrintMode = 24,
  ErrUntrustedPackage = 25,
};

// Longest formatted line, in characters, before indentation.
constexpr int LogLineCapacity = 1024;

// The system's English (US) text for an error code, line break included, in
// a block the caller frees with LocalFree; null when there is none.
char16_t* SystemMessage(win::DWORD code);

void LogLine(InstallState& state, const char16_t* text);
void LogFormat(InstallState& state, const char16_t* format, ...);
// Writes "Error(N): " and the message, then the system's text for the last
// error, and counts the error. Call it right after the failing call.
void LogError(InstallState& state, int number, const char16_t* format, ...);
