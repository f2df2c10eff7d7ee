// Whole runs through the program's entry, one row each: the machine before,
// the words, the exit code, log lines that must show (in this order,
// indentation aside; "!" first: a line that must not show) and what the
// product owns afterwards (machine_summary.h; an empty text is not compared).
#include <functional>
#include <set>

#include "machine_summary.h"
#include "printer_journal_text.h"
#include "read_only_check.h"
#include "sim_test.h"

namespace {

using namespace places;
using Setup = std::function<void(sim::Machine&)>;

struct Row {
  const char* name;
  Setup setUp;
  const char16_t* words;
  int exit;
  Texts log;
  std::string state;
  std::function<void(sim::Machine&)> check = nullptr;
};

int RunWords(sim::Machine& m, const std::u16string& words) {
  m.commandLine = u"\"" + m.modulePath + u"\" " + words;
  return CorvaneEntry(reinterpret_cast<win::HINSTANCE>(std::uintptr_t{0x140000000}));
}

void Install(sim::Machine& m) {
  const bool shift = m.shiftHeld;
  m.shiftHeld = false;
  ASSERT_EQ(RunWords(m, u"install"), 1);
  m.shiftHeld = shift;
  m.journal.clear();
}

// The product installed and its own printer gone: printers of the row's own.
void InstallBare(sim::Machine& m) {
  Install(m);
  m.hklm.Remove(sim::PrinterKey(u"Corvane"));
}

void MonitorBuild(sim::Machine& m, unsigned build) { m.AddFile(kSystemMonitor, sim::VersionedFileImage(build)); }
void DriverBuild(sim::Machine& m, unsigned build) {
  m.AddFile(kInstalledDriver, sim::VersionedFileImage(build, 40 * 1024));
}

// Another maker's printer, the default.
void LaserDefault(sim::Machine& m) {
  sim::WritePrinter(m, {u"Laser", u"Generic", u"LPT1:", u"", u"", 0});
  sim::SetDefaultPrinter(m, u"Laser");
}

void Printers(sim::Machine& m, std::initializer_list<const char16_t*> names) {
  for (const char16_t* name : names) {
    AddProductPrinter(m, name, u"Room 2", u"Floor 1");
    SetSettingsKey(m, name, u"", "key" + sim::Utf8(name));
  }
}

// The user's default as the Windows key names it, with a printer "Front desk".
Setup DeviceIs(const char16_t* device) {
  return [=](sim::Machine& m) {
    Printers(m, {u"Front desk"});
    m.SetString(win::HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", u"Device", device);
  };
}
const std::string kFrontDesk = "printer Front desk Corvane: keyFront desk/keyFront desk \"Room 2\" \"Floor 1\"\n";

// The product's printers of these names, "Lab" the default, once installed
// anew; `call` refused once, after `skip` calls that succeed.
Setup LabRefused(std::vector<const char16_t*> names, const char* call, int skip = 0) {
  return [=](sim::Machine& m) {
    InstallBare(m);
    for (const char16_t* name : names) Printers(m, {name});
    sim::SetDefaultPrinter(m, u"Lab");
    m.Fail(call, win::RPC_S_SERVER_UNAVAILABLE, 1, skip);
  };
}

void StartRegistered(sim::Machine& m, const std::u16string& program) {
  m.SetString(win::HKEY_LOCAL_MACHINE, kRunKey, kRunValue, program);
  sim::StartCompanion(m, program);
}

std::vector<int> Counts(sim::Machine& m, std::initializer_list<const char*> calls) {
  std::vector<int> counts;
  for (const char* call : calls) counts.push_back(m.Count(call));
  return counts;
}

const std::string kProduct = summary::kMonitor + summary::kDriver;
// A reinstall's companion: stopped and started again.
const std::string kAgain = summary::kRun + "companion running C:\\Program Files\\Corvane\\cortray.exe started 2 asked 1\n";
const std::string kOffice = "printer Office Corvane: keyOffice/keyOffice \"Room 2\" \"Floor 1\"\n";
const std::string kReinstalled = kProduct + summary::kCorvane + kAgain;
const std::string kPendingHelp = "pending \\??\\C:\\Windows\\system32\\spool\\drivers\\x64\\vexhelp.chm -> \n";
const std::string kNoTray = "companion ended C:\\Program Files\\Corvane\\cortray.exe started 1 asked 1\nno tray program\n";
const std::u16string kNotRestored =
    u"Error(20): Can`t restore the comment, location or default of printer 'Lab' - (The RPC server is unavailable.)";
const std::u16string kSettingsUnread = u"Error(18): Can`t read the settings of printer 'Lab' - (The RPC server is unavailable.)";

void NothingDone(sim::Machine& m) {
  EXPECT_EQ(m.Count("OpenSCManagerW"), 0);
  EXPECT_TRUE(m.dialogs.empty());
}

// onInit with the product's printer the default and `pending` left by an
// earlier run; the monitor file stays held, a package file under the
// driver's store and one elsewhere exist.
Setup PendingAtInit(Texts pending) {
  return [pending](sim::Machine& m) {
    Install(m);
    sim::SetDefaultPrinter(m, u"Corvane");
    m.AddFile(kDriverDir + u"3\\VEXUI64.DLL", {1});
    m.AddFile(u"C:\\Temp\\vexmon64.dll", {1});
    m.HoldFile(kSystemMonitor, UINT64_MAX, win::FILE_SHARE_READ, "an old spooler module");
    SetPending(m, pending);
  };
}

// onInit with nothing of the product's pending at the end: only the default decides.
Setup NoPackageFileWaits(Texts pending) {
  return [pending](sim::Machine& m) {
    m.AddDirectory(u"C:\\Temp\\vexdrv64.dll");
    m.AddFile(u"C:\\Temp\\vexui32.dll", {1});
    m.AddFile(u"C:\\Temp\\oldvexui64.dll", {1});
    m.AddFile(kDriverDir + u"3\\vexdrv64.dll", {1});
    m.AddFile(u"C:\\Temp\\Held\\vexmon64.dll", {1});
    m.HoldFile(u"C:\\Temp\\Held\\vexmon64.dll", 500);
    SetPending(m, pending);
  };
}

std::function<void(sim::Machine&)> Restarts(int n, const std::u16string& file, bool stays) {
  return [=](sim::Machine& m) {
    EXPECT_EQ(Counts(m, {"ControlService", "StartServiceW"}), (std::vector<int>{n, n}));
    EXPECT_EQ(m.Count("GetDefaultPrinterW"), n == 2 ? 0 : 1);
    EXPECT_EQ(m.FindFile(file) != nullptr, stays);
    EXPECT_TRUE(m.SpoolerRunning());
  };
}

// "/log=" writes here; the folder exists, an old file there when asked.
constexpr char16_t kLogFile[] = u"C:\\Deploy\\corvane.log";
std::string LogBytes(sim::Machine& m) { return FileBytes(m, kLogFile); }
Setup Deploy(Setup more = nullptr, bool oldLog = false) {
  return [=](sim::Machine& m) {
    m.AddDirectory(u"C:\\Deploy");
    if (oldLog) m.AddFile(kLogFile, std::vector<std::uint8_t>(100000, 'x'));
    if (more) more(m);
  };
}
void NoDialog(sim::Machine& m) { EXPECT_TRUE(m.dialogs.empty()); }
// The log dialog closed this way, and what it gave back.
Setup ClosedBy(sim::DialogClose way) {
  return [=](sim::Machine& m) { m.dialogActions = {way}; };
}
std::function<void(sim::Machine&)> Gave(win::INT_PTR result) {
  return [=](sim::Machine& m) { EXPECT_EQ(m.dialogs.empty() ? -1 : m.dialogs.back().result, result); };
}
void NoManager(sim::Machine& m) { m.Fail("OpenSCManagerW", win::ERROR_ACCESS_DENIED); }
// The file holds the dialog's title and text, as UTF-8 after a byte-order mark.
std::function<void(sim::Machine&)> LogFileShows(const char* title) {
  return [title](sim::Machine& m) {
    ASSERT_EQ(m.dialogs.size(), 1u);
    EXPECT_EQ(LogBytes(m), "\xEF\xBB\xBF" + std::string(title) + "\r\n" + sim::Utf8(m.dialogs[0].text));
  };
}
std::function<void(sim::Machine&)> LogFileHolds(std::string bytes) {
  return [bytes](sim::Machine& m) {
    EXPECT_EQ(LogBytes(m), bytes);
    EXPECT_TRUE(m.dialogs.empty());
  };
}

// A run in `session`, as SYSTEM or the user, the user's companion running
// in session 1 or not: it is only ever the user's, in session 1.
Setup InSession(win::DWORD session, bool asSystem, bool companion) {
  return [=](sim::Machine& m) {
    if (companion) StartRegistered(m, kTray);
    m.session = session;
    m.runsAsSystem = asSystem;
  };
}
void UsersCompanion(sim::Machine& m) {
  EXPECT_EQ(m.companion.session, 1u);
  EXPECT_EQ(win::FindWindowW(sim::CompanionWindowClass, nullptr) != nullptr, m.session == 1) << "met from its session only";
  EXPECT_FALSE(m.companion.asSystem);
  EXPECT_TRUE(m.handles.empty()) << "handles left open";
}

void Connected(sim::Machine& m) { Install(m), sim::AddConnection(m, u"office", u"Colour", u"Corvane printer"); }
const std::u16string kConnectionKeepsDriver = u"The driver stays: the connection to '\\\\office\\Colour' uses it";
void ConnectionStays(sim::Machine& m) {
  EXPECT_EQ(sim::Connections(m).size(), 1u);
  sim::DriverRecord driver;
  EXPECT_TRUE(sim::FindDriver(m, u"Windows x64", u"Corvane printer", driver));
}

// "removetray": the time it took, whether the companion runs, how often it
// was started and asked to end, waits on its mutex, deletions of its program
// and whether that is still there. The Run value goes in any case.
std::function<void(sim::Machine&)> TrayRemoved(std::uint64_t minMs, std::uint64_t maxMs, std::vector<int> companion,
                                                int waits, int deletions, bool programStays) {
  return [=](sim::Machine& m) {
    EXPECT_GE(m.nowMs, minMs);
    EXPECT_LE(m.nowMs, maxMs);
    EXPECT_EQ((std::vector<int>{m.companion.running, m.companion.starts, m.companion.exitRequests}), companion);
    EXPECT_EQ(m.Count("WaitForSingleObject"), waits);
    if (deletions >= 0) {
      EXPECT_EQ(CallsOn(m, "DeleteFileW", kTray), deletions);
    }
    EXPECT_EQ(m.FindFile(kTray) != nullptr, programStays);
    EXPECT_TRUE(m.dialogs.empty());
    for (const auto& [name, mutex] : m.mutexes) EXPECT_EQ(mutex.programHandles, 0) << "mutex handle left open";
    EXPECT_EQ(RunEntry(m), nullptr);
  };
}
void StartTray(sim::Machine& m) { StartRegistered(m, kTray); }

// A companion program whose path is `length` characters long, named by the
// Run value with or without its terminator.
std::u16string RunProgram(std::size_t length) { return u"C:\\" + std::u16string(length - 15, u'r') + u"\\cortray.exe"; }
Setup RunValueOf(std::size_t length, bool terminated) {
  return [=](sim::Machine& m) {
    const std::u16string path = RunProgram(length);
    m.AddFile(path, {1});
    std::vector<std::uint8_t> bytes = sim::StringBytes(path);
    if (!terminated) bytes.resize(bytes.size() - 2);
    m.SetValue(win::HKEY_LOCAL_MACHINE, kRunKey, kRunValue, win::REG_SZ, bytes);
  };
}

// The installer two folders deep, so that the companion's path one folder up
// is `length` characters long.
const std::string kLongTray = "C:\\" + std::string(244, 'a') + "\\cortray.exe";
Setup TrayPathOf(std::size_t length) {
  return [length](sim::Machine& m) {
    const std::u16string parent = u"C:\\" + std::u16string(length - 15, u'a');
    m.AddDirectory(parent + u"\\S");
    for (const char16_t* f : {u"vexmon64.dll", u"vexdrv64.dll", u"vexui64.dll", u"vexhelp.chm"})
      m.AddFile(parent + u"\\S\\" + f, m.FindFile(kSetupDir + f)->data);
    m.modulePath = parent + u"\\S\\x.exe";
    m.AddFile(parent + u"\\cortray.exe", m.FindFile(kTray)->data);
  };
}

// An install refused before it changed anything: it closed no help window
// and asked nothing of the spooler.
void Untouched(sim::Machine& m) {
  EXPECT_EQ(Counts(m, {"FindWindowW", "OpenSCManagerW", "EnumPrintersW"}), (std::vector<int>{0, 0, 0}));
}
Setup ProtectedPrint(const char16_t* key, const char16_t* value, win::DWORD on) {
  return [=](sim::Machine& m) { m.SetDword(win::HKEY_LOCAL_MACHINE, key, value, on); };
}
constexpr char16_t kWppPolicy[] = u"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
const std::u16string kWppRefused =
    u"Error(24): Windows protected print mode is on: it loads no port monitor or printer driver but Windows' own - "
    u"(Access is denied.)";
// Someone besides the administrators may change the file or folder.
Setup ChangeableBy(std::u16string path, std::u16string account, bool owns = false,
                   win::DWORD rights = sim::ModifyRights) {
  return [=](sim::Machine& m) {
    sim::FileNode* node = m.FindFile(path);
    ASSERT_NE(node, nullptr) << sim::Utf8(path);
    if (owns) node->owner = account;
    else node->writers.push_back({account, rights});
  };
}
Setup Declared(std::u16string folder, Setup more) {
  return [=](sim::Machine& m) {
    m.SetValue(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Policies\\Brennock\\Corvane", u"TrustedPackageFolders",
               win::REG_MULTI_SZ, sim::MultiStringBytes({u"D:\\Other", folder}));
    more(m);
  };
}
std::u16string Untrusted(const std::u16string& path) {
  return u"Error(25): '" + path + u"' can be changed by others than the administrators: nothing is installed from it - "
         u"(Access is denied.)";
}

// The record of other makers' printers parked on "file:": name, then port.
void LeaveParked(sim::Machine& m, const Texts& texts) {
  std::vector<std::uint8_t> bytes;
  for (const auto& text : texts) {
    const auto one = sim::StringBytes(text);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  m.SetValue(win::HKEY_LOCAL_MACHINE, ProductMachineKey, ParkedPrintersValue, win::REG_BINARY, bytes);
}

// "check" reports these findings, in this order (an empty list: healthy).
std::function<void(sim::Machine&)> Reports(std::vector<std::string> findings) {
  return [findings](sim::Machine& m) {
    EXPECT_EQ(read_only::FindingNames(m.standardOutput), findings.empty() ? std::vector<std::string>{"Healthy"} : findings)
        << m.standardOutput;
  };
}
// The product installed, then `damage` done to it.
Setup Installed(Setup damage) {
  return [damage](sim::Machine& m) { Install(m), damage(m); };
}

const Texts kInstallStart = {u"Corvane 2620", u"#Check Spooler", u"PrinterDriverDirectory:" + kDriverDir, u"##0010"};
const Texts kUninstallStart = {u"Corvane 2620", u"#Check Spooler", u"PrinterDriverDirectory:" + kDriverDir,
                               u"#UnInstall"};

const Row kRows[] = {
    // ---- Command words: any letter case but "def.set" ----------------------
    {"in", nullptr, u"in", 1, kInstallStart, ""},
    {"InStAlL", nullptr, u"InStAlL", 1, kInstallStart, ""},
    {"serverinstall", nullptr, u"ServerInstall", 1, kInstallStart, ""},
    {"IN_NOTRAY", nullptr, u"IN_NOTRAY", 1, kInstallStart, summary::kMonitor + summary::kDriver + summary::kCorvane},
    {"un", nullptr, u"un", 2, kUninstallStart, ""},
    {"UnInstall", nullptr, u"UnInstall", 2, kUninstallStart, ""},
    {"def.SET", nullptr, u"def.SET", 6, {}, "", NothingDone},
    {"bogus", nullptr, u"bogus", 6, {}, "", NothingDone},
    {"installx", nullptr, u"installx", 6, {}, "", NothingDone},
    {"a quoted word", nullptr, u"\"in stall\"", 6, {}, "", NothingDone},
    {"-install", nullptr, u"-install", 6, {}, "", NothingDone},
    {"no word", nullptr, u"", 6, {}, "", NothingDone},
    {"a command line that cannot be split", Fails("CommandLineToArgvW", win::ERROR_NOT_ENOUGH_MEMORY), u"install", 6,
     {}, "", NothingDone},
    // ---- "removetray": ends the companion, deletes its program --------------
    {"removetray without a companion only pauses", nullptr, u"removetray", 6, {}, "",
     [](sim::Machine& m) {
       TrayRemoved(1000, 1000, {0, 0, 0}, 0, 0, true)(m);
       EXPECT_EQ(Counts(m, {"Sleep", "FindWindowW"}), (std::vector<int>{1, 0}));
     }},
    // The image stays mapped a moment after the end: the first deletions are refused.
    {"removetray ends an answering companion", StartTray, u"removetray", 6, {}, kNoTray,
     [](sim::Machine& m) {
       TrayRemoved(1, 999, {0, 1, 1}, 1, -1, false)(m);
       EXPECT_GE(CallsOn(m, "DeleteFileW", kTray), 2);
       EXPECT_EVERY_CALL(m, "FindWindowW",
                         (sim::CallArguments{{"lpClassName", sim::CompanionWindowClass}, {"lpWindowName", std::nullopt}}));
       EXPECT_EVERY_CALL(m, "RegOpenKeyExW", (sim::CallArguments{{"samDesired", sim::Number(win::KEY_ALL_ACCESS)}}));
     }},
    // The abandoned wait goes on; with the window gone, one more wait takes the free mutex.
    {"a companion ending without releasing its mutex has ended",
     [](sim::Machine& m) { m.companionBehaviour.abandonsMutex = true, StartTray(m); }, u"removetray", 6, {}, kNoTray,
     TrayRemoved(1, 4999, {0, 1, 1}, 2, -1, false)},
    // 20 polls of 250 ms, then ten refused deletions of the running program, 100 ms apart.
    {"a companion whose window never shows is left running",
     [](sim::Machine& m) { m.companionBehaviour.windowDelayMs = 3600 * 1000, StartTray(m); }, u"removetray", 6, {},
     "", [](sim::Machine& m) {
       TrayRemoved(6000, 6000, {1, 1, 0}, 0, 10, true)(m);
       EXPECT_EQ(m.Count("FindWindowW"), 20);
     }},
    // One wait after each of 20 requests, one more at the end.
    {"a companion that never ends is given up on",
     [](sim::Machine& m) { m.companionBehaviour.ignoresExitRequest = true, StartTray(m); }, u"removetray", 6, {}, "",
     TrayRemoved(100000, 107000, {1, 1, 20}, 21, -1, true)},
    {"a Run value of 263 characters names the program it deletes", RunValueOf(263, true), u"removetray", 6, {}, "",
     [](sim::Machine& m) { EXPECT_EQ(m.FindFile(RunProgram(263)), nullptr); }},
    {"one of 264 without its terminator names no whole path", RunValueOf(264, false), u"removetray", 6, {}, "",
     [](sim::Machine& m) { EXPECT_NE(m.FindFile(RunProgram(264)), nullptr); }},
    // ---- Sessions: the companion starts only for the user in session 1; from
    // session 0 neither its window nor its mutex is met ---------------------
    {"user in session 1", InSession(1, false, false), u"install", 1, {}, summary::kInstalled, UsersCompanion},
    {"user in session 0", InSession(0, false, false), u"install", 1, {}, kProduct + summary::kCorvane + summary::kRun},
    {"SYSTEM in session 1", InSession(1, true, false), u"install", 1, {}, kProduct + summary::kCorvane + summary::kRun},
    {"SYSTEM in session 0, companion running", InSession(0, true, true), u"install", 1, {},
     kProduct + summary::kCorvane + summary::kTray, UsersCompanion},
    {"as SYSTEM no default is read, journalled or set",
     [](sim::Machine& m) {
       InSession(0, true, false)(m);
       InstallBare(m), Printers(m, {u"Lab"}), sim::SetDefaultPrinter(m, u"Lab");
     },
     u"install", 1, {}, "", [](sim::Machine& m) {
       EXPECT_EQ(Counts(m, {"GetDefaultPrinterW", "SetDefaultPrinterW"}), (std::vector<int>{0, 0}));
       EXPECT_EQ(PrinterNamed(m, u"Lab").location, u"Floor 1");
     }},
    {"an account that cannot be told waits for the log-on", Fails("OpenProcessToken", win::ERROR_ACCESS_DENIED, -1),
     u"install", 1, {}, kProduct + summary::kCorvane + summary::kRun},
    // ---- Unattended: "/quiet" hides the dialog, "/log=" fills a file ------
    {"/quiet hides an error log", NoManager, u"install /quiet", 100, {}, "", NoDialog},
    {"/QUIET hides uninstall's log", nullptr, u"un /QUIET", 2, {}, "", NoDialog},
    {"a switch is no command word", Deploy(), u"/quiet install /log=C:\\Deploy\\corvane.log", 6, {}, "",
     LogFileHolds("<no file>")},
    {"an error log in a file", Deploy(NoManager), u"install /log=C:\\Deploy\\corvane.log", 100, {}, "",
     LogFileShows("Corvane build 2620- Install error log!")},
    {"uninstall's log in a file", Deploy(), u"uninstall /LOG=C:\\Deploy\\corvane.log", 2, {}, "",
     LogFileShows("Corvane build 2620- Install log.")},
    {"the file has every character of the log and only CR LF line ends",
     Deploy([](sim::Machine& m) { AddProductPrinter(m, u"B\u00FCro \u2603 \U0001D11E"); }),
     u"uninstall /quiet /log=C:\\Deploy\\corvane.log", 2, {}, "",
     [](sim::Machine& m) {
       const std::string bytes = LogBytes(m);
       EXPECT_HAS(bytes, "\r\n    #DeletePrinter(B\xC3\xBCro \xE2\x98\x83 \xF0\x9D\x84\x9E)\r\n");
       EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF" "Corvane build 2620- Install log.\r\nCorvane 2620\r\n#Check Spooler\r\n", 0), 0u);
       EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
       for (std::size_t i = 1; i < bytes.size(); ++i) EXPECT_FALSE(bytes[i] == '\n' && bytes[i - 1] != '\r') << i;
       NoDialog(m);
     }},
    {"the file is emptied and made before anything changes",
     Deploy([](sim::Machine& m) { m.AddHelpWindow(0); }, true), u"install /log=C:\\Deploy\\corvane.log", 1, {},
     summary::kInstalled,
     [](sim::Machine& m) {
       const int log = FirstCall(m, "CreateFileW");
       ASSERT_NE(log, -1);
       EXPECT_EQ(m.journal[log].detail, kLogFile);
       for (const char* call : {"FindWindowW", "PostMessageW", "OpenSCManagerW", "AddMonitorW"})
         EXPECT_LT(log, FirstCall(m, call)) << call;
       EXPECT_EQ(LogBytes(m).rfind("\xEF\xBB\xBF" "Corvane build 2620- Install log.\r\n", 0), 0u);
       EXPECT_EQ(LogBytes(m).find("xxx"), std::string::npos);
       EXPECT_TRUE(m.handles.empty()) << "the log file was left open";
     }},
    {"a log that cannot be written changes nothing else",
     Deploy(Fails("WriteFile", win::ERROR_DISK_FULL, 1, 0, u"C:\\DEPLOY\\CORVANE.LOG")),
     u"install /quiet /log=C:\\Deploy\\corvane.log", 1, {}, summary::kInstalled, LogFileHolds("")},
    {"a log that cannot be closed is still whole",
     Deploy(Fails("CloseHandle", win::ERROR_INVALID_HANDLE, 1, 0, u"C:\\DEPLOY\\CORVANE.LOG")),
     u"install /quiet /log=C:\\Deploy\\corvane.log", 1, {}, summary::kInstalled,
     [](sim::Machine& m) { EXPECT_HAS(LogBytes(m), "AddMonitor - OK :)"); }},
    {"onChkDrv leaves an empty file", Deploy(nullptr, true), u"onChkDrv /log=C:\\Deploy\\corvane.log /quiet", 3,
     {}, "", LogFileHolds("")},
    // ---- The log dialog: every way of closing it ends the run --------------
    {"its close button", ClosedBy(sim::DialogClose::CloseButton), u"install", 1, {}, "", Gave(1)},
    {"the Enter key", ClosedBy(sim::DialogClose::EnterKey), u"install", 1, {}, "", Gave(1)},
    {"the Escape key", ClosedBy(sim::DialogClose::EscapeKey), u"install", 1, {}, "", Gave(0)},
    {"its close box", ClosedBy(sim::DialogClose::CloseBox), u"install", 1, {}, "", Gave(0)},
    {"a dialog that fails to show does not change the outcome",
     Fails("DialogBoxParamW", win::ERROR_RESOURCE_NAME_NOT_FOUND), u"install", 1, {}, ""},
    // ---- Install and uninstall --------------------------------------------
    {"clean install", nullptr, u"install", 1,
     {u"Corvane 2620", u"#Check Spooler", u"PrinterDriverDirectory:" + kDriverDir, u"##0010", u"#ReInstall",
      u"#UnInstall", u"EnumMonitors", u"1 Monitors found.", u"0 drivers found", u"#DeleteAllPrinters",
      u"#DeletePrinterDriver for Windows x64", u"BTW, there is no printer drivers on this system.",
      u"No Corvane driver (Windows x64)was found", u"#DeleteMonitor", u"No Corvane port monitor was found.",
      u"Computing monitor filename", u"Version is unknown, proceed with reinstall",
      u"Can't delete monitor and monitor was not found. So everything should be ok", u"#AddMonitor",
      u"Copy monitor file", u"CopyFile vexmon64.dll to C:\\Windows\\system32\\)- OK", u"AddMonitor - OK :)",
      u"#Add Printer Driver x64", u"CopyFile vexdrv64.dll to " + kDriverDir + u")- OK",
      u"CopyFile vexui64.dll to " + kDriverDir + u")- OK", u"CopyFile vexhelp.chm to " + kDriverDir + u")- OK",
      u"Printer Driver x64 was added successfully", u"#AddPrinter(Corvane)", u"Let's check our port monitors",
      u"Port monitor (Windows x64) is found", u"OK :)", u"!#Restart Spooler", u"!DeleteFile-try"},
     summary::kInstalled,
     [](sim::Machine& m) {
       EXPECT_EQ(m.processesStarted, Texts{u"\"" + kTray + u"\""});
       EXPECT_EQ(m.dialogs[0].title, u"Corvane build 2620- Install log.");
       EXPECT_EQ(m.Count("ControlService"), 0);
     }},
    {"reinstall over a compatible monitor keeps it", Install, u"install", 1,
     {u"#DeletePrinter(Corvane)", u"Driver is found. Index=1", u"Port monitor is found. Index=1",
      u"Trying to get monitor filename from MONITOR_INFO_2",
      u"Auto calculated monitor file name: C:\\Windows\\system32\\vexmon64.dll",
      u"Version (2620) is compatible, proceed without uninstall", u"InstallMonitor == 0, CopyMonitor == 1",
      u"!#AddMonitor", u"!#Restart Spooler", u"!DeleteFile-try"},
     kReinstalled,
     [](sim::Machine& m) { EXPECT_EQ(m.Count("DeleteMonitorW") + m.Count("AddMonitorW"), 0); }},
    {"the oldest compatible build is kept", [](sim::Machine& m) { Install(m), MonitorBuild(m, 2605); }, u"install", 1,
     {u"Version (2605) is compatible, proceed without uninstall"},
     "monitor vexmon64.dll 2605\n" + summary::kDriver + summary::kCorvane + kAgain},
    {"an older monitor is replaced", [](sim::Machine& m) { Install(m), MonitorBuild(m, 2604); }, u"install", 1,
     {u"Version (2604) is not supported, proceed with reinstall", u"Monitor was removed :)", u"#AddMonitor"}, kReinstalled},
    {"a newer monitor is replaced", [](sim::Machine& m) { Install(m), MonitorBuild(m, 2621); }, u"install", 1,
     {u"Version (2621) is not supported, proceed with reinstall", u"Monitor was removed :)"}, kReinstalled},
    {"an unversioned monitor is replaced",
     [](sim::Machine& m) { Install(m), m.AddFile(kSystemMonitor, std::vector<std::uint8_t>(2048, 0x90)); }, u"install",
     1, {u"Version is unknown, proceed with reinstall", u"Monitor was removed :)", u"#AddMonitor"}, kReinstalled},
    // Printers a cut-off reinstall left to come back or to move back go with the product.
    {"uninstall",
     [](sim::Machine& m) {
       Install(m);
       LeaveJournal(m, {{u"Front desk", u"keyFront", u"Reception", u"Hall", u""}});
       LeaveParked(m, {u"Plotter", u"Corvane:"});
     },
     u"uninstall", 2,
     {u"#UnInstall", u"#DeletePrinter(Corvane)", u"Driver is found. Index=1", u"OK :)",
      u"There is no check for monitor version", u"Monitor was removed :)"},
     kNoTray,
     [](sim::Machine& m) {
       EXPECT_EQ(m.Count("GetFileVersionInfoSizeW"), 0);
       EXPECT_EQ(m.FindFile(kSystemMonitor), nullptr);
       for (const char16_t* file : {u"vexdrv64.dll", u"vexui64.dll", u"vexhelp.chm"})
         EXPECT_EQ(m.FindFile(kDriverDir + u"3\\" + file), nullptr) << "all files go with the driver";
     }},
    // The package's removal, which a rollback may undo: what it deletes waits
    // in the journal, and the next install brings it back whole.
    {"an undoable uninstall keeps its printers in the journal",
     [](sim::Machine& m) { Install(m), Printers(m, {u"Lab"}), sim::SetDefaultPrinter(m, u"Lab"); }, u"uninstall /undoable",
     2, {u"#DeletePrinter(Lab)"}, kNoTray + "journal\n", [](sim::Machine& m) {
       EXPECT_EQ(RunWords(m, u"install"), 1);
       EXPECT_EQ(PrinterNamed(m, u"Lab").location, u"Floor 1");
       EXPECT_EQ(sim::DefaultPrinter(m), u"Lab");
       EXPECT_EQ(JournalValue(m), nullptr);
     }},
    {"the default Corvane stays the default", [](sim::Machine& m) { Install(m), sim::SetDefaultPrinter(m, u"Corvane"); },
     u"install", 1, {}, kProduct + "*" + summary::kCorvane + kAgain},
    // A connection to another computer's printer with the product's driver is not this machine's printer.
    {"a connection is left alone by an install", Connected, u"install", 1, {kConnectionKeepsDriver}, "", ConnectionStays},
    {"a connection is left alone by an uninstall", Connected, u"uninstall", 2, {kConnectionKeepsDriver}, "",
     ConnectionStays},
    // ---- Files that cannot be deleted -------------------------------------
    {"a locked old monitor is dropped after the retry with the spooler stopped",
     [](sim::Machine& m) {
       Install(m);
       m.AddFile(kSystemMonitor, sim::VersionedFileImage(2500, 24 * 1024));
       m.HoldFile(kSystemMonitor, UINT64_MAX, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE);
     },
     u"install", 1,
     {u"Monitor was removed :)", u"DeleteFile-try", u"#Restart Spooler", u"DeleteFile-try", u"#AddMonitor",
      u"Copy monitor file"},
     kReinstalled,
     [](sim::Machine& m) { EXPECT_EQ(m.Count("ControlService") + m.Count("MoveFileExW"), 1); }},
    {"a staged help file that stays is scheduled",
     [](sim::Machine& m) { m.HoldFile(kDriverDir + u"vexhelp.chm", UINT64_MAX, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE); },
     u"install", 101, {u"DeleteFile-try", u"#Restart Spooler", u"DeleteFile-try"}, summary::kInstalled + kPendingHelp},
    {"and scheduled when errors were counted too",
     [](sim::Machine& m) {
       m.HoldFile(kDriverDir + u"vexhelp.chm", UINT64_MAX, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE);
       m.Fail("AddPrinterW", win::ERROR_ACCESS_DENIED, -1);
     },
     u"install", 100, {u"Error(15): Can`t add printer 'Corvane' - (Access is denied.)"},
     summary::kMonitor + summary::kDriver + summary::kTray + kPendingHelp},
    {"a staged file the spooler frees when it stops is deleted at the end",
     [](sim::Machine& m) {
       m.HoldFile(kDriverDir + u"vexui64.dll", UINT64_MAX, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, "the spooler");
       m.holds.back().image = m.holds.back().bySpooler = true;
     },
     u"install", 1, {u"#AddPrinter(Corvane)", u"DeleteFile-try", u"#Restart Spooler", u"DeleteFile-try"},
     summary::kInstalled,
     [](sim::Machine& m) {
       EXPECT_EQ(CallsOn(m, "DeleteFileW", kDriverDir + u"vexui64.dll"), 3);
       EXPECT_EQ(m.Count("ControlService"), 1);
     }},
    // ---- Printers of the product: what comes back -----------------------
    {"every printer with a key name comes back with its settings",
     [](sim::Machine& m) {
       InstallBare(m);
       AddProductPrinter(m, u"A", u"Front desk", u"Hall");
       AddProductPrinter(m, u"B", u"Back office", u"Floor 2");
       AddProductPrinter(m, u"C");
       SetSettingsKey(m, u"A", u"", "keyA");
       SetSettingsKey(m, u"A", u"DsUser", "keyA");
       SetSettingsKey(m, u"B", u"DsUser", "keyB");
       SetSettingsKey(m, u"C", u"", "", win::REG_DWORD);
       SetSettingsKey(m, u"C", u"DsUser", std::string(63, 'c'));
       sim::AddJob(m, u"B");
       sim::SetDefaultPrinter(m, u"B");
       for (const char16_t* key : {u"keyA", u"keyB"}) {
         m.SetDword(win::HKEY_CURRENT_USER, u"Software\\Brennock\\Corvane\\Corvanes\\" + std::u16string(key), u"deleted", 1);
         m.SetDword(win::HKEY_CURRENT_USER, u"Software\\Brennock\\Corvane\\Corvanes\\" + std::u16string(key), u"Paper", 9);
       }
     },
     u"install", 1, {u"#DeletePrinter(A)", u"#DeletePrinter(B)", u"#AddPrinter(C)", u"#AddPrinter(B)", u"#AddPrinter(A)"},
     kProduct + "printer A Corvane: keyA/keyA \"Front desk\" \"Hall\"\n*printer B Corvane: keyB/keyB \"Back office\" \"Floor 2\"\n" +
         "printer C Corvane: " + std::string(63, 'c') + "/" + std::string(63, 'c') + " \"\" \"\"\n" + kAgain,
     [](sim::Machine& m) {
       EXPECT_EQ(sim::JobCount(m, u"B"), 0) << "queued jobs are purged before the deletion";
       for (const char16_t* key : {u"keyA", u"keyB"}) {
         const std::u16string path = u"Software\\Brennock\\Corvane\\Corvanes\\" + std::u16string(key);
         EXPECT_EQ(m.FindValue(win::HKEY_CURRENT_USER, path, u"deleted"), nullptr);
         EXPECT_NE(m.FindValue(win::HKEY_CURRENT_USER, path, u"Paper"), nullptr);
       }
       EXPECT_EQ(m.FindValue(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(u"A", u""), u"SubKey")->data,
                 sim::StoredFromAnsi({'k', 'e', 'y', 'A', 0}));
     }},
    // The product's own first printer among them, which the user may have
    // given a comment, a location, the default mark and jobs.
    {"printers without a usable key name come back without one",
     [](sim::Machine& m) {
       InstallBare(m);
       Printers(m, {u"A"});
       AddProductPrinter(m, u"Corvane", u"Reception", u"Hall");
       sim::AddJob(m, u"Corvane");
       sim::SetDefaultPrinter(m, u"Corvane");
       AddProductPrinter(m, u"Long");
       SetSettingsKey(m, u"Long", u"", std::string(64, 'x'));
       SetSettingsKey(m, u"Long", u"DsUser", std::string(64, 'x'));
       AddProductPrinter(m, u"Dword");
       SetSettingsKey(m, u"Dword", u"", "", win::REG_DWORD);
     },
     u"install", 1, {u"#AddPrinter(Dword)", u"#AddPrinter(Corvane)", u"#AddPrinter(A)"},
     kProduct + "printer A Corvane: keyA/keyA \"Room 2\" \"Floor 1\"\n*printer Corvane Corvane: <none>/<none> \"Reception\" \"Hall\"\n" +
         "printer Dword Corvane: <none>/<none> \"\" \"\"\nprinter Long Corvane: <none>/<none> \"\" \"\"\n" + kAgain},
    {"a remembered Corvane that cannot be re-created is tried once",
     [](sim::Machine& m) { InstallBare(m), AddProductPrinter(m, u"Corvane"), m.Fail("AddPrinterW", win::ERROR_ACCESS_DENIED, -1); },
     u"install", 100, {u"Error(15): Can`t add printer 'Corvane' - (Access is denied.)"}, "",
     [](sim::Machine& m) { EXPECT_EQ(m.Count("AddPrinterW"), 1); }},
    {"a failed re-creation loses only that printer",
     [](sim::Machine& m) {
       InstallBare(m);
       Printers(m, {u"A", u"B", u"C"});
       m.Fail("AddPrinterW", win::ERROR_ACCESS_DENIED, 1, 0, u"B");
     },
     u"install", 100, {u"Error(15): Can`t add printer 'B' - (Access is denied.)", u"!Error(20"},
     kProduct + "printer A Corvane: keyA/keyA \"Room 2\" \"Floor 1\"\nprinter C Corvane: keyC/keyC \"Room 2\" \"Floor 1\"\n" + kAgain +
         "journal\n"},
    {"a printer that could not be deleted is still re-created",
     [](sim::Machine& m) {
       InstallBare(m);
       Printers(m, {u"Stuck"});
       m.Fail("DeletePrinter", win::ERROR_ACCESS_DENIED, 1);
     },
     u"install", 100,
     {u"Error(17): Can`t delete printer 'Stuck' - (Access is denied.)", u"#AddPrinter(Stuck)",
      u"Error(15): Can`t add printer 'Stuck' - (The printer already exists.)"},
     kProduct + summary::kCorvane + "printer Stuck Corvane: keyStuck/<none> \"Room 2\" \"Floor 1\"\n" + kAgain + "journal\n"},
    {"another maker's printer and default stay as they were",
     [](sim::Machine& m) {
       sim::WritePrinter(m, {u"Office Laser", u"Other driver", u"LPT1:", u"Theirs", u"", 0});
       sim::SetDefaultPrinter(m, u"Office Laser");
       Printers(m, {u"A"});
     },
     u"install", 1, {u"#DeletePrinter(A)", u"!#DeletePrinter(Office Laser)"},
     kProduct + "printer A Corvane: keyA/keyA \"Room 2\" \"Floor 1\"\n*printer Office Laser LPT1: by Other driver\n" +
         summary::kTray,
     [](sim::Machine& m) { EXPECT_EQ(PrinterNamed(m, u"Office Laser").comment, u"Theirs"); }},
    {"the default comes back for its exact name", DeviceIs(u"Front desk,winspool,Ne00:"), u"install", 1, {},
     kProduct + "*" + kFrontDesk + summary::kTray},
    {"and for no other spelling", DeviceIs(u"FRONT DESK,winspool,Ne00:"), u"install", 1, {},
     kProduct + kFrontDesk + summary::kTray,
     [](sim::Machine& m) { EXPECT_EQ(m.Count("SetDefaultPrinterW"), 0); }},
    // A reinstall keeps in place what it cannot save; an uninstall deletes it.
    {"printer not opened", LabRefused({u"Lab"}, "OpenPrinterW"), u"install", 100, {u"#DeleteAllPrinters", kSettingsUnread, u"!#DeletePrinter(Lab)", u"!#AddPrinter(Lab)", u"!#AddPrinter(Corvane)"},
     kProduct + "*printer Lab Corvane: keyLab/<none> \"Room 2\" \"Floor 1\"\n" + kAgain},
    {"an uninstall deletes a printer whose settings it cannot read", [](sim::Machine& m) {
       Install(m), Printers(m, {u"Lab"});
       m.Fail("OpenPrinterW", win::RPC_S_SERVER_UNAVAILABLE, 1, 0, u"Lab");
     },
     u"uninstall", 2, {u"#DeletePrinter(Lab)"}, kNoTray},
    {"an unknown default keeps every product printer in place", LabRefused({u"Lab", u"Office"}, "GetDefaultPrinterW"),
     u"install", 100, {kSettingsUnread, u"Error(18): Can`t read the settings of printer 'Office' - (The RPC server is unavailable.)"},
     kProduct + "*printer Lab Corvane: keyLab/<none> \"Room 2\" \"Floor 1\"\n"
                "printer Office Corvane: keyOffice/<none> \"Room 2\" \"Floor 1\"\n" + kAgain},
    {"no default at all is no error", [](sim::Machine& m) { InstallBare(m), Printers(m, {u"Lab"}); }, u"install", 1,
     {u"#AddPrinter(Lab)"}, kProduct + "printer Lab Corvane: keyLab/keyLab \"Room 2\" \"Floor 1\"\n" + kAgain},
    // Settings that do not come back are counted by name.
    {"record not read", LabRefused({u"Lab", u"Office"}, "GetPrinterW", 2), u"install", 100,
     {kNotRestored, u"!Error(20): Can`t restore the comment, location or default of printer 'Office' - (The RPC server is unavailable.)"},
     kProduct + "printer Lab Corvane: keyLab/keyLab \"\" \"\"\n" + kOffice + kAgain + "journal\n"},
    {"default not set", LabRefused({u"Lab", u"Office"}, "SetDefaultPrinterW"), u"install", 100, {kNotRestored},
     kProduct + "printer Lab Corvane: keyLab/keyLab \"Room 2\" \"Floor 1\"\n"
                "printer Office Corvane: keyOffice/keyOffice \"Room 2\" \"Floor 1\"\n" + kAgain + "journal\n"},
    {"printers of any driver on the port are parked on file: and moved back",
     [](sim::Machine& m) {
       Install(m), MonitorBuild(m, 2604), sim::RemovePrinter(m, u"Corvane");
       sim::WritePrinter(m, {u"One", u"Other", u"Corvane:", u"", u"", 0});
       sim::WritePrinter(m, {u"Parallel", u"Other", u"LPT1:", u"", u"", 0});
       sim::WritePrinter(m, {u"Two", u"Other", u"Corvane:", u"", u"", 0});
     },
     u"install", 1,
     {u"Can't delete monitor from the first try", u"SetPrinter(One) - ok", u"SetPrinter(Two) - ok",
      u"Monitor was removed :)", u"AddMonitor - OK :)", u"SetPrinter(One) - ok", u"SetPrinter(Two) - ok"},
     kProduct + summary::kCorvane + "printer One Corvane: by Other\nprinter Parallel LPT1: by Other\n" +
         "printer Two Corvane: by Other\n" + kAgain,
     [](sim::Machine& m) {
       EXPECT_EVERY_CALL(m, "OpenPrinterW",
                         (sim::CallArguments{{"pDatatype", std::nullopt}, {"pDevMode", u"0"}}));
       // Moved back by the monitor's install itself, inside its step.
       EXPECT_HAS(m.dialogs.back().text,
                  u"      AddMonitor - OK :)\r\n      SetPrinter(One) - ok\r\n      SetPrinter(Two) - ok\r\n");
     }},
    // Parked records whose printer went elsewhere meanwhile, or went: the first
    // stays where the user put it, the second waits in the record.
    {"a parked printer moved elsewhere stays, a gone one waits",
     [](sim::Machine& m) {
       Install(m), LeaveParked(m, {u"Plotter", u"Corvane:", u"Gone", u"Corvane:"});
       sim::WritePrinter(m, {u"Plotter", u"Other", u"LPT1:", u"", u"", 0});
     },
     u"install", 1, {}, kProduct + summary::kCorvane + "printer Plotter LPT1: by Other\n" + kAgain + "parked\n"},
    // ---- Steps that fail or meet the unexpected ---------------------------
    {"a monitor file an older monitor keeps loaded is copied with the spooler stopped",
     [](sim::Machine& m) {
       MonitorBuild(m, 2500);
       sim::RegisterMonitor(m, u"Corvane Old", u"vexmon64.dll", {});
     },
     u"install", 1, {u"#AddMonitor", u"Copy monitor file", u"#Restart Spooler",
                     u"CopyFile vexmon64.dll to C:\\Windows\\system32\\)- OK", u"AddMonitor - OK :)"}, ""},
    {"a monitor file locked for good is error 9, and registration still tried",
     [](sim::Machine& m) { MonitorBuild(m, 2500), m.HoldFile(kSystemMonitor, UINT64_MAX, win::FILE_SHARE_READ); }, u"install", 100,
     {u"Error(9): CopyFile vexmon64.dll to C:\\Windows\\system32\\) Cant't open destination file- FAILED! - (The "
      u"process cannot access the file because it is being used by another process.)",
      u"Can't copy monitor file", u"AddMonitor - OK :)"},
     "monitor vexmon64.dll 2500\n" + summary::kDriver + summary::kCorvane + summary::kTray},
    {"a monitor refused five times is error 11", Fails("AddMonitorW", win::ERROR_ACCESS_DENIED, -1), u"install", 100,
     {u"AddMonitor - failed. Trying to wait and install again",
      u"Error(11): Can`t install a local port monitor'Corvane:' - (Access is denied.)", u"#AddPrinter(Corvane)",
      u"No Corvane port monitor (Windows x64) was found.", u"------- 1 existing monitors ----------",
      u"1. Local Port", u"Error(15): Can`t add printer 'Corvane' - (The specified port is unknown.)"},
     summary::kDriver + summary::kTray,
     [](sim::Machine& m) { EXPECT_EQ(m.Count("AddMonitorW"), 5); }},
    {"a monitor refused three times is error 12 and keeps its file",
     [](sim::Machine& m) { Install(m), m.Fail("DeleteMonitorW", win::ERROR_ACCESS_DENIED, 3); }, u"uninstall", 100,
     {u"Error(12): Can`t remove the port monitor 'Corvane:' - (Access is denied.)"}, summary::kMonitor + kNoTray},
    {"a missing help file is error 10 and the driver goes without it",
     [](sim::Machine& m) { m.files.erase(sim::Machine::Key(kSetupDir + u"vexhelp.chm")); }, u"install", 100,
     {u"Error(10): CopyFile vexhelp.chm to " + kDriverDir + u") Cant't open source file- FAILED! - (The system cannot "
      u"find the file specified.)", u"Printer Driver x64 was added successfully"},
     summary::kMonitor + "driver 3 vexdrv64.dll:2620 vexdrv64.dll:2620 vexui64.dll:2620 :missing\n" + summary::kCorvane + summary::kTray,
     [](sim::Machine& m) { EXPECT_EQ(m.Count("DeleteFileW"), 2); }},
    {"a missing UI file installs no driver and leaves the staged driver file",
     [](sim::Machine& m) { m.files.erase(sim::Machine::Key(kSetupDir + u"vexui64.dll")); }, u"install", 100,
     {u"Error(10): CopyFile vexui64.dll to " + kDriverDir + u") Cant't open source file- FAILED! - (The system cannot "
      u"find the file specified.)", u"!Printer Driver x64 was added successfully"},
     "", [](sim::Machine& m) {
       EXPECT_EQ(m.Count("AddPrinterDriverExW"), 0);
       EXPECT_NE(m.FindFile(kDriverDir + u"vexdrv64.dll"), nullptr);
     }},
    {"a refused driver is error 13 and its staged files still go",
     [](sim::Machine& m) {
       m.Fail("AddPrinterDriverExW", win::ERROR_INVALID_FUNCTION);
       m.Fail("DeleteFileW", win::ERROR_SHARING_VIOLATION, 1, 0, u"vexui64");
     },
     u"install", 100,
     {u"Error(13): Can`t install a x64 printer driver 'Corvane printer' - (Incorrect function.)", u"DeleteFile-try"},
     summary::kMonitor + summary::kTray, [](sim::Machine& m) { EXPECT_EQ(m.FindFile(kDriverDir + u"vexui64.dll"), nullptr); }},
    {"a driver still in use is error 14",
     [](sim::Machine& m) { Install(m), m.Fail("DeletePrinterDriverExW", win::ERROR_PRINTER_DRIVER_IN_USE, -1); },
     u"uninstall", 100,
     {u"Error(14): Can`t remove the printer-driver 'Corvane printer' - (The specified printer driver is currently in use.)"},
     ""},
    {"only printers of the exact driver name are the product's",
     [](sim::Machine& m) {
       Printers(m, {u"Mine"});
       sim::WritePrinter(m, {u"Lookalike", u"corvane printer", u"LPT1:", u"", u"", 0});
     },
     u"uninstall", 2, {u"#DeletePrinter(Mine)", u"!#DeletePrinter(Lookalike)"}, "printer Lookalike LPT1: by corvane printer\n"},
    {"a printer that cannot be opened for deletion is error 16",
     [](sim::Machine& m) { Install(m), m.Fail("OpenPrinterW", win::ERROR_INVALID_PRINTER_NAME, 1, 1, u"Corvane"); },
     u"uninstall", 100, {u"Error(16): Can`t open printer 'Corvane' - (The printer name is invalid.)"}, ""},
    // ---- The tray companion -----------------------------------------------
    {"in_notray stops and removes a running companion", Install, u"in_notray", 1, {}, kProduct + summary::kCorvane + kNoTray},
    {"in_notray on a clean machine starts nothing", nullptr, u"in_notray", 1, {}, kProduct + summary::kCorvane,
     [](sim::Machine& m) { EXPECT_EQ(m.Count("CreateProcessW"), 0); }},
    {"an old system gets no companion and loses a running one",
     [](sim::Machine& m) { StartRegistered(m, kTray), m.osMajor = 5; }, u"install", 1, {},
     kProduct + summary::kCorvane + kNoTray},
    {"a system of major version 6 runs it", [](sim::Machine& m) { m.osMajor = 6; }, u"install", 1, {}, summary::kInstalled},
    {"nor does a system of another platform", [](sim::Machine& m) { m.osPlatform = win::VER_PLATFORM_WIN32_NT - 1; },
     u"install", 1, {}, kProduct + summary::kCorvane},
    {"an installer at a drive root finds the companion beside it",
     [](sim::Machine& m) {
       for (const char16_t* f : {u"vexmon64.dll", u"vexdrv64.dll", u"vexui64.dll", u"vexhelp.chm"})
         m.AddFile(std::u16string(u"D:\\") + f, m.FindFile(kSetupDir + f)->data);
       m.modulePath = u"D:\\corvane-setup.exe";
     },
     u"install", 1, {}, kProduct + summary::kCorvane + "run \"cortray.exe\"\n",
     [](sim::Machine& m) { EXPECT_EQ(CallsOn(m, "CreateProcessW", u"\"cortray.exe\""), 1); }},
    {"a companion path of 259 characters is started", TrayPathOf(259), u"install", 1, {},
     kProduct + summary::kCorvane + "run \"" + kLongTray + "\"\ncompanion running " + kLongTray + " started 1 asked 0\n"},
    {"one of 260 is registered, not started", TrayPathOf(260), u"install", 1, {},
     kProduct + summary::kCorvane + "run \"C:\\" + std::string(245, 'a') + "\\cortray.exe\"\n",
     [](sim::Machine& m) { EXPECT_EQ(m.Count("CreateProcessW"), 0); }},
    // ---- Installs refused before anything changes -------------------------
    {"protected print mode by policy", ProtectedPrint(kWppPolicy, u"WindowsProtectedPrintGroupPolicyState", 1),
     u"install", 106, {u"Corvane 2620", kWppRefused}, "", Untouched},
    {"protected print mode by setting",
     ProtectedPrint(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\WPP", u"WindowsProtectedPrintMode", 1),
     u"in_notray", 106, {kWppRefused}, "", Untouched},
    {"protected print mode turned off", ProtectedPrint(kWppPolicy, u"WindowsProtectedPrintMode", 0), u"install", 1, {},
     summary::kInstalled},
    {"an installer's folder users may write", ChangeableBy(u"C:\\Program Files\\Corvane\\Setup", u"Users"), u"install",
     107, {Untrusted(u"C:\\Program Files\\Corvane\\Setup")}, "", Untouched},
    {"a package file anyone may write", ChangeableBy(kSetupDir + u"vexui64.dll", u"Everyone"), u"install", 107,
     {Untrusted(kSetupDir + u"vexui64.dll")}, "", Untouched},
    {"a companion the user owns", ChangeableBy(kTray, u"user", true), u"install", 107, {Untrusted(kTray)}, "", Untouched},
    {"a companion's folder the user may write", ChangeableBy(u"C:\\Program Files\\Corvane", u"user"), u"install", 107,
     {Untrusted(u"C:\\Program Files\\Corvane")}, "", Untouched},
    {"a folder an administrator declares trusted, with all it holds",
     Declared(u"C:\\Program Files\\Corvane", ChangeableBy(u"C:\\Program Files\\Corvane\\Setup", u"Users")), u"install", 1, {},
     summary::kInstalled},
    {"a declared folder whose name only begins the same",
     Declared(u"C:\\Program Files\\Corv", ChangeableBy(u"C:\\Program Files\\Corvane\\Setup", u"Users")), u"install", 107,
     {Untrusted(u"C:\\Program Files\\Corvane\\Setup")}, "", Untouched},
    {"TrustedInstaller may change them", ChangeableBy(kTray, u"TrustedInstaller", true), u"install", 1, {},
     summary::kInstalled},
    // ---- "check": findings on standard output, nothing changed --------------
    {"check on a clean machine", nullptr, u"CHECK", 104, {}, "", Reports({"NotInstalled"})},
    {"check: the monitor's file gone", Installed([](sim::Machine& m) { m.files.erase(sim::Machine::Key(kSystemMonitor)); }),
     u"check", 104, {}, "", Reports({"MonitorFileMissing"})},
    {"check: the monitor on another file",
     Installed([](sim::Machine& m) { sim::RegisterMonitor(m, u"Corvane:", u"other.dll", {u"Corvane:"}); }), u"check", 104,
     {}, "", Reports({"MonitorFileOther"})},
    {"check: a monitor a reinstall replaces", Installed([](sim::Machine& m) { MonitorBuild(m, 2604); }), u"check", 104, {},
     "", Reports({"MonitorBuildOther"})},
    {"check: a monitor a reinstall keeps", Installed([](sim::Machine& m) { MonitorBuild(m, 2605); }), u"check", 0, {}, "",
     Reports({})},
    {"check: the driver gone and the printer on another port",
     Installed([](sim::Machine& m) {
       sim::RemoveDriver(m, u"Windows x64", u"Corvane printer");
       AddProductPrinter(m, u"Corvane", u"", u"", u"LPT1:");
     }),
     u"check", 104, {}, "", Reports({"PrinterOffPort", "DriverMissing"})},
    {"check: a driver file gone",
     Installed([](sim::Machine& m) { m.files.erase(sim::Machine::Key(kDriverDir + u"3\\vexhelp.chm")); }), u"check", 104,
     {}, "", Reports({"DriverFileMissing"})},
    {"check: the driver of another build", Installed([](sim::Machine& m) { DriverBuild(m, 2604); }), u"check", 104, {},
     "", Reports({"DriverBuildOther"})},
    {"check: no product printer, no Run value, no companion",
     Installed([](sim::Machine& m) {
       sim::RemovePrinter(m, u"Corvane");
       m.hklm.Find(kRunKey)->values.clear();
       m.files.erase(sim::Machine::Key(kTray));
     }),
     u"check", 104, {}, "", Reports({"CompanionMissing", "NoProductPrinter", "RunValueMissing"})},
    {"check on a system that runs no companion misses no Run value",
     Installed([](sim::Machine& m) { m.hklm.Find(kRunKey)->values.clear(), m.osMajor = 5; }), u"check", 0, {}, "", Reports({})},
    {"check: a Run value naming no file",
     Installed([](sim::Machine& m) { m.SetString(win::HKEY_LOCAL_MACHINE, kRunKey, kRunValue, u"C:\\gone.exe"); }), u"check",
     104, {}, "", Reports({"RunValueFileMissing"})},
    {"check: a settings key named that is not there, another that is",
     Installed([](sim::Machine& m) {
       Printers(m, {u"Lab", u"Hall"});
       m.CreateKey(win::HKEY_CURRENT_USER, u"Software\\Brennock\\Corvane\\Corvanes\\keyHall");
     }),
     u"check", 104, {}, "", Reports({"SettingsKeyMissing"})},
    {"check as SYSTEM does not judge a user's settings keys",
     Installed([](sim::Machine& m) { Printers(m, {u"Lab"}), m.runsAsSystem = true; }), u"check", 0, {}, "", Reports({})},
    {"check: printers waiting to come back and to move back",
     Installed([](sim::Machine& m) {
       LeaveJournal(m, {{u"Front desk", u"keyFront", u"", u"", u""}});
       LeaveParked(m, {u"Plotter", u"Corvane:"});
     }),
     u"check", 104, {}, "", Reports({"PrinterInJournal", "PrinterParked"})},
    {"check: a pending rename of the monitor's file comes first",
     Installed([](sim::Machine& m) {
       sim::AddPendingOperation(m, u"C:\\Temp\\new.dll", kSystemMonitor, true);
       m.files.erase(sim::Machine::Key(kSetupDir + u"vexui64.dll"));
     }),
     u"check", 105, {}, "", Reports({"RestartPending", "PackageFileMissing"})},
    {"check with the spooler stopped reads no spooler object", Installed([](sim::Machine& m) { m.FindService(u"Spooler")->state = win::SERVICE_STOPPED; }),
     u"check", 104, {}, "", [](sim::Machine& m) {
       Reports({"SpoolerNotRunning"})(m);
       EXPECT_EQ(Counts(m, {"Sleep", "EnumMonitorsW", "StartServiceW"}), (std::vector<int>{0, 0, 0}));
     }},
    {"check into a log file", Deploy(Install), u"check /log=C:\\Deploy\\corvane.log", 0, {}, "",
     [](sim::Machine& m) {
       EXPECT_EQ(LogBytes(m), "\xEF\xBB\xBF" "Corvane build 2620- Check report.\r\n" + m.standardOutput);
     }},
    // ---- Maintenance words: no log, an answer by exit code ----------------
    {"onInit without a default printer", nullptr, u"onInit", 102, {}, ""},
    {"onInit with another maker's default", LaserDefault, u"onInit", 102, {}, ""},
    {"onInit with the product's default", [](sim::Machine& m) { Install(m), sim::SetDefaultPrinter(m, u"Corvane"); },
     u"onInit", 3, {}, "",
     [](sim::Machine& m) { EXPECT_EQ(m.Count("OpenSCManagerW") + m.Count("ControlService"), 0); }},
    {"onInit: a renamed x64 package file in upper case",
     PendingAtInit({u"\\??\\" + kDriverDir + u"3\\VEXUI64.DLL", u"\\??\\" + kDriverDir + u"3\\new.dll"}), u"onInit", 200, {}, "",
     Restarts(2, kDriverDir + u"3\\VEXUI64.DLL", true)},
    {"onInit: a deletion that keeps failing", PendingAtInit({u"\\??\\" + kSystemMonitor, u""}), u"onInit", 200, {},
     "", Restarts(2, kSystemMonitor, true)},
    {"onInit: a path without prefix",
     PendingAtInit({kDriverDir + u"3\\vexdrv64.dll", u"!" + kDriverDir + u"3\\vexdrv64.old"}), u"onInit", 200, {}, "",
     Restarts(2, kInstalledDriver, true)},
    {"onInit: an x64 name inside a longer name",
     NoPackageFileWaits({u"\\??\\C:\\Temp\\oldvexui64.dll", u"\\??\\C:\\Temp\\x.dll"}), u"onInit", 102, {}, "",
     Restarts(0, u"C:\\Temp\\oldvexui64.dll", true)},
    {"onInit: a deletion that succeeds at once", NoPackageFileWaits({u"\\??\\" + kDriverDir + u"3\\vexdrv64.dll", u""}),
     u"onInit", 102, {}, "", Restarts(0, kDriverDir + u"3\\vexdrv64.dll", false)},
    {"onInit: a deletion that succeeds in the second pass",
     NoPackageFileWaits({u"\\??\\C:\\Temp\\Held\\vexmon64.dll", u""}), u"onInit", 102, {}, "",
     Restarts(1, u"C:\\Temp\\Held\\vexmon64.dll", false)},
    {"onInit: a directory", NoPackageFileWaits({u"\\??\\C:\\Temp\\vexdrv64.dll", u""}), u"onInit", 102, {}, "",
     Restarts(0, u"C:\\Temp\\vexdrv64.dll", true)},
    {"onInit: a missing file", NoPackageFileWaits({u"\\??\\C:\\Temp\\vexmon64.dll", u""}), u"onInit", 102, {}, "",
     Restarts(0, u"C:\\Temp\\vexmon64.dll", false)},
    {"onChkDrv without a product printer", nullptr, u"onChkDrv", 3, {}, ""},
    {"onChkDrv with build 2605", Installed([](sim::Machine& m) { DriverBuild(m, 2605); }), u"onChkDrv", 103, {}, ""},
    {"onChkDrv with build 2604", Installed([](sim::Machine& m) { DriverBuild(m, 2604); }), u"onChkDrv", 3, {}, ""},
    {"onChkDrv with no version", [](sim::Machine& m) { Install(m), m.AddFile(kInstalledDriver, std::vector<std::uint8_t>(4096, 0x5A)); },
     u"onChkDrv", 3, {}, ""},
    {"def.set without a product printer changes nothing", LaserDefault, u"def.set", 4, {},
     "*printer Laser LPT1: by Generic\n"},
    {"def.set refused: the same answer",
     [](sim::Machine& m) {
       Install(m);
       LaserDefault(m);
       m.Fail("SetDefaultPrinterW", win::ERROR_ACCESS_DENIED);
     },
     u"def.set", 4, {}, kProduct + summary::kCorvane + "*printer Laser LPT1: by Generic\n" + summary::kTray},
    {"def.set makes the first product printer the default",
     [](sim::Machine& m) {
       Install(m);
       AddProductPrinter(m, u"Zeta");
       AddProductPrinter(m, u"Alpha");
       sim::SetDefaultPrinter(m, u"Zeta");
     },
     u"def.set", 4, {},
     kProduct + "*printer Alpha Corvane: <none>/<none> \"\" \"\"\n" + summary::kCorvane +
         "printer Zeta Corvane: <none>/<none> \"\" \"\"\n" + summary::kTray},
};

using RunsTest = SimTest;

TEST_F(RunsTest, EveryRowEndsAsItsTableSays) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    Reset();
    machine.shiftHeld = true;
    if (row.setUp) row.setUp(machine);
    machine.journal.clear();
    EXPECT_EQ(Run(row.words), row.exit);
    const Texts lines = machine.dialogs.empty() ? Texts{} : Lines(machine.dialogs.back().text);
    std::size_t at = 0;
    for (const auto& want : row.log) {
      if (want[0] == u'!') {
        EXPECT_FALSE(HasTrimmedLine(lines, want.substr(1))) << sim::Utf8(want);
        continue;
      }
      while (at < lines.size() && Trimmed(lines[at]) != want) ++at;
      EXPECT_LT(at, lines.size()) << "missing or out of order: " << sim::Utf8(want);
      if (at < lines.size()) ++at;
    }
    EXPECT_TRUE(machine.crtBlocks.empty()) << "strings left";
    EXPECT_TRUE(machine.globalBlocks.empty()) << "global blocks left";
    EXPECT_TRUE(machine.localBlocks.empty()) << "local blocks left";
    if (!row.state.empty()) {
      EXPECT_EQ(summary::Of(machine), row.state);
    }
    if (row.check) row.check(machine);
    const int checked = read_only::CheckChangesNothing(machine);
    EXPECT_TRUE(checked == 0 || checked == 104 || checked == 105) << checked;
  }
}

// Any one right that lets Users change a package file refuses the install
// (the first two are what C:\ grants them on a folder made there); reading,
// running and setting attributes do not; neither does a null access list pass.
TEST_F(RunsTest, EachRightToChangeAPackageFileRefusesTheInstall) {
  for (const win::DWORD rights : {0x2u, 0x4u, 0x40u, 0x10000u, 0x40000u, 0x80000u, 0x40000000u, 0x10000000u, 0x1201A9u}) {
    SCOPED_TRACE(rights);
    Reset();
    ChangeableBy(kSetupDir + u"vexdrv64.dll", u"Users", false, rights)(machine);
    EXPECT_EQ(Run(u"install"), rights == 0x1201A9u ? 1 : 107);
  }
  Reset();
  machine.FindFile(kSetupDir + u"vexdrv64.dll")->nullAccessList = true;
  EXPECT_EQ(Run(u"install"), 107);
}

// The records and flags the program hands the system, member by member, in
// a reinstall that replaces everything, an uninstall and a driver check.
TEST_F(RunsTest, EveryCallIsHandedTheRecordItMust) {
  Install(machine);
  MonitorBuild(machine, 2604);
  Printers(machine, {u"Lab"});
  sim::WritePrinter(machine, {u"Parked", u"Other", u"Corvane:", u"", u"", 0});
  sim::AddConnection(machine, u"office", u"Colour", u"Other");
  machine.Fail("DeletePrinterDriverExW", win::ERROR_PRINTER_DRIVER_IN_USE);
  machine.journal.clear();
  ASSERT_EQ(Run(u"install"), 1);
  ASSERT_EQ(Run(u"onChkDrv"), 103);
  const std::optional<std::u16string> none;
  auto zeros = [](sim::CallArguments args, std::initializer_list<const char*> names) {
    for (const char* name : names) args[name] = u"0";
    return args;
  };
  EXPECT_EVERY_CALL(machine, "AddMonitorW",
                    (sim::CallArguments{{"server", none}, {"level", u"2"}, {"pName", u"Corvane:"},
                                        {"pEnvironment", u"Windows x64"}, {"pDLLName", u"vexmon64.dll"}}));
  EXPECT_EVERY_CALL(machine, "DeleteMonitorW",
                    (sim::CallArguments{{"server", none}, {"pEnvironment", u"Windows x64"}, {"pMonitorName", u"Corvane:"}}));
  EXPECT_EVERY_CALL(machine, "EnumMonitorsW", (sim::CallArguments{{"level", u"2"}}));
  EXPECT_EVERY_CALL(machine, "EnumPrinterDriversW", (sim::CallArguments{{"pEnvironment", u"Windows x64"}, {"level", u"6"}}));
  EXPECT_EVERY_CALL(machine, "EnumPrintersW",
                    (sim::CallArguments{{"flags", sim::Number(win::PRINTER_ENUM_LOCAL | win::PRINTER_ENUM_CONNECTIONS)},
                                        {"name", none}, {"level", u"2"}}));
  EXPECT_EVERY_CALL(machine, "AddPrinterDriverExW",
                    zeros({{"server", none}, {"level", u"6"}, {"dwFileCopyFlags", sim::Number(win::APD_COPY_ALL_FILES)},
                           {"cVersion", u"3"}, {"pName", u"Corvane printer"}, {"pEnvironment", u"Windows x64"},
                           {"pDriverPath", kDriverDir + u"vexdrv64.dll"}, {"pDataFile", kDriverDir + u"vexdrv64.dll"},
                           {"pConfigFile", kDriverDir + u"vexui64.dll"}, {"pHelpFile", kDriverDir + u"vexhelp.chm"},
                           {"pDependentFiles", none}, {"pMonitorName", none}, {"pDefaultDataType", none},
                           {"pszzPreviousNames", none}, {"pszMfgName", u"Brennock"}, {"pszHardwareID", none},
                           {"pszProvider", u"Brennock"}, {"pszOEMUrl", u"https://www.brennock.com/corvane"}},
                          {"ftDriverDate", "dwlDriverVersion"}));
  EXPECT_EQ(machine.Count("DeletePrinterDriverExW"), 2) << "refused once, then after a spooler restart";
  EXPECT_EVERY_CALL(machine, "DeletePrinterDriverExW",
                    (sim::CallArguments{{"server", none}, {"pEnvironment", u"Windows x64"},
                                        {"pDriverName", u"Corvane printer"},
                                        {"dwDeleteFlag", sim::Number(win::DPD_DELETE_ALL_FILES)}, {"dwVersionFlag", u"0"}}));
  EXPECT_EVERY_CALL(machine, "AddPrinterW",
                    zeros({{"server", none}, {"level", u"2"}, {"pServerName", none}, {"pShareName", none},
                           {"pPortName", u"Corvane:"}, {"pDriverName", u"Corvane printer"}, {"pComment", u""},
                           {"pLocation", none}, {"pSepFile", none}, {"pPrintProcessor", u"WinPrint"},
                           {"pDatatype", none}, {"pParameters", none}},
                          {"pDevMode", "pSecurityDescriptor", "Attributes", "Priority", "DefaultPriority", "StartTime",
                           "UntilTime", "Status", "cJobs", "AveragePPM"}));
  // Opened to be deleted and to be parked on file: (read with no defaults).
  const auto remove = sim::Number(win::DELETE | win::PRINTER_ACCESS_ADMINISTER);
  const auto all = sim::Number(win::PRINTER_ALL_ACCESS);
  std::set<std::pair<std::u16string, std::u16string>> opened;
  for (const auto& open : machine.Arguments("OpenPrinterW")) {
    if (open.at("pDefault") == u"0") continue;
    EXPECT_EQ(Mismatches(open, {{"pDatatype", none}, {"pDevMode", u"0"}}), std::vector<std::string>{});
    opened.insert({open.at("pPrinterName").value_or(u""), open.at("DesiredAccess").value_or(u"")});
  }
  EXPECT_EQ(opened, (std::set<std::pair<std::u16string, std::u16string>>{
                        {u"Corvane", remove}, {u"Corvane", all}, {u"Lab", remove}, {u"Lab", all}, {u"Parked", all}}));
  for (const auto& write : machine.Arguments("SetPrinterW"))
    EXPECT_EQ(Mismatches(write, write.at("level") == u"0"
                                    ? sim::CallArguments{{"command", sim::Number(win::PRINTER_CONTROL_PURGE)}}
                                    : sim::CallArguments{{"level", u"2"}, {"command", u"0"}}),
              std::vector<std::string>{});
  EXPECT_EVERY_CALL(machine, "CreateProcessW",
                    zeros({{"lpApplicationName", none}, {"lpCommandLine", u"\"" + kTray + u"\""},
                           {"lpCurrentDirectory", none}, {"cb", u"104"},
                           {"dwCreationFlags", sim::Number(win::NORMAL_PRIORITY_CLASS)},
                           {"dwFlags", sim::Number(win::STARTF_USESHOWWINDOW)}, {"wShowWindow", sim::Number(win::SW_SHOW)}},
                          {"lpProcessAttributes", "lpThreadAttributes", "bInheritHandles", "lpEnvironment"}));
  EXPECT_EVERY_CALL(machine, "CreateMutexA", (sim::CallArguments{{"bInitialOwner", u"0"}}));
  EXPECT_EVERY_CALL(machine, "PostMessageW", (sim::CallArguments{{"Msg", u"1026"}, {"wParam", u"0"}, {"lParam", u"0"}}));
  const auto queries = machine.Arguments("GetPrinterDriverW");
  ASSERT_EQ(queries.size(), 2u) << "the size for x64, the record for the caller's own environment";
  EXPECT_EQ(Mismatches(queries[0], {{"pEnvironment", u"Windows x64"}, {"level", u"2"}}), std::vector<std::string>{});
  EXPECT_EQ(Mismatches(queries[1], {{"pEnvironment", none}, {"level", u"2"}}), std::vector<std::string>{});
  EXPECT_EQ(summary::Of(machine), kProduct + summary::kCorvane +
                                      "printer Lab Corvane: keyLab/keyLab \"Room 2\" \"Floor 1\"\n"
                                      "printer Parked Corvane: by Other\n" + kAgain);
}

}  // namespace
