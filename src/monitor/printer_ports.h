// Switching a printer of the run's snapshot between the product's port and
// "file:", and writing the change back to the spooler.
#pragma once

#include "run/install_state.h"

// The record's port name holds `port`.
bool OnPort(const win::PRINTER_INFO_2W& printer, const char16_t* port);
// Replaces the first `from` in the record's port name by `to`. The new name
// is kept by the install state, so a longer name never overwrites the
// strings that follow the old one. False when the port does not hold `from`.
bool SwitchPort(InstallState& state, win::PRINTER_INFO_2W& printer, const char16_t* from,
                const char16_t* to);
// Opens the printer, writes the whole record at level 2 and logs the
// outcome. True when the record was written.
bool WritePrinterPort(InstallState& state, win::PRINTER_INFO_2W& printer);
