// A small simulated Windows machine behind the platform layer.
//
// One machine is current at a time; every platform call of the native build
// runs against it. Time is virtual: Sleep and waits advance the clock at once
// and fire the events scheduled for the times passed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace sim {

using win::DWORD;

// ---- Faults and journal ---------------------------------------------------

// Makes a named platform call fail: after `skip` matching calls have passed,
// the next `count` ones fail with `error` (count < 0: every one after).
// `match`, when set, limits the fault to calls whose detail (usually a path
// or name) contains it, without regard to case. A `kill` fault ends the
// program at the call instead, as if it were killed there.
struct Fault {
  std::string call;
  DWORD error = 0;
  int skip = 0;
  int count = 1;
  std::u16string match;
  bool kill = false;
};

// A call's arguments as they were passed, by name: strings as given (none
// for a null pointer, so that null and empty stay apart), numbers in decimal.
using CallArguments = std::map<std::string, std::optional<std::u16string>>;

struct JournalEntry {
  std::string call;
  std::u16string detail;
  std::uint64_t timeMs = 0;
  CallArguments args;
};

// A string argument as passed: none for a null pointer.
std::optional<std::u16string> Given(const char16_t* text);
// A numeric argument in decimal.
std::u16string Number(std::uint64_t value);

// ---- Files ------------------------------------------------------------------

// Modify: write, replace, add to a folder, delete.
constexpr DWORD ModifyRights = 0x001301BF;

// An account besides SYSTEM and Administrators that may change a file, and
// how (an access mask).
struct FileWriter {
  std::u16string account;
  DWORD rights = ModifyRights;
};

struct FileNode {
  std::u16string path;  // full Windows path as created, case kept
  bool directory = false;
  DWORD attributes = win::FILE_ATTRIBUTE_ARCHIVE;
  std::vector<std::uint8_t> data;
  DWORD links = 1;           // names the file has: more than one are hard links
  std::u16string linkTarget;  // a symbolic link's target (with the reparse-point attribute)
  // Its security: the owner's account ("Administrators" when empty) and who
  // else may change it; see AccountSid for the names. A null access list, as
  // a program may set one, lets everyone do everything.
  std::u16string owner;
  std::vector<FileWriter> writers;
  bool nullAccessList = false;
};

// Another process keeps a file open; released at `untilMs` (never when max).
struct ExternalHold {
  std::u16string key;
  DWORD access = win::GENERIC_READ;
  DWORD share = 0;
  std::uint64_t untilMs = UINT64_MAX;
  std::string holder;
  bool image = false;  // a mapped program image: deleting it is refused too
  bool bySpooler = false;  // the spooler has it loaded: let go once the spooler stops
};

// ---- Services -----------------------------------------------------------------

struct Service {
  std::u16string name;
  DWORD state = win::SERVICE_RUNNING;
  DWORD stopDelayMs = 600;
  DWORD startDelayMs = 400;
  bool stopHangs = false;    // stays STOP_PENDING for good
  bool startHangs = false;   // stays START_PENDING for good
  DWORD startError = 0;      // StartServiceW refuses with this code
};

// ---- Timed events ----------------------------------------------------------------

// Something due at a virtual time. Kept as data rather than code so that a
// saved machine brings its pending changes along.
struct TimedEvent {
  enum class Kind {
    ServiceState,     // service `name` moves from state `from` to `to`, unless moved meanwhile
    HoldRelease,      // the hold on file key `name` that lasts until atMs ends
    CompanionWindow,  // the tray companion's window appears
    CompanionExit,    // the tray companion ends
    WindowClose,      // `window` closes
  };
  Kind kind = Kind::ServiceState;
  std::uint64_t atMs = 0;
  std::uint64_t seq = 0;  // orders events due at the same time
  std::u16string name;
  std::uintptr_t window = 0;
  DWORD from = 0, to = 0;
};

// Whether `a` happens before `b`.
inline bool Earlier(const TimedEvent& a, const TimedEvent& b) {
  return a.atMs != b.atMs ? a.atMs < b.atMs : a.seq < b.seq;
}

// ---- Windows -----------------------------------------------------------------

// The session of the user at the machine; services and what they start run
// in session 0. Windows and unprefixed named objects belong to one session.
inline constexpr DWORD UserSession = 1;

// What a window does with messages posted to it.
enum class WindowRole {
  Plain,      // nothing
  Help,       // a help viewer: closes after SC_CLOSE (see Window::closes)
  Companion,  // the tray companion's window: ends it on the exit request
};

struct Window {
  std::uintptr_t handle = 0;
  std::u16string className;
  std::u16string title;
  bool alive = true;
  bool dialog = false;
  std::uintptr_t owner = 0;
  std::map<int, std::u16string> items;  // dialog controls by id
  bool dialogEnded = false;
  win::INT_PTR dialogResult = 0;
  WindowRole role = WindowRole::Plain;
  DWORD closeDelayMs = 0;  // a help window closes this long after SC_CLOSE...
  bool closes = true;      // ...or never
  DWORD session = UserSession;  // found only by programs of the same session
};

// ---- Processes and the tray companion ---------------------------------------------

// A named mutex: who owns it, and how many handles keep it in existence.
struct NamedMutex {
  std::u16string name;
  enum class Owner { None, Program, Companion } owner = Owner::None;
  bool abandoned = false;  // its owner ended without releasing it
  int programHandles = 0;
  bool companionHandle = false;
  DWORD session = UserSession;  // whose namespace it lives in
};

// The key of a named mutex in Machine::mutexes: its upper-case name, with
// the session in front for any session but the user's.
std::u16string MutexKey(DWORD session, std::u16string_view name);

// How the tray companion behaves once started.
struct CompanionBehaviour {
  DWORD windowDelayMs = 0;    // its window appears this long after the start
  DWORD exitDelayMs = 100;    // it ends this long after the exit request
  bool ignoresExitRequest = false;
  bool abandonsMutex = false;  // ends without releasing its mutex
  DWORD imageReleaseMs = 200;  // its program file stays locked this long after the end
};

struct Companion {
  bool running = false;
  std::u16string image;  // full path of the running program file
  std::uintptr_t window = 0;
  int starts = 0;
  int exitRequests = 0;
  DWORD session = UserSession;  // where it runs...
  bool asSystem = false;        // ...and as whom
  // The printers it found when it last started, as a companion that lists
  // them at its start would (not kept in a saved machine).
  std::vector<std::u16string> printersAtStart;
};

inline constexpr char16_t CompanionMutexName[] = u"{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
inline constexpr char16_t CompanionWindowClass[] = u"kvs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
inline constexpr win::UINT CompanionExitMessage = 1026;

// How the simulated user ends a modal dialog.
enum class DialogClose { CloseButton, EnterKey, EscapeKey, CloseBox, Ignore };

struct DialogRecord {
  std::u16string title;
  std::u16string text;  // the edit box's text
  std::uintptr_t owner = 0;
  win::INT_PTR result = 0;
};

// ---- Registry ---------------------------------------------------------------------

struct RegistryValue {
  std::u16string name;  // as written, case kept
  DWORD type = win::REG_NONE;
  std::vector<std::uint8_t> data;
};

struct RegistryKey {
  explicit RegistryKey(std::u16string keyName = {}) : name(std::move(keyName)) {}
  std::u16string name;                                             // as created
  std::map<std::u16string, std::unique_ptr<RegistryKey>> subkeys;  // by upper-case name
  std::map<std::u16string, RegistryValue> values;                  // by upper-case name
  RegistryKey* Find(std::u16string_view path);
  RegistryKey& Create(std::u16string_view path);
  bool Remove(std::u16string_view path);  // the key with everything below it
};

// UTF-16 text as REG_SZ bytes, terminator included.
std::vector<std::uint8_t> StringBytes(std::u16string_view text);
// Strings as REG_MULTI_SZ bytes: each with its zero, then one more zero.
std::vector<std::uint8_t> MultiStringBytes(const std::vector<std::u16string>& strings);

// ---- Kernel and service handles -----------------------------------------------

enum class HandleKind { File, ScManager, Service, RegistryKey, Printer, Mutex, Process, Thread, Token };

struct HandleObject {
  HandleKind kind = HandleKind::File;
  std::u16string name;  // file key, service, key path below its root, or printer
  win::HKEY root = nullptr;
  DWORD access = 0;
  DWORD share = 0;
  std::uint64_t position = 0;
};

// ---- The machine ---------------------------------------------------------------

class Machine {
 public:
  Machine();
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Clock.
  std::uint64_t nowMs = 0;
  DWORD tickBase = 0x01000000;   // GetTickCount at nowMs 0
  std::uint64_t hangLimitMs = 24ull * 3600 * 1000;  // a run past this is a hang
  std::map<std::string, DWORD> callCostMs;           // virtual time a call takes
  void Advance(std::uint64_t ms);
  void Schedule(std::uint64_t delayMs, TimedEvent event);
  std::vector<TimedEvent> events;  // pending, in no particular order
  std::uint64_t eventSeq = 0;      // the next event's sequence number

  // Faults, journal, last error.
  std::vector<Fault> faults;
  std::vector<JournalEntry> journal;
  DWORD lastError = 0;
  // Records the call, charges its cost, and fails it when a fault is armed:
  // then the last error is set and true returned.
  // Arms a fault: after `skip` calls, the next `count` fail (count < 0: all).
  Fault& Fail(std::string call, DWORD error, int count = 1, int skip = 0,
              std::u16string match = {});
  bool Enter(const char* call, std::u16string_view detail = {});
  // The fault check alone, for calls too frequent to journal (the CRT heap).
  bool Fails(const char* call, std::u16string_view detail = {});
  std::map<std::string, int> quietCalls;  // how often each unjournaled call was made
  // For calls that return their error instead of setting the last error
  // (the registry): records the call and gives the armed fault's code, or 0.
  DWORD EnterStatus(const char* call, std::u16string_view detail = {});
  int Count(std::string_view call) const;
  // Notes the arguments of the call just entered.
  void Note(CallArguments args);
  // The arguments of every journaled call of that name, in order.
  std::vector<CallArguments> Arguments(std::string_view call) const;

  // Ending the program as if it were killed. Journaled calls are counted
  // from the start of the run; the one numbered `killAtCall` (0: none) does
  // not happen: the program's process ends as it makes it.
  int callsMade = 0;
  int killAtCall = 0;
  void KillAfter(int calls) { killAtCall = callsMade + calls; }
  // Takes over once the process is gone; must not return. The machine then
  // holds what the program left behind: what it wrote stays, its handles
  // are closed, its mutexes abandoned, its memory freed, and a service it
  // stopped stays as it was.
  std::function<void()> killHandler;
  [[noreturn]] void Kill();

  // Process.
  std::u16string commandLine;
  std::u16string modulePath = u"C:\\Program Files\\Corvane\\Setup\\corvane-setup.exe";
  std::u16string systemDir = u"C:\\Windows\\system32";
  std::u16string currentDir = u"C:\\Program Files\\Corvane\\Setup";
  bool shiftHeld = false;
  // Where the program's runs start and whether as SYSTEM (a service's or
  // the installer's run) rather than as the user at the machine.
  DWORD session = UserSession;
  bool runsAsSystem = false;
  bool englishMessages = true;  // the system carries English (US) message texts
  std::function<void(unsigned)> exitHandler;  // must not return

  // Heaps: live blocks by address with their sizes.
  std::map<void*, std::size_t> crtBlocks;
  std::map<void*, std::size_t> globalBlocks;
  std::map<void*, std::size_t> localBlocks;
  std::vector<std::size_t> crtSizesSeen;  // sizes of every allocate/reallocate

  // Files.
  std::map<std::u16string, FileNode> files;  // by upper-case full path
  std::vector<ExternalHold> holds;
  std::uint64_t diskFreeBytes = UINT64_MAX;
  std::u16string FullPath(std::u16string_view path) const;
  static std::u16string Key(std::u16string_view fullPath);
  FileNode* FindFile(std::u16string_view path);
  void AddDirectory(std::u16string_view path);  // with its parents
  void AddFile(std::u16string_view path, std::vector<std::uint8_t> data);
  void HoldFile(std::u16string_view path, std::uint64_t forMs, DWORD share = 0,
                std::string holder = "another process");
  void ReleaseFile(std::u16string_view path);

  // Services.
  std::vector<Service> services;
  Service* FindService(std::u16string_view name);
  bool SpoolerRunning() const;
  // A running service begins to stop (a stopped one to start), as the
  // Service Control Manager has it do: done after its delay, or never.
  void BeginServiceStop(Service& service);
  void BeginServiceStart(Service& service);
  // A service reaches a state; a stopped spooler lets go of what it had loaded.
  void SetServiceState(Service& service, DWORD state);

  // Registry.
  RegistryKey hklm{u"HKEY_LOCAL_MACHINE"};
  RegistryKey hkcu{u"HKEY_CURRENT_USER"};
  RegistryKey* RootKey(win::HKEY root);
  RegistryKey* FindKey(win::HKEY root, std::u16string_view path);
  RegistryKey& CreateKey(win::HKEY root, std::u16string_view path);
  void SetValue(win::HKEY root, std::u16string_view path, std::u16string_view name, DWORD type,
                std::vector<std::uint8_t> data);
  void SetString(win::HKEY root, std::u16string_view path, std::u16string_view name,
                 std::u16string_view text, DWORD type = win::REG_SZ);
  void SetDword(win::HKEY root, std::u16string_view path, std::u16string_view name, DWORD value);
  const RegistryValue* FindValue(win::HKEY root, std::u16string_view path,
                                 std::u16string_view name);
  // A string value without its terminator; empty when absent.
  std::u16string String(win::HKEY root, std::u16string_view path, std::u16string_view name);

  // System version, processes, mutexes, the tray companion.
  DWORD osMajor = 10, osMinor = 0, osBuild = 19045, osPlatform = win::VER_PLATFORM_WIN32_NT;
  std::map<std::u16string, NamedMutex> mutexes;  // by MutexKey
  CompanionBehaviour companionBehaviour;
  Companion companion;
  std::vector<std::u16string> processesStarted;  // command lines of every start
  std::optional<std::uint64_t> NextEventTime() const;

  // Spooler's driver directory base ("...\spool\drivers").
  std::u16string driverRoot = u"C:\\Windows\\system32\\spool\\drivers";

  // Windows and dialogs.
  std::vector<std::unique_ptr<Window>> windows;
  Window* FindWindowByHandle(std::uintptr_t handle);
  Window& AddWindow(std::u16string className, std::u16string title);
  // A help viewer window; it closes `closeDelayMs` after SC_CLOSE, or never.
  Window& AddHelpWindow(DWORD closeDelayMs = 0, bool closes = true);
  std::vector<DialogClose> dialogActions;  // consumed one per dialog
  std::vector<DialogRecord> dialogs;       // every dialog shown
  bool renderDialogs = false;              // the desktop draws dialogs on stderr
  // What the program wrote to its standard output in this run; the host
  // passes it on to its own.
  std::string standardOutput;
  bool echoStandardOutput = false;
  // Called while a dialog is up, with its initialisation parameter, so a
  // test can look at what the dialog shows before the run releases it.
  std::function<void(win::LPARAM)> onDialogShown;
  bool dialogTemplatePresent = true;

  // Handles of the simulated kernel objects, by value.
  std::map<std::uintptr_t, std::shared_ptr<HandleObject>> handles;
  std::uintptr_t AddHandle(std::shared_ptr<HandleObject> object);
  HandleObject* FindHandle(std::uintptr_t value);
  std::uintptr_t nextHandle = 0x104;
  std::uintptr_t nextWindow = 0x10010;

 private:
  void RunDueEvents();
  void Fire(const TimedEvent& event);
  DWORD ArmedFault(const char* call, std::u16string_view detail);
  void CountCall();
};

inline constexpr char16_t SessionManagerKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr char16_t PendingOperationsValue[] = u"PendingFileRenameOperations";

// Starts the tray companion from `image` as CreateProcessW would, in
// `session`, as SYSTEM or as the user.
void StartCompanion(Machine& machine, std::u16string_view image, DWORD session = UserSession,
                    bool asSystem = false);
// Whether opening the file of upper-case path `key` with (access, share)
// collides with a handle, a hold or a running image.
bool SharingViolation(Machine& machine, const std::u16string& key, DWORD access, DWORD share);
// The companion's window appears (when it still runs and has none).
void OpenCompanionWindow(Machine& machine);
// The companion ends: its window goes, its mutex is released or abandoned.
void EndCompanion(Machine& machine);
// A message posted to a window, handled as the window's process would.
void DeliverPosted(Machine& machine, Window& window, win::UINT message, win::WPARAM wParam);
// The program's process ends: its handles close, a mutex it still owns is
// abandoned, its windows go.
void EndProgram(Machine& machine);
// Drops a mutex nobody holds a handle to any more.
void ForgetUnusedMutex(Machine& machine, const std::u16string& key);

// A restart: the pending file operations are carried out and cleared, other
// processes (the tray companion too) end, services come back up, open
// handles, mutexes and pending events are gone.
void Reboot(Machine& machine);

// The Session Manager's pending file operations as (source, target) pairs
// as recorded: "\??\" prefixes kept, an empty target deletes, a target
// starting with "!" replaces what is there.
std::vector<std::pair<std::u16string, std::u16string>> PendingOperations(Machine& machine);
// Records one as MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT does, for
// full paths; an empty `to` deletes `from`.
void AddPendingOperation(Machine& machine, std::u16string_view from, std::u16string_view to, bool replace);

// The machine every platform call talks to.
Machine& Current();
void SetCurrent(Machine* machine);

// A current 64-bit Windows with the spooler running and the product's
// installer folder in place (package files of build `build`).
void SetUpDefaultMachine(Machine& machine, unsigned build = 2620);

// A file image carrying a fixed version block whose product version ends in
// `build` (the file version in `fileBuild`, the same unless given), so that
// version checks read it like a real module's.
std::vector<std::uint8_t> VersionedFileImage(unsigned build, std::size_t size = 4096);
std::vector<std::uint8_t> VersionedFileImage(unsigned build, std::size_t size, unsigned fileBuild);
// The build a version check reads from a file image (the product version's
// last part), or nothing without a version block.
std::optional<unsigned> FileBuild(const std::vector<std::uint8_t>& image);
// Makes the image's version block carry `build` as product and file build;
// false when it has none.
bool SetFileBuild(std::vector<std::uint8_t>& image, unsigned build);

// A block of the machine's local heap, as the system hands out (LocalFree).
void* LocalAllocZeroed(std::size_t bytes);

std::u16string ToUpperAscii(std::u16string_view text);
// The SID of an account a test names ("SYSTEM", "Administrators", "Users",
// "Everyone", "TrustedInstaller"; any other name is the machine's user).
std::vector<std::uint8_t> AccountSid(std::u16string_view account);
std::string Utf8(std::u16string_view text);
// UTF-8 back to UTF-16; bytes that start no sequence become U+FFFD. Gives
// back what Utf8 made, unpaired surrogates included.
std::u16string FromUtf8(std::string_view text);

}  // namespace sim
