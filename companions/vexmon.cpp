// Stand-in for the product's port monitor (vexmon64.dll): it offers one
// port, "Corvane:", and discards whatever is printed to it. Only what the
// spooler needs to register the monitor and bind printers to the port is
// here; the layout of the records follows the print monitor interface
// (InitializePrintMonitor2 returning a MONITOR2 table).
#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <cwchar>
#include <new>

namespace {

constexpr wchar_t PortName[] = L"Corvane:";
constexpr wchar_t MonitorName[] = L"Corvane:";
constexpr wchar_t PortDescription[] = L"Corvane virtual printer port";

// Given by the spooler to InitializePrintMonitor2.
struct MonitorInit {
  DWORD cbSize;
  HANDLE hSpooler;
  HANDLE hckRegistryRoot;
  void* pMonitorReg;
  BOOL bLocal;
  LPCWSTR pszServerName;
};

// The monitor's function table, in the order the spooler reads it.
struct Monitor2 {
  DWORD cbSize;
  BOOL(WINAPI* pfnEnumPorts)(HANDLE, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
  BOOL(WINAPI* pfnOpenPort)(HANDLE, LPWSTR, PHANDLE);
  BOOL(WINAPI* pfnOpenPortEx)(HANDLE, HANDLE, LPWSTR, LPWSTR, PHANDLE, Monitor2*);
  BOOL(WINAPI* pfnStartDocPort)(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE);
  BOOL(WINAPI* pfnWritePort)(HANDLE, LPBYTE, DWORD, LPDWORD);
  BOOL(WINAPI* pfnReadPort)(HANDLE, LPBYTE, DWORD, LPDWORD);
  BOOL(WINAPI* pfnEndDocPort)(HANDLE);
  BOOL(WINAPI* pfnClosePort)(HANDLE);
  BOOL(WINAPI* pfnAddPort)(HANDLE, LPWSTR, HWND, LPWSTR);
  BOOL(WINAPI* pfnAddPortEx)(HANDLE, LPWSTR, DWORD, LPBYTE, LPWSTR);
  BOOL(WINAPI* pfnConfigurePort)(HANDLE, LPWSTR, HWND, LPWSTR);
  BOOL(WINAPI* pfnDeletePort)(HANDLE, LPWSTR, HWND, LPWSTR);
  BOOL(WINAPI* pfnGetPrinterDataFromPort)(HANDLE, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR, DWORD,
                                          LPDWORD);
  BOOL(WINAPI* pfnSetPortTimeOuts)(HANDLE, LPCOMMTIMEOUTS, DWORD);
  BOOL(WINAPI* pfnXcvOpenPort)(HANDLE, LPCWSTR, ACCESS_MASK, PHANDLE);
  DWORD(WINAPI* pfnXcvDataPort)(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD);
  BOOL(WINAPI* pfnXcvClosePort)(HANDLE);
  VOID(WINAPI* pfnShutdown)(HANDLE);
  DWORD(WINAPI* pfnSendRecvBidiDataFromPort)(HANDLE, DWORD, LPCWSTR, void*, void**);
  DWORD(WINAPI* pfnNotifyUsedPorts)(HANDLE, DWORD, PCWSTR*);
  DWORD(WINAPI* pfnNotifyUnusedPorts)(HANDLE, DWORD, PCWSTR*);
  DWORD(WINAPI* pfnPowerEvent)(HANDLE, DWORD, void*);
};

// One open port: the monitor keeps no state beyond the job in progress.
struct Port {
  DWORD job;
  bool printing;
};

// The monitor handle given back to the spooler; the spooler only hands it
// back to us.
int MonitorHandle;

std::size_t Bytes(const wchar_t* text) { return (std::wcslen(text) + 1) * sizeof(wchar_t); }

bool IsOurPort(LPCWSTR name) { return name && _wcsicmp(name, PortName) == 0; }

// Writes `text` just below `end`, moving `end` down; returns where it went.
LPWSTR PackString(LPBYTE& end, const wchar_t* text) {
  const std::size_t size = Bytes(text);
  end -= size;
  std::memcpy(end, text, size);
  return reinterpret_cast<LPWSTR>(end);
}

BOOL WINAPI EnumPorts(HANDLE, LPWSTR, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                      LPDWORD returned) {
  if (!needed || !returned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *returned = 0;
  DWORD total = 0;
  if (level == 1) {
    total = sizeof(PORT_INFO_1W) + Bytes(PortName);
  } else if (level == 2) {
    total = sizeof(PORT_INFO_2W) + Bytes(PortName) + Bytes(MonitorName) + Bytes(PortDescription);
  } else {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  *needed = total;
  if (!ports || size < total) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // Records first, their strings packed from the (even) end of the buffer.
  LPBYTE end = ports + (size & ~DWORD{1});
  if (level == 1) {
    auto* info = reinterpret_cast<PORT_INFO_1W*>(ports);
    info->pName = PackString(end, PortName);
  } else {
    auto* info = reinterpret_cast<PORT_INFO_2W*>(ports);
    info->pPortName = PackString(end, PortName);
    info->pMonitorName = PackString(end, MonitorName);
    info->pDescription = PackString(end, PortDescription);
    info->fPortType = PORT_TYPE_WRITE;
    info->Reserved = 0;
  }
  *returned = 1;
  return TRUE;
}

BOOL WINAPI OpenPort(HANDLE, LPWSTR name, PHANDLE handle) {
  if (!handle || !IsOurPort(name)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Port* port = new (std::nothrow) Port{0, false};
  if (!port) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  *handle = port;
  return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE handle, LPWSTR, DWORD job, DWORD, LPBYTE) {
  auto* port = static_cast<Port*>(handle);
  if (!port) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  port->job = job;
  port->printing = true;
  return TRUE;
}

// Print data is accepted in full and dropped.
BOOL WINAPI WritePort(HANDLE handle, LPBYTE, DWORD size, LPDWORD written) {
  auto* port = static_cast<Port*>(handle);
  if (!port || !written) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *written = port->printing ? size : 0;
  return TRUE;
}

// The port never sends anything back.
BOOL WINAPI ReadPort(HANDLE, LPBYTE, DWORD, LPDWORD read) {
  if (read) *read = 0;
  return TRUE;
}

BOOL WINAPI EndDocPort(HANDLE handle) {
  auto* port = static_cast<Port*>(handle);
  if (!port) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  port->printing = false;
  return TRUE;
}

BOOL WINAPI ClosePort(HANDLE handle) {
  delete static_cast<Port*>(handle);
  return TRUE;
}

// The port has no settings, so its configuration channel answers nothing.
BOOL WINAPI XcvOpenPort(HANDLE, LPCWSTR, ACCESS_MASK, PHANDLE xcv) {
  if (!xcv) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *xcv = &MonitorHandle;
  return TRUE;
}

DWORD WINAPI XcvDataPort(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD outputNeeded) {
  if (outputNeeded) *outputNeeded = 0;
  return ERROR_NOT_SUPPORTED;
}

BOOL WINAPI XcvClosePort(HANDLE) { return TRUE; }

VOID WINAPI Shutdown(HANDLE) {}

Monitor2 Table = {
    sizeof(Monitor2),
    EnumPorts,
    OpenPort,
    nullptr,  // no language monitor
    StartDocPort,
    WritePort,
    ReadPort,
    EndDocPort,
    ClosePort,
    nullptr,  // ports are not added, configured or deleted: there is one
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    XcvOpenPort,
    XcvDataPort,
    XcvClosePort,
    Shutdown,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

extern "C" Monitor2* WINAPI InitializePrintMonitor2(MonitorInit* init, PHANDLE monitor) {
  if (!init || !monitor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  *monitor = &MonitorHandle;
  return &Table;
}
