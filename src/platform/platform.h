// The whole contract between the setup tool and its platform.
//
// Every system call the program makes is declared here with the Win32 name,
// arguments, success value and last-error behaviour of the call it stands for.
// Two implementations exist: win32/ forwards to the real Windows API, sim/
// runs the call against a simulated Windows machine. System code includes
// this header and never <windows.h>.
//
// Text is UTF-16 (char16_t); the Win32 side reinterprets it as wchar_t.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

// ---- Basic types -------------------------------------------------------
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using SHORT = std::int16_t;
using UINT = unsigned int;
using BOOL = int;
using SIZE_T = std::size_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using HRESULT = LONG;
using WCHAR = char16_t;

using HANDLE = void*;
using HLOCAL = void*;
using HGLOBAL = void*;
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;
struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;
using DWORDLONG = std::uint64_t;
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// Dialog procedure; x64 has a single calling convention, so no CALLBACK.
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD MAX_PATH = 260;

inline WORD LOWORD(DWORD_PTR v) { return static_cast<WORD>(v & 0xFFFF); }
inline WORD HIWORD(DWORD_PTR v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
inline const char16_t* MAKEINTRESOURCEW(WORD id) {
  return reinterpret_cast<const char16_t*>(static_cast<UINT_PTR>(id));
}

// ---- Error codes the program meets -------------------------------------
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_HANDLE_DISK_FULL = 39;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INVALID_LEVEL = 124;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_DATABASE_DOES_NOT_EXIST = 1065;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;
constexpr DWORD ERROR_UNKNOWN_PORT = 1796;
constexpr DWORD ERROR_UNKNOWN_PRINTER_DRIVER = 1797;
constexpr DWORD ERROR_UNKNOWN_PRINTPROCESSOR = 1798;
constexpr DWORD ERROR_INVALID_PRINTER_NAME = 1801;
constexpr DWORD ERROR_PRINTER_ALREADY_EXISTS = 1802;
constexpr DWORD ERROR_INVALID_PRINTER_COMMAND = 1803;
constexpr DWORD ERROR_INVALID_ENVIRONMENT = 1805;
constexpr DWORD ERROR_UNKNOWN_PRINT_MONITOR = 3000;
constexpr DWORD ERROR_PRINTER_DRIVER_IN_USE = 3001;
constexpr DWORD ERROR_PRINT_MONITOR_ALREADY_INSTALLED = 3006;
constexpr DWORD ERROR_PRINT_MONITOR_IN_USE = 3008;
constexpr DWORD E_OUTOFMEMORY_CODE = 0x8007000Eu;  // E_OUTOFMEMORY as a last error

// ---- Heaps ---------------------------------------------------------------
// The C runtime's ordinary heap (malloc, realloc, free).
void* malloc(SIZE_T size);
void* realloc(void* block, SIZE_T size);
void free(void* block);

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL GlobalFree(HGLOBAL mem);  // null on success
HLOCAL LocalFree(HLOCAL mem);     // null on success

// ---- Process, errors, time -------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD code);
[[noreturn]] void ExitProcess(UINT exitCode);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();

char16_t* GetCommandLineW();
// The result is one LocalAlloc block; release it with LocalFree.
char16_t** CommandLineToArgvW(const char16_t* commandLine, int* numArgs);
DWORD GetModuleFileNameW(HMODULE module, char16_t* filename, DWORD size);
UINT GetSystemDirectoryW(char16_t* buffer, UINT size);

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD LANG_ENGLISH_US = 0x0409;
// With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really a char16_t** that
// receives a LocalAlloc block.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char16_t* buffer, DWORD size, void* arguments);

constexpr UINT CP_ACP = 0;
constexpr DWORD MB_PRECOMPOSED = 0x00000001;
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByte, int multiByteCount,
                        char16_t* wide, int wideCount);

// ---- System version, processes, synchronisation --------------------------------
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
BOOL GetVersionExA(OSVERSIONINFOA* info);

struct STARTUPINFOW {
  DWORD cb;
  char16_t* lpReserved;
  char16_t* lpDesktop;
  char16_t* lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};
struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;
constexpr DWORD STARTF_USESHOWWINDOW = 0x1;
constexpr WORD SW_SHOW = 5;
BOOL CreateProcessW(const char16_t* applicationName, char16_t* commandLine,
                    void* processAttributes, void* threadAttributes, BOOL inheritHandles,
                    DWORD creationFlags, void* environment, const char16_t* currentDirectory,
                    STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation);

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD INFINITE = 0xFFFFFFFFu;
HANDLE CreateMutexA(void* mutexAttributes, BOOL initialOwner, const char* name);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// ---- Sessions and the account the process runs as ---------------------------------
DWORD GetCurrentProcessId();
BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId);
// A pseudo handle: never closed.
HANDLE GetCurrentProcess();
constexpr DWORD TOKEN_QUERY = 0x0008;
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token);
struct SID_AND_ATTRIBUTES {
  void* Sid;
  DWORD Attributes;
};
struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};
enum TOKEN_INFORMATION_CLASS { TokenUser = 1 };
// Two-call size protocol: the record and the SID it points to, in one block.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, void* information,
                         DWORD length, DWORD* returnLength);
enum WELL_KNOWN_SID_TYPE { WinLocalSystemSid = 22 };
BOOL IsWellKnownSid(void* sid, WELL_KNOWN_SID_TYPE type);

// A file's security: its owner and its discretionary ACL.
constexpr DWORD OWNER_SECURITY_INFORMATION = 0x00000001;
constexpr DWORD DACL_SECURITY_INFORMATION = 0x00000004;
struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};
// Allowed and denied ACEs share this layout; the SID starts at SidStart.
struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  DWORD Mask;
  DWORD SidStart;
};
constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE INHERIT_ONLY_ACE = 0x08;
// Two-call size protocol: a self-relative security descriptor.
BOOL GetFileSecurityW(const char16_t* fileName, DWORD requested, void* descriptor, DWORD length, DWORD* needed);
BOOL GetSecurityDescriptorOwner(void* descriptor, void** owner, BOOL* defaulted);
// `dacl` is null for a null DACL, which grants everyone everything.
BOOL GetSecurityDescriptorDacl(void* descriptor, BOOL* present, ACL** dacl, BOOL* defaulted);
BOOL GetAce(ACL* acl, DWORD index, void** ace);

// ---- Files ---------------------------------------------------------------
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD DELETE = 0x00010000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
// Opens a symbolic link or junction itself rather than what it points to.
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;

HANDLE CreateFileW(const char16_t* fileName, DWORD desiredAccess, DWORD shareMode,
                   void* securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                   HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               void* overlapped);
BOOL CloseHandle(HANDLE object);
// The process's standard output, which is not closed: null or
// INVALID_HANDLE_VALUE when it has none.
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
HANDLE GetStdHandle(DWORD stdHandle);

struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
// Cuts the file, or makes it longer, at the handle's position.
BOOL SetEndOfFile(HANDLE file);
DWORD GetFileAttributesW(const char16_t* fileName);
BOOL DeleteFileW(const char16_t* fileName);
BOOL CreateDirectoryW(const char16_t* pathName, void* securityAttributes);

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 0x4;
BOOL MoveFileExW(const char16_t* existingFileName, const char16_t* newFileName, DWORD flags);

// ---- Registry (results are error codes; the last error is not set) ------------
inline HKEY PredefinedKey(LONG value) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value));
}
inline HKEY const HKEY_CURRENT_USER = PredefinedKey(static_cast<LONG>(0x80000001u));
inline HKEY const HKEY_LOCAL_MACHINE = PredefinedKey(static_cast<LONG>(0x80000002u));
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, REGSAM desired, HKEY* result);
// Opens the key, creating it and any missing keys above it first.
LONG RegCreateKeyExW(HKEY key, const char16_t* subKey, DWORD reserved, char16_t* keyClass, DWORD options,
                     REGSAM desired, void* securityAttributes, HKEY* result, DWORD* disposition);
// Returns once what was written under the key is on disk.
LONG RegFlushKey(HKEY key);
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result);
LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* dataSize);
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);
LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD reserved, DWORD type,
                    const BYTE* data, DWORD dataSize);
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegDeleteValueW(HKEY key, const char16_t* valueName);
LONG RegDeleteValueA(HKEY key, const char* valueName);
LONG RegCloseKey(HKEY key);

// ---- Service Control Manager ----------------------------------------------
constexpr DWORD STANDARD_RIGHTS_REQUIRED = 0x000F0000u;
constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;

struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
};

SC_HANDLE OpenSCManagerW(const char16_t* machineName, const char16_t* databaseName,
                         DWORD desiredAccess);
SC_HANDLE OpenServiceW(SC_HANDLE manager, const char16_t* serviceName, DWORD desiredAccess);
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
BOOL StartServiceW(SC_HANDLE service, DWORD numArgs, const char16_t** args);
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
BOOL CloseServiceHandle(SC_HANDLE object);

// ---- Print spooler -----------------------------------------------------------
// Records keep the 64-bit Windows layout; strings point into the same buffer.
struct DEVMODEW;  // opaque: passed through, never read

struct MONITOR_INFO_1W {
  char16_t* pName;
};
struct MONITOR_INFO_2W {
  char16_t* pName;
  char16_t* pEnvironment;
  char16_t* pDLLName;
};
struct PORT_INFO_2W {
  char16_t* pPortName;
  char16_t* pMonitorName;
  char16_t* pDescription;
  DWORD fPortType;
  DWORD Reserved;
};
struct DRIVER_INFO_1W {
  char16_t* pName;
};
struct DRIVER_INFO_2W {
  DWORD cVersion;
  char16_t* pName;
  char16_t* pEnvironment;
  char16_t* pDriverPath;
  char16_t* pDataFile;
  char16_t* pConfigFile;
};
struct DRIVER_INFO_3W {
  DWORD cVersion;
  char16_t* pName;
  char16_t* pEnvironment;
  char16_t* pDriverPath;
  char16_t* pDataFile;
  char16_t* pConfigFile;
  char16_t* pHelpFile;
  char16_t* pDependentFiles;
  char16_t* pMonitorName;
  char16_t* pDefaultDataType;
};
struct DRIVER_INFO_4W {
  DWORD cVersion;
  char16_t* pName;
  char16_t* pEnvironment;
  char16_t* pDriverPath;
  char16_t* pDataFile;
  char16_t* pConfigFile;
  char16_t* pHelpFile;
  char16_t* pDependentFiles;
  char16_t* pMonitorName;
  char16_t* pDefaultDataType;
  char16_t* pszzPreviousNames;
};
struct DRIVER_INFO_5W {
  DWORD cVersion;
  char16_t* pName;
  char16_t* pEnvironment;
  char16_t* pDriverPath;
  char16_t* pDataFile;
  char16_t* pConfigFile;
  DWORD dwDriverAttributes;
  DWORD dwConfigVersion;
  DWORD dwDriverVersion;
};
struct DRIVER_INFO_6W {
  DWORD cVersion;
  char16_t* pName;
  char16_t* pEnvironment;
  char16_t* pDriverPath;
  char16_t* pDataFile;
  char16_t* pConfigFile;
  char16_t* pHelpFile;
  char16_t* pDependentFiles;
  char16_t* pMonitorName;
  char16_t* pDefaultDataType;
  char16_t* pszzPreviousNames;
  FILETIME ftDriverDate;
  DWORDLONG dwlDriverVersion;
  char16_t* pszMfgName;
  char16_t* pszOEMUrl;
  char16_t* pszHardwareID;
  char16_t* pszProvider;
};
struct PRINTER_INFO_2W {
  char16_t* pServerName;
  char16_t* pPrinterName;
  char16_t* pShareName;
  char16_t* pPortName;
  char16_t* pDriverName;
  char16_t* pComment;
  char16_t* pLocation;
  DEVMODEW* pDevMode;
  char16_t* pSepFile;
  char16_t* pPrintProcessor;
  char16_t* pDatatype;
  char16_t* pParameters;
  void* pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
};
struct PRINTER_DEFAULTSW {
  char16_t* pDatatype;
  DEVMODEW* pDevMode;
  DWORD DesiredAccess;
};

constexpr DWORD PRINTER_ENUM_LOCAL = 0x2;
constexpr DWORD PRINTER_ENUM_CONNECTIONS = 0x4;
constexpr DWORD PRINTER_ACCESS_ADMINISTER = 0x4;
constexpr DWORD PRINTER_ACCESS_USE = 0x8;
constexpr DWORD PRINTER_STATUS_PENDING_DELETION = 0x4;
constexpr DWORD APD_COPY_ALL_FILES = 0x4;
constexpr DWORD DPD_DELETE_ALL_FILES = 0x4;
constexpr DWORD PRINTER_ALL_ACCESS = 0xF000C;
constexpr DWORD PRINTER_ATTRIBUTE_DEFAULT = 0x4;
constexpr DWORD PRINTER_CONTROL_PURGE = 3;

BOOL GetPrinterDriverDirectoryW(char16_t* name, char16_t* environment, DWORD level,
                                BYTE* driverDirectory, DWORD bufSize, DWORD* needed);
BOOL EnumMonitorsW(char16_t* name, DWORD level, BYTE* monitors, DWORD bufSize, DWORD* needed,
                   DWORD* returned);
BOOL AddMonitorW(char16_t* name, DWORD level, BYTE* monitors);
BOOL EnumPortsW(char16_t* name, DWORD level, BYTE* ports, DWORD bufSize, DWORD* needed,
                DWORD* returned);
BOOL DeleteMonitorW(char16_t* name, char16_t* environment, char16_t* monitorName);
BOOL EnumPrinterDriversW(char16_t* name, char16_t* environment, DWORD level, BYTE* driverInfo,
                         DWORD bufSize, DWORD* needed, DWORD* returned);
BOOL AddPrinterDriverExW(char16_t* name, DWORD level, BYTE* driverInfo, DWORD fileCopyFlags);
BOOL DeletePrinterDriverExW(char16_t* name, char16_t* environment, char16_t* driverName,
                            DWORD deleteFlag, DWORD versionFlag);
BOOL GetPrinterDriverW(HANDLE printer, char16_t* environment, DWORD level, BYTE* driverInfo,
                       DWORD bufSize, DWORD* needed);
BOOL OpenPrinterW(char16_t* printerName, HANDLE* printer, PRINTER_DEFAULTSW* defaults);
BOOL SetPrinterW(HANDLE printer, DWORD level, BYTE* printerInfo, DWORD command);
BOOL ClosePrinter(HANDLE printer);
BOOL EnumPrintersW(DWORD flags, char16_t* name, DWORD level, BYTE* printerEnum, DWORD bufSize,
                   DWORD* needed, DWORD* returned);
HANDLE AddPrinterW(char16_t* name, DWORD level, BYTE* printer);
BOOL DeletePrinter(HANDLE printer);
BOOL GetPrinterW(HANDLE printer, DWORD level, BYTE* printerInfo, DWORD bufSize, DWORD* needed);
// Printer data: results are error codes, as for the registry.
DWORD GetPrinterDataA(HANDLE printer, char* valueName, DWORD* type, BYTE* data, DWORD size,
                      DWORD* needed);
DWORD GetPrinterDataExA(HANDLE printer, const char* keyName, const char* valueName, DWORD* type,
                        BYTE* data, DWORD size, DWORD* needed);
DWORD SetPrinterDataA(HANDLE printer, char* valueName, DWORD type, BYTE* data, DWORD size);
DWORD SetPrinterDataExA(HANDLE printer, const char* keyName, const char* valueName, DWORD type,
                        BYTE* data, DWORD size);
// `size` is in characters, terminator included, both ways.
BOOL GetDefaultPrinterW(char16_t* buffer, DWORD* size);
BOOL SetDefaultPrinterW(const char16_t* printer);

// ---- File version resources ------------------------------------------------------
struct VS_FIXEDFILEINFO {
  DWORD dwSignature;  // 0xFEEF04BD
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};
constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BDu;

DWORD GetFileVersionInfoSizeW(const char16_t* fileName, DWORD* handle);
BOOL GetFileVersionInfoW(const char16_t* fileName, DWORD handle, DWORD size, void* data);
BOOL VerQueryValueW(const void* block, const char16_t* subBlock, void** buffer, UINT* length);

// ---- Windows, messages, keyboard -------------------------------------------
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_USER = 0x0400;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int VK_SHIFT = 0x10;

HWND FindWindowW(const char16_t* className, const char16_t* windowName);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND window);
SHORT GetAsyncKeyState(int virtualKey);

INT_PTR DialogBoxParamW(HINSTANCE instance, const char16_t* templateName, HWND owner,
                        DLGPROC dialogProc, LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL SetDlgItemTextW(HWND dialog, int itemId, const char16_t* text);
BOOL SetWindowTextW(HWND window, const char16_t* text);

}  // namespace win
