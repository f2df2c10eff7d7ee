// The system's pending file operations (done at the next restart), and the
// files a run failed to delete: retried, then scheduled for that restart.
#pragma once

#include <cstdint>

#include "run/install_state.h"

// Where the system keeps them (HKEY_LOCAL_MACHINE).
constexpr char16_t SessionManagerKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char16_t PendingValue[] = u"PendingFileRenameOperations";

// The Session Manager's pending operations as pairs: entry 2k is the source
// of pair k, entry 2k+1 its target (null for a deletion). Flag i is 1 while
// entry i names an existing file that is not a directory.
struct PendingRenameTable {
  char16_t** entries;  // global blocks, prefix "\??\" kept
  std::int32_t* flags;
  std::int32_t pairCount;
};

PendingRenameTable ReadPendingRenames();
void ReleasePendingRenames(PendingRenameTable& table);
// The path a file operation gets: the entry without a leading "\??\".
const char16_t* PendingPath(const char16_t* entry);
// Carries out now every pending deletion of the table whose file exists,
// clearing the flag of each file deleted, except one that a later pair
// renames a file onto; renames are never touched.
void DeletePendingDeletions(PendingRenameTable& table);
// Takes every pending deletion of a path of `keep` (letter case ignored,
// "\??\" skipped) off the system's list, with one line naming each file;
// every other operation stays byte for byte. Failing to, it counts an error.
void CancelPendingDeletions(InstallState& state, const PathNode* keep);
// Retries every file of Undeletable; keeps those that still fail.
void DeleteFileTry(InstallState& state);
// Schedules what is left of Undeletable for deletion at restart, empties the
// list and gives the number of files the system accepted.
int ScheduleUndeletableFiles(InstallState& state);
// Deletes the value "deleted" of a printer's per-user settings key
// ("Corvanes\<name>" below the product's key). True when it was deleted.
bool ClearDeletedMark(const char* subkey);
// Whether that per-user key is there, changing nothing.
bool ProductUserKeyExists(const char* subkey);
