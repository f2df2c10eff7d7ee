// The product's key under HKEY_LOCAL_MACHINE and the values in it that keep
// printers still to come back. Plain constants, so that the package's
// custom actions, which decide from them whether the product is on the
// machine, read the names the setup tool writes.
#pragma once

constexpr char16_t ProductMachineKey[] = u"Software\\Brennock\\Corvane";
// The journal of remembered printers (printers/printer_journal.h).
constexpr char16_t PrinterJournalValue[] = u"PrintersToRestore";
// Other makers' printers parked on "file:" (monitor/parked_printers.h).
constexpr char16_t ParkedPrintersValue[] = u"PrintersToMoveBack";
