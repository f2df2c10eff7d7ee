// Names of the files the program installs but does not contain, and where
// they lie: the package files beside the installer, the tray companion one
// folder up.
#pragma once

constexpr char16_t MonitorFile64[] = u"vexmon64.dll";
constexpr char16_t MonitorFile32[] = u"vexmon32.dll";
constexpr char16_t DriverFile64[] = u"vexdrv64.dll";
constexpr char16_t DriverFile32[] = u"vexdrv32.dll";
constexpr char16_t UiFile64[] = u"vexui64.dll";
constexpr char16_t UiFile32[] = u"vexui32.dll";
constexpr char16_t HelpFileName[] = u"vexhelp.chm";
constexpr char16_t TrayFileName[] = u"cortray.exe";

constexpr char16_t EnvironmentX64[] = u"Windows x64";
constexpr char16_t EnvironmentX86[] = u"Windows NT x86";
