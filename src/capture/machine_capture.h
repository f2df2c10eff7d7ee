// corvane-capture: reads, through the platform's calls and without
// changing anything, what the setup tool touches on the machine it runs on
// and writes it as a machine directory that corvane-sim and the native
// corvane-setup load (a customer's machine, rehearsed at home):
//
//   the spooler's state, port monitors with their DLL and ports, the drivers
//   of "Windows x64" with their files, every local printer (port, driver,
//   comment, location, attributes, queued jobs, the settings key name plain
//   and under "DsUser") and the default printer; the product's registry key
//   (with its journal), its Run value and the pending file operations; the
//   product's files, copied, and the spooler's other files as stand-ins that
//   carry only their version; the system version; whether the tray
//   companion runs.
//
// Nothing else is read: no documents, no other software's data. What could
// not be read is left out and named, as a comment in machine.txt and in the
// report; reading needs no administrator rights.
#pragma once

#include <string>
#include <vector>

struct CaptureResult {
  std::string error;                 // no usable directory was written
  std::vector<std::string> missing;  // what could not be read
};

// `dir` must be new or an empty folder; `setupFolder` is where the product's
// installer lies (its files beside it, the tray companion one folder up).
CaptureResult CaptureMachine(const std::u16string& dir, const std::u16string& setupFolder);

// The usual installer folder.
constexpr char16_t DefaultSetupFolder[] = u"C:\\Program Files\\Corvane\\Setup";
