// The print spooler of the simulated machine. It answers only while its
// service runs, as the real spooler's RPC interface does.
#include <cstring>

#include "platform/sim/machine.h"

namespace {

constexpr win::DWORD ERROR_INVALID_LEVEL = 124;

// The spooler's folder name for an environment, or empty when unknown.
std::u16string EnvironmentFolder(std::u16string_view environment) {
  const std::u16string upper = sim::ToUpperAscii(environment);
  if (upper == u"WINDOWS X64") return u"x64";
  if (upper == u"WINDOWS NT X86") return u"W32X86";
  return {};
}

}  // namespace

namespace win {

BOOL GetPrinterDriverDirectoryW(char16_t* name, char16_t* environment, DWORD level,
                                BYTE* driverDirectory, DWORD bufSize, DWORD* needed) {
  auto& m = sim::Current();
  if (m.Enter("GetPrinterDriverDirectoryW", environment ? environment : u"")) return FALSE;
  if (!m.SpoolerRunning()) {
    m.lastError = RPC_S_SERVER_UNAVAILABLE;
    return FALSE;
  }
  if (name && *name) {
    m.lastError = ERROR_INVALID_NAME;
    return FALSE;
  }
  if (level != 1) {
    m.lastError = ERROR_INVALID_LEVEL;
    return FALSE;
  }
  const std::u16string folder = EnvironmentFolder(environment ? environment : u"Windows x64");
  if (folder.empty()) {
    m.lastError = ERROR_INVALID_ENVIRONMENT;
    return FALSE;
  }
  const std::u16string directory = m.driverRoot + u"\\" + folder;
  const DWORD bytes = static_cast<DWORD>((directory.size() + 1) * sizeof(char16_t));
  if (needed) *needed = bytes;
  if (!driverDirectory || bufSize < bytes) {
    m.lastError = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  std::memcpy(driverDirectory, directory.c_str(), bytes);
  return TRUE;
}

}  // namespace win
