#include "capture/machine_capture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "capture/capture_output.h"
#include "monitor/port_monitor_install.h"
#include "printers/printer_journal.h"
#include "spooler/companion_files.h"
#include "spooler/pending_file_operations.h"
#include "tray/companion_contract.h"
#include "tray/tray_companion.h"

namespace {

using win::BYTE;
using win::DWORD;
using Bytes = std::vector<BYTE>;

// Where the simulated machine keeps what the spooler reports: where Windows
// keeps it.
constexpr char16_t PrintKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print";
constexpr char16_t LocalPortsKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char16_t LocalPortMonitor[] = u"Local Port";
constexpr char16_t DefaultPrinterKey[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr char16_t SpoolFolder[] = u"\\spool\\PRINTERS";
constexpr char16_t SetupFileName[] = u"corvane-setup.exe";
constexpr DWORD CompanionWindow = 0x10010;

std::u16string Text(const char16_t* text) { return text ? text : u""; }

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string ErrorText(DWORD code) { return "error " + std::to_string(code); }

std::u16string BaseName(const std::u16string& path) {
  const auto slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string Folder(const std::u16string& path) {
  const auto slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

bool SameName(std::u16string a, std::u16string b) {
  for (auto* text : {&a, &b})
    for (auto& c : *text)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return a == b;
}

// The two-call size protocol of the spooler's listings: the records, or
// empty with `error` set.
template <typename Call>
Bytes Listing(Call call, DWORD& count, DWORD& error) {
  Bytes buffer;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD needed = 0;
    count = 0;
    win::SetLastError(0);
    if (call(buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count)) {
      error = 0;
      return buffer;
    }
    error = win::GetLastError();
    if (error != win::ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) break;
    buffer.assign(needed, 0);
  }
  count = 0;
  return {};
}

class Capture {
 public:
  Capture(CaptureOutput& out, const std::u16string& setupFolder) : out_(out), setup_(setupFolder) {}

  void Run() {
    System();
    // The spooler is asked whatever its service's state: a stopped one
    // refuses, and what it refused is named.
    Spooler();
    Monitors();
    Ports();
    Drivers();
    Printers();
    ProductRegistry();
    ProductFiles();
    Tray();
  }

 private:
  void Missing(const std::string& what, DWORD error) { out_.Missing(what + ": " + ErrorText(error)); }

  void System() {
    win::OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (win::GetVersionExA(&version))
      out_.Line("system os-major=" + std::to_string(version.dwMajorVersion) + " os-minor=" +
                std::to_string(version.dwMinorVersion) + " os-build=" + std::to_string(version.dwBuildNumber) +
                " os-platform=" + std::to_string(version.dwPlatformId));
    else
      Missing("the system version", win::GetLastError());
    char16_t buffer[win::MAX_PATH + 1] = {};
    const win::UINT length = win::GetSystemDirectoryW(buffer, win::MAX_PATH + 1);
    if (length > 0 && length <= win::MAX_PATH)
      systemDir_ = buffer;
    else
      Missing("the system directory", win::GetLastError());
    out_.Line("paths module=" + Quoted(setup_ + u"\\" + SetupFileName) + " current-dir=" + Quoted(setup_) +
              (systemDir_.empty() ? "" : " system-dir=" + Quoted(systemDir_)));
    KeepFolder(systemDir_);
    KeepFolder(systemDir_ + SpoolFolder);
    KeepFolder(setup_);
    out_.Key(win::HKEY_LOCAL_MACHINE, SessionManagerKey);
    out_.Key(win::HKEY_LOCAL_MACHINE, RunKey);
  }

  void Spooler() {
    DWORD state = 0;
    win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    win::SC_HANDLE service = manager ? win::OpenServiceW(manager, u"Spooler", win::SERVICE_QUERY_STATUS) : nullptr;
    win::SERVICE_STATUS status{};
    if (service && win::QueryServiceStatus(service, &status)) state = status.dwCurrentState;
    if (!state) Missing("the state of the spooler service", win::GetLastError());
    if (service) win::CloseServiceHandle(service);
    if (manager) win::CloseServiceHandle(manager);
    const char* names[] = {"", "stopped", "start-pending", "stop-pending", "running"};
    if (state >= win::SERVICE_STOPPED && state <= win::SERVICE_RUNNING)
      out_.Line(std::string("service name=\"Spooler\" state=") + names[state]);
  }

  void Monitors() {
    DWORD count = 0, error = 0;
    const Bytes records = Listing(
        [](BYTE* b, DWORD s, DWORD* n, DWORD* r) { return win::EnumMonitorsW(nullptr, 2, b, s, n, r); }, count, error);
    if (error) return Missing("the port monitors (EnumMonitorsW)", error);
    const auto* monitors = reinterpret_cast<const win::MONITOR_INFO_2W*>(records.data());
    for (DWORD i = 0; i < count; ++i) {
      const std::u16string name = Text(monitors[i].pName), dll = Text(monitors[i].pDLLName);
      monitors_.push_back(name);
      out_.String(win::HKEY_LOCAL_MACHINE, std::u16string(PrintKey) + u"\\Monitors\\" + name, u"Driver", dll);
      if (dll.empty() || SameName(name, LocalPortMonitor)) continue;
      const bool bare = dll.find_first_of(u"\\/") == std::u16string::npos;
      if (bare && systemDir_.empty()) continue;
      TakeFile(bare ? systemDir_ + u"\\" + dll : dll);
    }
  }

  // A folder the setup tool writes into, kept when it is there.
  void KeepFolder(const std::u16string& path) {
    const DWORD attributes = path.empty() ? win::INVALID_FILE_ATTRIBUTES : win::GetFileAttributesW(path.c_str());
    if (attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_DIRECTORY)) out_.Folder(path);
  }

  bool Listed(const std::u16string& monitor) const {
    for (const auto& name : monitors_)
      if (SameName(name, monitor)) return true;
    return false;
  }

  void Ports() {
    DWORD count = 0, error = 0;
    const Bytes records = Listing(
        [](BYTE* b, DWORD s, DWORD* n, DWORD* r) { return win::EnumPortsW(nullptr, 2, b, s, n, r); }, count, error);
    if (error) return Missing("the ports (EnumPortsW)", error);
    const auto* ports = reinterpret_cast<const win::PORT_INFO_2W*>(records.data());
    for (DWORD i = 0; i < count; ++i) {
      // Wine 8 names the local monitor "Local Monitor" in its port records
      // and "Local Port" in its monitor list: a port of no listed monitor
      // belongs to the local one.
      std::u16string monitor = Text(ports[i].pMonitorName);
      if (!Listed(monitor)) monitor = LocalPortMonitor;
      if (SameName(monitor, LocalPortMonitor))
        out_.String(win::HKEY_LOCAL_MACHINE, LocalPortsKey, Text(ports[i].pPortName), u"");
      else
        out_.Key(win::HKEY_LOCAL_MACHINE,
                 std::u16string(PrintKey) + u"\\Monitors\\" + monitor + u"\\Ports\\" + Text(ports[i].pPortName));
    }
  }

  void Drivers() {
    char16_t environment[] = u"Windows x64";
    DWORD needed = 0;
    BYTE directory[2 * (win::MAX_PATH + 1)] = {};
    if (win::GetPrinterDriverDirectoryW(nullptr, environment, 1, directory, sizeof directory, &needed)) {
      driverDir_ = reinterpret_cast<const char16_t*>(directory);
      while (!driverDir_.empty() && driverDir_.back() == u'\\') driverDir_.pop_back();
      const std::u16string root = Folder(driverDir_);
      for (const std::u16string& folder : {driverDir_, driverDir_ + u"\\3", root + u"\\W32X86\\3"}) KeepFolder(folder);
      out_.Line("paths driver-root=" + Quoted(root));
    } else {
      Missing("the driver directory", win::GetLastError());
    }
    DWORD count = 0, error = 0;
    const Bytes records = Listing(
        [&](BYTE* b, DWORD s, DWORD* n, DWORD* r) {
          return win::EnumPrinterDriversW(nullptr, environment, 6, b, s, n, r);
        },
        count, error);
    if (error) return Missing("the printer drivers (EnumPrinterDriversW)", error);
    const auto* drivers = reinterpret_cast<const win::DRIVER_INFO_6W*>(records.data());
    for (DWORD i = 0; i < count; ++i) {
      const win::DRIVER_INFO_6W& d = drivers[i];
      const std::u16string key = std::u16string(PrintKey) + u"\\Environments\\" + environment +
                                 u"\\Drivers\\Version-" + Widen(std::to_string(d.cVersion)) +
                                 u"\\" + Text(d.pName);
      out_.Dword(win::HKEY_LOCAL_MACHINE, key, u"Version", d.cVersion);
      for (const auto& [name, path] : {std::pair{u"Driver", d.pDriverPath}, std::pair{u"Data File", d.pDataFile},
                                       std::pair{u"Configuration File", d.pConfigFile}, std::pair{u"Help File", d.pHelpFile}}) {
        if (!path) continue;
        out_.String(win::HKEY_LOCAL_MACHINE, key, name, BaseName(path));
        if (*path) TakeFile(path);
      }
      out_.String(win::HKEY_LOCAL_MACHINE, key, u"Manufacturer", Text(d.pszMfgName));
      out_.String(win::HKEY_LOCAL_MACHINE, key, u"Provider", Text(d.pszProvider));
      out_.String(win::HKEY_LOCAL_MACHINE, key, u"OEM Url", Text(d.pszOEMUrl));
    }
  }

  void Printers() {
    DWORD count = 0, error = 0;
    const Bytes records = Listing(
        [](BYTE* b, DWORD s, DWORD* n, DWORD* r) {
          return win::EnumPrintersW(win::PRINTER_ENUM_LOCAL, nullptr, 2, b, s, n, r);
        },
        count, error);
    if (error) return Missing("the printers (EnumPrintersW)", error);
    const auto* printers = reinterpret_cast<const win::PRINTER_INFO_2W*>(records.data());
    int job = 0;
    for (DWORD i = 0; i < count; ++i) {
      const win::PRINTER_INFO_2W& p = printers[i];
      const std::u16string name = Text(p.pPrinterName);
      // Wine 8 lists a printer key that holds nothing but a value written
      // ahead of the printer: no printer a run could meet.
      if (!p.pDriverName || !*p.pDriverName) {
        out_.Missing("printer \"" + Utf8Of(name) + "\", which names no driver");
        continue;
      }
      const std::u16string key = std::u16string(PrintKey) + u"\\Printers\\" + name;
      out_.String(win::HKEY_LOCAL_MACHINE, key, u"Name", name);
      out_.String(win::HKEY_LOCAL_MACHINE, key, u"Printer Driver", Text(p.pDriverName));
      out_.String(win::HKEY_LOCAL_MACHINE, key, u"Port", Text(p.pPortName));
      out_.String(win::HKEY_LOCAL_MACHINE, key, u"Description", Text(p.pComment));
      out_.String(win::HKEY_LOCAL_MACHINE, key, u"Location", Text(p.pLocation));
      out_.String(win::HKEY_LOCAL_MACHINE, key, u"Print Processor", Text(p.pPrintProcessor));
      out_.Dword(win::HKEY_LOCAL_MACHINE, key, u"Attributes", p.Attributes);
      out_.Dword(win::HKEY_LOCAL_MACHINE, key, u"Status", p.Status & win::PRINTER_STATUS_PENDING_DELETION);
      // Jobs wait as a shadow file naming the printer and a spool file.
      for (DWORD j = 0; j < p.cJobs && !systemDir_.empty(); ++j) {
        const std::string digits = std::to_string(100000 + ++job).substr(1);
        const std::u16string base = systemDir_ + SpoolFolder + u"\\FP" + Widen(digits);
        const auto* owner = reinterpret_cast<const BYTE*>(name.data());
        out_.File(base + u".SHD", Bytes(owner, owner + name.size() * 2), win::FILE_ATTRIBUTE_ARCHIVE);
        out_.File(base + u".SPL", Bytes(), win::FILE_ATTRIBUTE_ARCHIVE);
      }
      SettingsKeyNames(name, key);
    }
    char16_t buffer[win::MAX_PATH + 1];
    DWORD size = win::MAX_PATH + 1;
    if (win::GetDefaultPrinterW(buffer, &size))
      out_.String(win::HKEY_CURRENT_USER, DefaultPrinterKey, u"Device", std::u16string(buffer) + u",winspool,Ne00:");
    else if (win::GetLastError() != win::ERROR_FILE_NOT_FOUND)
      Missing("the default printer", win::GetLastError());
  }

  // The "SubKey" printer data, plain and under "DsUser", as the setup tool
  // reads it; text comes in the system's code page and is kept as UTF-16.
  void SettingsKeyNames(const std::u16string& name, const std::u16string& key) {
    win::HANDLE printer = nullptr;
    win::PRINTER_DEFAULTSW defaults{nullptr, nullptr, win::PRINTER_ACCESS_USE};
    if (!win::OpenPrinterW(const_cast<char16_t*>(name.c_str()), &printer, &defaults))
      return Missing("the settings of printer \"" + Utf8Of(name) + "\" (OpenPrinterW)", win::GetLastError());
    for (const char* dataKey : {"", "DsUser"}) {
      DWORD type = 0, needed = 0;
      Bytes data(1024);
      char valueName[] = "SubKey";
      DWORD status = *dataKey ? win::GetPrinterDataExA(printer, dataKey, valueName, &type, data.data(),
                                                       static_cast<DWORD>(data.size()), &needed)
                              : win::GetPrinterDataA(printer, valueName, &type, data.data(),
                                                     static_cast<DWORD>(data.size()), &needed);
      if (status == win::ERROR_FILE_NOT_FOUND) continue;
      if (status != win::ERROR_SUCCESS) {
        Missing("the settings key name of printer \"" + Utf8Of(name) + "\"" + (*dataKey ? " under DsUser" : ""), status);
        continue;
      }
      data.resize(needed);
      const std::u16string where = key + u"\\" + (*dataKey ? u"DsUser" : u"PrinterDriverData");
      if (type != win::REG_SZ) {
        out_.Value(win::HKEY_LOCAL_MACHINE, where, u"SubKey", type, data);
        continue;
      }
      const int units = win::MultiByteToWideChar(win::CP_ACP, 0, reinterpret_cast<const char*>(data.data()),
                                                 static_cast<int>(data.size()), nullptr, 0);
      std::u16string wide(static_cast<std::size_t>(units > 0 ? units : 0), u'\0');
      if (units > 0)
        win::MultiByteToWideChar(win::CP_ACP, 0, reinterpret_cast<const char*>(data.data()),
                                 static_cast<int>(data.size()), wide.data(), units);
      const auto* bytes = reinterpret_cast<const BYTE*>(wide.data());
      out_.Value(win::HKEY_LOCAL_MACHINE, where, u"SubKey", win::REG_SZ, Bytes(bytes, bytes + wide.size() * 2));
    }
    win::ClosePrinter(printer);
  }

  // A value as it is, whatever its type; false when there is none.
  // `text` receives the value as UTF-16, up to its first zero unless `whole`.
  bool TakeValue(win::HKEY root, const std::u16string& path, const std::u16string& name,
                 std::u16string* text = nullptr, bool whole = false) {
    win::HKEY key = nullptr;
    long status = win::RegOpenKeyExW(root, path.c_str(), 0, win::KEY_READ, &key);
    if (status == win::ERROR_FILE_NOT_FOUND) return false;
    if (status != win::ERROR_SUCCESS) {
      Missing("the registry key " + Utf8Of(path), static_cast<DWORD>(status));
      return false;
    }
    out_.Key(root, path);
    DWORD type = 0, size = 0;
    status = win::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    Bytes data(size);
    if (status == win::ERROR_SUCCESS && size)
      status = win::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    win::RegCloseKey(key);
    if (status != win::ERROR_SUCCESS) {
      if (status != win::ERROR_FILE_NOT_FOUND) Missing("the value " + Utf8Of(path + u"\\" + name), static_cast<DWORD>(status));
      return false;
    }
    data.resize(size);
    if (text) {
      text->assign(data.size() / 2, u'\0');
      std::memcpy(text->data(), data.data(), text->size() * 2);
      if (!whole) text->resize(std::min(text->size(), text->find(u'\0')));
    }
    out_.Value(root, path, name, type, std::move(data));
    return true;
  }

  void ProductRegistry() {
    TakeValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, PrinterJournalValue);
    std::u16string pending;
    if (TakeValue(win::HKEY_LOCAL_MACHINE, SessionManagerKey, PendingValue, &pending, true))
      for (std::size_t at = 0; at < pending.size(); at = pending.find(u'\0', at) + 1) {
        std::u16string entry = pending.substr(at, pending.find(u'\0', at) - at);
        if (entry.rfind(u"\\??\\", 0) == 0) entry.erase(0, 4);
        if (!entry.empty() && IsProductFile(entry)) TakeFile(entry, true);
        if (pending.find(u'\0', at) == std::u16string::npos) break;
      }
    if (TakeValue(win::HKEY_LOCAL_MACHINE, RunKey, RunValue, &trayPath_) && trayPath_.size() > 1 &&
        trayPath_.front() == u'"')
      trayPath_ = trayPath_.substr(1, trayPath_.find(u'"', 1) - 1);
  }

  void ProductFiles() {
    for (const char16_t* name : {SetupFileName, MonitorFile64, DriverFile64, UiFile64, HelpFileName})
      TakeFile(setup_ + u"\\" + name, true);
    TakeFile(Folder(setup_) + u"\\" + TrayFileName, true);
    if (!trayPath_.empty()) TakeFile(trayPath_, true);
    // Package files staged in the driver directory by a run that did not finish.
    if (!driverDir_.empty())
      for (const char16_t* name : {DriverFile64, UiFile64, HelpFileName}) TakeFile(driverDir_ + u"\\" + name, true);
    // A monitor file left in the system directory though no monitor names it.
    if (!systemDir_.empty()) TakeFile(systemDir_ + u"\\" + MonitorFile64, true);
  }

  static bool IsProductFile(const std::u16string& path) {
    for (const char16_t* name : {SetupFileName, MonitorFile64, DriverFile64, UiFile64, HelpFileName, TrayFileName,
                                 MonitorFile32, DriverFile32, UiFile32})
      if (SameName(BaseName(path), name)) return true;
    return false;
  }

  // The product's files whole; any other file as a stand-in that carries its
  // version block only. `quiet`: a file that is not there is no news.
  void TakeFile(const std::u16string& path, bool quiet = false) {
    const DWORD attributes = win::GetFileAttributesW(path.c_str());
    if (attributes == win::INVALID_FILE_ATTRIBUTES) {
      if (!quiet) Missing("the file " + Utf8Of(path), win::GetLastError());
      return;
    }
    if (attributes & win::FILE_ATTRIBUTE_DIRECTORY) return;
    const DWORD kept = win::FILE_ATTRIBUTE_ARCHIVE | (attributes & win::FILE_ATTRIBUTE_READONLY);
    if (!IsProductFile(path)) return out_.File(path, VersionStandIn(path), kept);
    win::HANDLE file = win::CreateFileW(path.c_str(), win::GENERIC_READ,
                                        win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE, nullptr,
                                        win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == win::INVALID_HANDLE_VALUE) return Missing("the file " + Utf8Of(path), win::GetLastError());
    Bytes data;
    BYTE chunk[65536];
    DWORD got = 0;
    bool ok;
    while ((ok = win::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) && got) data.insert(data.end(), chunk, chunk + got);
    if (!ok) Missing("the file " + Utf8Of(path), win::GetLastError());
    win::CloseHandle(file);
    if (ok) out_.File(path, std::move(data), kept);
  }

  Bytes VersionStandIn(const std::u16string& path) {
    DWORD handle = 0;
    const DWORD size = win::GetFileVersionInfoSizeW(path.c_str(), &handle);
    Bytes block(size);
    void* fixed = nullptr;
    win::UINT length = 0;
    if (!size || !win::GetFileVersionInfoW(path.c_str(), handle, size, block.data()) ||
        !win::VerQueryValueW(block.data(), u"\\", &fixed, &length) || length < sizeof(win::VS_FIXEDFILEINFO))
      return {};
    const auto* bytes = static_cast<const BYTE*>(fixed);
    return Bytes(bytes, bytes + sizeof(win::VS_FIXEDFILEINFO));
  }

  void Tray() {
    if (!win::FindWindowW(CompanionWindowClass, nullptr)) return;
    const std::u16string image = trayPath_.empty() ? Folder(setup_) + u"\\" + TrayFileName : trayPath_;
    char window[16];
    std::snprintf(window, sizeof window, "0x%x", static_cast<unsigned>(CompanionWindow));
    out_.Line("clock next-window=0x10020");
    out_.Line("companion running=yes image=" + Quoted(image) + " window=" + window + " starts=1");
    out_.Line(std::string("mutex name=\"") + CompanionMutexName + "\" owner=companion companion-handle=yes");
    out_.Line(std::string("window handle=") + window + " class=" + Quoted(CompanionWindowClass) +
              " title=\"Corvane\" alive=yes role=companion");
  }

  CaptureOutput& out_;
  std::u16string setup_;
  std::u16string systemDir_;
  std::u16string trayPath_;
  std::u16string driverDir_;
  std::vector<std::u16string> monitors_;
};

}  // namespace

CaptureResult CaptureMachine(const std::u16string& dir, const std::u16string& setupFolder) {
  CaptureOutput out;
  out.Line("machine format=1");
  Capture(out, setupFolder).Run();
  CaptureResult result;
  result.missing = out.missing();
  result.error = out.Write(dir);
  return result;
}
