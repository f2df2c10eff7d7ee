// The record that one install or uninstall run carries through every step.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "run/printer_list.h"
#include "util/path_list.h"
#include "util/wide_string.h"

constexpr int BuildNumber = 2620;

// Mode bits of a run.
constexpr unsigned ModeX64 = 2;     // x64 environment and file names
constexpr unsigned ModeNoTray = 4;  // the tray companion is not started

// Bytes of the buffer a settings key name is read into, terminator included.
constexpr int SettingsKeyCapacity = 64;

// A product printer a reinstall deleted and will re-create, with the name of
// its settings key.
struct SavedPrinter {
  char* keyName;                 // global block; empty for a printer without one
  // The printer's record in Printers (not owned), or, for a printer brought
  // back from the journal, inside this node's own block.
  win::PRINTER_INFO_2W* entry;
  SavedPrinter* next;
  // Re-created with all it carries: its record may leave the journal.
  std::uint8_t back;
};

struct InstallState {
  WideString ModuleDir;  // the program's folder, ending in its separator
  WideString SystemDir;  // ends with "\"; empty when unreadable
  WideString Log;
  WideString DriverDir;  // the spooler's driver directory, ending with "\"
  // The companion program a reinstall is about to start again: stopping the
  // old companion must not delete it.
  WideString TrayToKeep;
  const char16_t* Environment;
  const char16_t* MonitorFile;
  const char16_t* DriverFile;
  const char16_t* HelpFile;
  const char16_t* UiFile;
  std::uint8_t Is64Bit;
  std::uint8_t CheckMonitorVersion;  // keep a monitor of a compatible build
  std::uint8_t InstallMonitor;
  std::uint8_t StartTray;
  std::uint8_t CopyMonitor;
  // The printers deleted now are re-created later in the same run.
  std::uint8_t Reinstalling;
  std::int32_t ErrorCount;
  std::int32_t Indent;
  PathNode* Undeletable;  // files that a step failed to delete
  SavedPrinter* SavedSettings;  // product printers to re-create, newest first
  // The journal of printers to bring back as the run read it at its start
  // and last wrote it: whole records of texts back to back, each text with
  // its zero (printers/printer_journal.h), and how many printers they hold.
  WideString PrinterJournal;
  std::int32_t JournalPrinters;
  // Product printers a reinstall left in place because it could not
  // remember them; they count as restored.
  std::int32_t KeptPrinters;
  PrinterList Printers;   // snapshot taken when the run began
  // Why the default printer could not be told when the run began; 0 when it
  // was told, or there is none.
  win::DWORD DefaultPrinterUnknown;
  // Printers parked on "file:" while the monitor was removed; null-ended,
  // pointing into Printers. Null when none was moved.
  win::PRINTER_INFO_2W** MovedPrinters;
  // Port names of printers switched between "Corvane:" and "file:"; the
  // records point here, so the snapshot's own strings are never overwritten.
  PathNode* SwitchedPorts;
};

// Empties the caller's record and fills in what the mode decides.
void ResetInstallState(InstallState& state, unsigned mode);
// Frees every node with its key name.
void ReleaseSavedPrinters(SavedPrinter* head);
// Releases everything the record owns, the log included.
void ReleaseInstallState(InstallState& state);
