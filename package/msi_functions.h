// The installer's functions the custom actions call, found at run time in
// the msi.dll of the process (or the system directory's alone), so that the
// DLL imports known DLLs only.
#pragma once

#include <windows.h>
#include <msiquery.h>

#include <string>

struct MsiFunctions {
  decltype(&MsiGetPropertyW) getProperty = nullptr;
  decltype(&MsiSetPropertyW) setProperty = nullptr;
  decltype(&MsiCreateRecord) createRecord = nullptr;
  decltype(&MsiRecordSetStringW) recordSetString = nullptr;
  decltype(&MsiProcessMessage) processMessage = nullptr;
  decltype(&MsiCloseHandle) closeHandle = nullptr;
  decltype(&MsiSetMode) setMode = nullptr;

  bool Load();
};

extern MsiFunctions Msi;

// A property's value; empty when it has none or cannot be read.
std::wstring Property(MSIHANDLE install, const wchar_t* name);
