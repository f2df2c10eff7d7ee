// A folder for one run of the setup tool's log, made where the installer
// runs as the system: in the Windows folder's Temp, under a random name,
// open to the system and administrators alone. Users may create entries
// in that Temp folder, so a name found there already is never used.
#pragma once

#include <string>

// Makes the folder; false (last error set) when it cannot be made or the
// name is taken.
bool MakeLogFolder(std::wstring& folder);
// Deletes the log file in it and the folder.
void RemoveLogFolder(const std::wstring& folder, const std::wstring& logFile);
