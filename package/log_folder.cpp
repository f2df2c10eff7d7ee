#include "log_folder.h"

#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

namespace {

// Full control for the system and administrators, inherited by the log
// file; "P": nothing is inherited from the Temp folder above.
constexpr wchar_t OwnersOnly[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

}  // namespace

bool MakeLogFolder(std::wstring& folder) {
  wchar_t windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  unsigned char random[12];
  if (!RtlGenRandom(random, sizeof random)) return false;
  folder.assign(windows, length);
  folder += L"\\Temp\\corvane-setup-";
  for (const unsigned char byte : random) {
    folder += L"0123456789abcdef"[byte >> 4];
    folder += L"0123456789abcdef"[byte & 15];
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(OwnersOnly, SDDL_REVISION_1,
                                                            &attributes.lpSecurityDescriptor, nullptr))
    return false;
  // Fails with ERROR_ALREADY_EXISTS on a name someone took first.
  const bool made = CreateDirectoryW(folder.c_str(), &attributes);
  const DWORD error = GetLastError();
  LocalFree(attributes.lpSecurityDescriptor);
  SetLastError(error);
  return made;
}

void RemoveLogFolder(const std::wstring& folder, const std::wstring& logFile) {
  DeleteFileW(logFile.c_str());
  RemoveDirectoryW(folder.c_str());
}
