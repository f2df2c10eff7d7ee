// Files: open, read, write, close, what a handle names, attributes, delete, move.
#include <cstddef>

#include "platform/platform.h"

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::DWORD kGenericRead = win::GENERIC_READ;
constexpr win::DWORD kGenericWrite = win::GENERIC_WRITE;
constexpr win::DWORD kDelete = win::DELETE;
constexpr win::DWORD kFileShareRead = win::FILE_SHARE_READ;
constexpr win::DWORD kFileShareWrite = win::FILE_SHARE_WRITE;
constexpr win::DWORD kFileShareDelete = win::FILE_SHARE_DELETE;
constexpr win::DWORD kCreateNew = win::CREATE_NEW;
constexpr win::DWORD kCreateAlways = win::CREATE_ALWAYS;
constexpr win::DWORD kOpenExisting = win::OPEN_EXISTING;
constexpr win::DWORD kOpenAlways = win::OPEN_ALWAYS;
constexpr win::DWORD kTruncateExisting = win::TRUNCATE_EXISTING;
constexpr win::DWORD kFileAttributeReadonly = win::FILE_ATTRIBUTE_READONLY;
constexpr win::DWORD kFileAttributeDirectory = win::FILE_ATTRIBUTE_DIRECTORY;
constexpr win::DWORD kFileAttributeArchive = win::FILE_ATTRIBUTE_ARCHIVE;
constexpr win::DWORD kFileAttributeNormal = win::FILE_ATTRIBUTE_NORMAL;
constexpr win::DWORD kFileAttributeReparsePoint = win::FILE_ATTRIBUTE_REPARSE_POINT;
constexpr win::DWORD kFileFlagOpenReparsePoint = win::FILE_FLAG_OPEN_REPARSE_POINT;
constexpr win::DWORD kInvalidFileAttributes = win::INVALID_FILE_ATTRIBUTES;
constexpr win::DWORD kErrorSharingViolation = win::ERROR_SHARING_VIOLATION;
constexpr win::DWORD kErrorHandleDiskFull = win::ERROR_HANDLE_DISK_FULL;
constexpr win::DWORD kErrorDiskFull = win::ERROR_DISK_FULL;
constexpr win::DWORD kErrorInvalidName = win::ERROR_INVALID_NAME;
constexpr win::DWORD kErrorAlreadyExists = win::ERROR_ALREADY_EXISTS;
constexpr win::DWORD kErrorFilenameExcedRange = win::ERROR_FILENAME_EXCED_RANGE;
constexpr win::DWORD kMoveFileReplaceExisting = win::MOVEFILE_REPLACE_EXISTING;
constexpr win::DWORD kMoveFileDelayUntilReboot = win::MOVEFILE_DELAY_UNTIL_REBOOT;
}  // namespace

#include <windows.h>

static_assert(kGenericRead == GENERIC_READ);
static_assert(kGenericWrite == GENERIC_WRITE);
static_assert(kDelete == DELETE);
static_assert(kFileShareRead == FILE_SHARE_READ);
static_assert(kFileShareWrite == FILE_SHARE_WRITE);
static_assert(kFileShareDelete == FILE_SHARE_DELETE);
static_assert(kCreateNew == CREATE_NEW);
static_assert(kCreateAlways == CREATE_ALWAYS);
static_assert(kOpenExisting == OPEN_EXISTING);
static_assert(kOpenAlways == OPEN_ALWAYS);
static_assert(kTruncateExisting == TRUNCATE_EXISTING);
static_assert(kFileAttributeReadonly == FILE_ATTRIBUTE_READONLY);
static_assert(kFileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(kFileAttributeArchive == FILE_ATTRIBUTE_ARCHIVE);
static_assert(kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(kFileAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(kFileFlagOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT);
static_assert(kInvalidFileAttributes == INVALID_FILE_ATTRIBUTES);
static_assert(kErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(kErrorHandleDiskFull == ERROR_HANDLE_DISK_FULL);
static_assert(kErrorDiskFull == ERROR_DISK_FULL);
static_assert(kErrorInvalidName == ERROR_INVALID_NAME);
static_assert(kErrorAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(kErrorFilenameExcedRange == ERROR_FILENAME_EXCED_RANGE);
static_assert(kMoveFileReplaceExisting == MOVEFILE_REPLACE_EXISTING);
static_assert(kMoveFileDelayUntilReboot == MOVEFILE_DELAY_UNTIL_REBOOT);
// Byte counts are written through the caller's DWORD.
static_assert(sizeof(win::DWORD) == sizeof(::DWORD));
static_assert(sizeof(win::BY_HANDLE_FILE_INFORMATION) == sizeof(::BY_HANDLE_FILE_INFORMATION));
static_assert(offsetof(win::BY_HANDLE_FILE_INFORMATION, nNumberOfLinks) ==
              offsetof(::BY_HANDLE_FILE_INFORMATION, nNumberOfLinks));

namespace win {

HANDLE CreateFileW(const char16_t* fileName, DWORD desiredAccess, DWORD shareMode,
                   void* securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                   HANDLE templateFile) {
  return ::CreateFileW(reinterpret_cast<const wchar_t*>(fileName), desiredAccess, shareMode,
                       static_cast<::LPSECURITY_ATTRIBUTES>(securityAttributes),
                       creationDisposition, flagsAndAttributes, templateFile);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped) {
  return ::ReadFile(file, buffer, bytesToRead, reinterpret_cast<::DWORD*>(bytesRead),
                    static_cast<::LPOVERLAPPED>(overlapped));
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               void* overlapped) {
  return ::WriteFile(file, buffer, bytesToWrite, reinterpret_cast<::DWORD*>(bytesWritten),
                     static_cast<::LPOVERLAPPED>(overlapped));
}

BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }

HANDLE GetStdHandle(DWORD stdHandle) { return ::GetStdHandle(stdHandle); }

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  return ::GetFileInformationByHandle(file, reinterpret_cast<::BY_HANDLE_FILE_INFORMATION*>(information));
}

BOOL SetEndOfFile(HANDLE file) { return ::SetEndOfFile(file); }

DWORD GetFileAttributesW(const char16_t* fileName) {
  return ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(fileName));
}

BOOL DeleteFileW(const char16_t* fileName) {
  return ::DeleteFileW(reinterpret_cast<const wchar_t*>(fileName));
}

BOOL CreateDirectoryW(const char16_t* pathName, void* securityAttributes) {
  return ::CreateDirectoryW(reinterpret_cast<const wchar_t*>(pathName),
                            static_cast<SECURITY_ATTRIBUTES*>(securityAttributes));
}

BOOL MoveFileExW(const char16_t* existingFileName, const char16_t* newFileName, DWORD flags) {
  return ::MoveFileExW(reinterpret_cast<const wchar_t*>(existingFileName),
                       reinterpret_cast<const wchar_t*>(newFileName), flags);
}

}  // namespace win
