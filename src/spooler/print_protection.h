// Windows protected print mode (Windows 11 24H2 and later): the spooler then
// loads no port monitor or printer driver but Windows' own, so the product
// cannot be installed while it is on.
#pragma once

// Where Windows records it: the policy an administrator sets (Group Policy,
// an MDM's Printers/ConfigureWindowsProtectedPrint) and the setting a user
// turns on in Settings.
constexpr char16_t ProtectedPrintPolicyKey[] = u"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
constexpr char16_t ProtectedPrintSettingKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\WPP";

// True when the policy or the setting turns the mode on.
bool ProtectedPrintModeOn();
