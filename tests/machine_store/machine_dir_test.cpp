// corvane-setup and corvane-sim run as separate processes over one machine
// directory: a whole story, runs that die or meet each other, and input
// that must be refused without harm.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "disk_tree.h"

namespace {

namespace fs = std::filesystem;
using Env = std::map<std::string, std::string>;

const std::string kSystemMonitor = "C:\\Windows\\system32\\vexmon64.dll";
const std::string kOtherDriver = "Fenwick LaserPro 400 PCL6";

struct Outcome {
  int code = -1;    // the exit code, or -1 when a signal ended it
  int signal = 0;
  std::string out, err;
};

// A program started with its output going to files of its own.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& args, const Env& env, const fs::path& scratch,
        int number)
      : out_(scratch / ("out." + std::to_string(number))), err_(scratch / ("err." + std::to_string(number))) {
    pid_ = fork();
    if (pid_ != 0) return;
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    dup2(open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    dup2(open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }

  Outcome Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    Outcome o;
    if (WIFEXITED(status)) o.code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) o.signal = WTERMSIG(status);
    o.out = disk::Read(out_);
    o.err = disk::Read(err_);
    return o;
  }

  void Kill() { kill(pid_, SIGKILL); }

 private:
  fs::path out_, err_;
  pid_t pid_ = -1;
};

// The directory's lock, held as another run would hold it.
class HeldLock {
 public:
  explicit HeldLock(const fs::path& dir) : fd_(open((dir / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
  }
  ~HeldLock() { close(fd_); }

 private:
  int fd_;
};

class MachineDirTest : public ::testing::Test {
 protected:
  disk::TempDir temp;
  const std::string dir = (temp.path() / "machine").string();
  int started = 0;

  Child Start(const std::string& program, const std::vector<std::string>& args, Env env = {}) {
    return Child(program, args, env, temp.path(), started++);
  }
  Outcome Sim(const std::vector<std::string>& args, const Env& env = {}) {
    return Start(CORVANE_SIM_PROGRAM, args, env).Wait();
  }
  Outcome Setup(const std::string& word, Env env = {}) {
    env["CORVANE_SIM_MACHINE"] = dir;
    return Start(CORVANE_SETUP_PROGRAM, {word}, env).Wait();
  }
  // The part of `show` under a heading, up to the next blank line.
  std::string Show(const std::string& heading) {
    const Outcome shown = Sim({"show", dir});
    EXPECT_EQ(shown.code, 0) << shown.err;
    const std::string text = "\n" + shown.out;
    const auto start = text.find("\n" + heading);
    if (start == std::string::npos) return "<no " + heading + ">";
    return text.substr(start + 1, text.find("\n\n", start + 1) - start - 1);
  }
  void Succeeds(const std::vector<std::string>& args) {
    const Outcome o = Sim(args);
    EXPECT_EQ(o.code, 0) << args[0] << ": " << o.err;
  }
};

#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), std::string::npos) << (text)
#define EXPECT_LACKS(text, part) EXPECT_EQ((text).find(part), std::string::npos) << (text)

TEST_F(MachineDirTest, AStoryOverOneMachineDirectory) {
  Succeeds({"new", dir});
  EXPECT_HAS(Show("Spooler"), "Spooler: running");
  EXPECT_HAS(Show("Printers"), "  * Office Laser\n      port LPT1:, driver " + kOtherDriver);

  EXPECT_EQ(Setup("install").code, 1);
  EXPECT_HAS(Show("Port monitors"), "  Corvane:\n    DLL vexmon64.dll (build 2620)\n    ports Corvane:");
  EXPECT_HAS(Show("Printer drivers"), "  Corvane printer (Windows x64, version 3)");
  EXPECT_HAS(Show("Tray companion"), "Run value CorvaneTray: \"C:\\Program Files\\Corvane\\cortray.exe\"\n  running");

  // Printers the product's other programs made, with their settings, come through a reinstall.
  Succeeds({"add-printer", dir, "Front desk", "--comment", "Reception", "--location", "Hall", "--settings", "keyA",
            "--default", "--jobs", "2"});
  Succeeds({"add-printer", dir, "Back office", "--dsuser-settings", "keyB"});
  EXPECT_HAS(Show("Printers"), "SubKey none, DsUser SubKey \"keyB\"\n      jobs queued: 0");
  EXPECT_HAS(Show("Printers"), "jobs queued: 2");
  EXPECT_EQ(Setup("install").code, 1);
  const std::string printers = Show("Printers");
  EXPECT_HAS(printers, "  * Front desk\n      port Corvane:, driver Corvane printer\n"
                       "      comment \"Reception\", location \"Hall\"\n"
                       "      SubKey \"keyA\", DsUser SubKey \"keyA\"\n      jobs queued: 0");
  EXPECT_HAS(printers, "    Back office\n");
  EXPECT_HAS(printers, "SubKey \"keyB\", DsUser SubKey \"keyB\"");
  EXPECT_HAS(printers, "    Corvane\n") << "the first install's printer, without a settings key, stays too";

  // A file another process keeps open waits for the restart.
  Succeeds({"lock", dir, kSystemMonitor, "--holder", "a virus scanner"});
  const Outcome uninstall = Setup("uninstall", {{"CORVANE_SIM_SHIFT", "1"}});
  EXPECT_EQ(uninstall.code, 101);
  EXPECT_HAS(uninstall.err, "DeleteFile-try\n#Restart Spooler\nDeleteFile-try\n[ Close ]");
  EXPECT_HAS(Show("Pending file operations"), "  delete " + kSystemMonitor);
  EXPECT_HAS(Show("Held files"), kSystemMonitor + " by a virus scanner, sharing nothing, until released");
  EXPECT_HAS(Show("Printers"), "    Office Laser");
  EXPECT_LACKS(Show("Printers"), "Front desk");
  EXPECT_HAS(Show("Clock"), "Shift up") << "Shift was held for that run only";

  Succeeds({"reboot", dir});
  EXPECT_HAS(Show("Pending file operations"), "\n  none");
  EXPECT_HAS(Show("Held files"), "\n  none");
  EXPECT_LACKS(Show("Product files"), kSystemMonitor);
}

TEST_F(MachineDirTest, ARunKilledWhileSavingLeavesThePreviousStateWhole) {
  Succeeds({"new", dir});
  ASSERT_EQ(Setup("install").code, 1);
  const auto before = disk::Tree(dir);
  const Outcome died = Setup("uninstall", {{"CORVANE_SIM_DIE_BEFORE_SWITCH", "1"}});
  EXPECT_EQ(died.signal, SIGKILL);
  auto after = disk::Tree(dir);
  int leftovers = std::erase_if(after, [](const auto& entry) { return entry.first.rfind("state.3", 0) == 0; });
  EXPECT_GT(leftovers, 10) << "the new snapshot was written whole";
  EXPECT_EQ(after, before) << "what was in force is untouched";
  EXPECT_HAS(Show("Printers"), "    Corvane\n");

  EXPECT_EQ(Setup("uninstall").code, 2);
  EXPECT_LACKS(Show("Printers"), "    Corvane\n");
  for (const auto& [name, content] : disk::Tree(dir))
    EXPECT_TRUE(name == ".lock" || name == "current" || name.rfind("state.3", 0) == 0) << name << " left behind";
}

// A run killed at a platform call ends by SIGKILL; the directory then holds
// the machine as the program left it, for the next run only.
TEST_F(MachineDirTest, ARunKilledAtACallLeavesTheMachineAsItWasThen) {
  Succeeds({"new", dir});
  ASSERT_EQ(Setup("install").code, 1);
  Succeeds({"add-printer", dir, "Front desk", "--settings", "keyA", "--comment", "Reception", "--default"});

  // Killed once its printers are deleted: the printer waits in the journal.
  Succeeds({"fault", dir, "DeletePrinterDriverExW", "--kill"});
  EXPECT_HAS(Show("Armed faults"), "DeletePrinterDriverExW kills the program");
  const Outcome killed = Setup("install");
  EXPECT_EQ(killed.signal, SIGKILL) << killed.err;
  EXPECT_LACKS(Show("Printers"), "Front desk");
  EXPECT_HAS(Show("Armed faults"), "\n  none") << "the kill was used up";
  EXPECT_EQ(Setup("install").code, 1);
  EXPECT_HAS(Show("Printers"), "  * Front desk\n      port Corvane:, driver Corvane printer\n      comment \"Reception\"");

  // Killed as it starts the spooler it stopped to delete a locked file: the
  // spooler stays stopped, as nobody starts it again.
  Succeeds({"lock", dir, kSystemMonitor, "--for", "1000"});
  Succeeds({"fault", dir, "StartServiceW", "--kill"});
  EXPECT_EQ(Setup("uninstall").signal, SIGKILL);
  EXPECT_HAS(Show("Spooler"), "Spooler: stopped");
  Succeeds({"spooler", dir, "start"});

  // --at-call counts from the start of the next run, and only that run.
  Succeeds({"kill", dir, "--at-call", "1"});
  EXPECT_HAS(Show("Armed faults"), "the next run is killed at its platform call 1");
  const auto before = Show("Printers");
  EXPECT_EQ(Setup("uninstall").signal, SIGKILL);
  EXPECT_EQ(Show("Printers"), before) << "the first call did not happen";
  EXPECT_HAS(Show("Armed faults"), "\n  none");
  Succeeds({"kill", dir, "--at-call", "100000"});
  EXPECT_EQ(Setup("onChkDrv").code, 3) << "the uninstall killed before removed the driver";
  EXPECT_HAS(Show("Armed faults"), "\n  none") << "a kill the run never reached is not kept for the next";
}

TEST_F(MachineDirTest, RunsOnOneDirectoryTakeTurns) {
  Succeeds({"new", dir});
  const auto before = disk::Tree(dir);
  {
    std::optional<HeldLock> lock(std::in_place, dir);
    const Env brief{{"CORVANE_SIM_LOCK_WAIT_MS", "50"}};
    const Outcome setup = Setup("install", brief);
    EXPECT_EQ(setup.code, 125);
    EXPECT_HAS(setup.err, "corvane-setup: cannot use the machine in " + dir + ": " + dir +
                              " is in use by another run; gave up waiting after 50 ms");
    const Outcome tool = Sim({"shift", dir, "down"}, brief);
    EXPECT_EQ(tool.code, 1);
    EXPECT_HAS(tool.err, "is in use by another run");

    Child killed = Start(CORVANE_SIM_PROGRAM, {"add-printer", dir, "Killed"});
    killed.Kill();
    EXPECT_EQ(killed.Wait().signal, SIGKILL);
    EXPECT_EQ(disk::Tree(dir), before);

    Child waiting = Start(CORVANE_SIM_PROGRAM, {"shift", dir, "down"});
    EXPECT_EQ(disk::Tree(dir), before) << "nothing changes while the directory is held";
    lock.reset();
    EXPECT_EQ(waiting.Wait().code, 0) << "it went on once the directory was free";
  }
  EXPECT_HAS(Show("Clock"), "Shift held down");

  // Many runs at once: none loses what another one did.
  std::vector<Child> runs;
  for (int i = 0; i < 8; ++i)
    runs.push_back(Start(CORVANE_SIM_PROGRAM, {"add-printer", dir, "P" + std::to_string(i), "--driver", kOtherDriver,
                                               "--port", "LPT2:"}));
  for (int i = 0; i < 2; ++i) runs.push_back(Start(CORVANE_SETUP_PROGRAM, {"install"}, {{"CORVANE_SIM_MACHINE", dir}}));
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const Outcome o = runs[i].Wait();
    EXPECT_EQ(o.code, i < 8 ? 0 : 1) << o.err;
  }
  const std::string printers = Show("Printers");
  for (int i = 0; i < 8; ++i) EXPECT_HAS(printers, "    P" + std::to_string(i) + "\n      port LPT2:");
  EXPECT_HAS(printers, "    Corvane\n");
  EXPECT_HAS(Show("Tray companion"), "started 2 times");
}

// Bad input to corvane-sim, and a directory from elsewhere damaged in each
// way a loader must not trust: refused with its reason and code (125 for
// corvane-setup), the directory left as it was, and nothing beside it read or
// written. The folder `outside` holds a secret and a whole snapshot.
TEST_F(MachineDirTest, BadInputAndDamagedDirectoriesAreRefusedAndHarmNothing) {
  Succeeds({"new", dir});
  ASSERT_EQ(Setup("install").code, 1);
  const fs::path d = dir, outside = temp.path() / "outside";
  disk::Write(d / "secret", "SECRET\n");  // a stray file beside the snapshots, left alone
  fs::copy(d, outside, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  const auto kept = disk::Tree(outside);
  auto put = [&](const std::string& file, const std::string& text, std::uintmax_t size = 0) {
    fs::create_directories((d / file).parent_path());
    disk::Write(d / file, disk::Read(d / file) + text);
    if (size) fs::resize_file(d / file, size);  // sparse: no disk taken
  };
  auto fresh = [&](const std::string& file, const std::string& text) { fs::remove(d / file), put(file, text); };
  auto link = [&](const fs::path& to, const std::string& name) { fs::remove(d / name), fs::create_symlink(to, d / name); };
  std::string deep = "d/", deepKey = "[HKEY_LOCAL_MACHINE";
  for (int i = 0; i < 64; ++i) deep += "d/";
  for (int i = 0; i < 513; ++i) deepKey += "\\k";
  const std::string c = "state.2/drive_c/", reg = "state.2/registry.reg", control = "state.2/machine.txt",
                    h = "machine format=1\n";
  const struct {
    std::function<void()> damage;  // none: corvane-sim runs with `args`
    std::string error;
    std::vector<std::string> args = {};
    int code = 125;
  } cases[] = {
      {nullptr, "corvane-sim: a verb is missing", {}, 2},
      {nullptr, "corvane-sim: no verb \"frobnicate\"", {"frobnicate", dir}, 2},
      {nullptr, "corvane-sim lock: the machine directory is missing\nusage: corvane-sim lock DIR PATH", {"lock"}, 2},
      {nullptr, "there is no file C:\\nope.dll on the machine", {"lock", dir, "C:\\nope.dll"}, 2},
      {nullptr, "--for must be a whole number, not \"soon\"", {"lock", dir, kSystemMonitor, "--for", "soon"}, 2},
      {nullptr, "--count must be 1 or more, or always", {"fault", dir, "DeleteFileW", "--count", "0"}, 2},
      {nullptr, "\"Delete File\" is no name of a platform call", {"fault", dir, "Delete File"}, 2},
      {nullptr, "kill needs --at-call N", {"kill", dir}, 2},
      {nullptr, "the spooler must be stopped first", {"spooler", dir, "starting"}, 2},
      {nullptr, "the printer Corvane exists already", {"add-printer", dir, "Corvane"}, 2},
      {nullptr, dir + " is not empty; a new machine needs a new or empty directory", {"new", dir}, 1},
      {nullptr, "holds no simulated machine", {"show", temp.path().string()}, 1},
      {[&] { put(c + "..\\..\\..\\outside\\newdir\\x.txt", "x"); }, "state.2/drive_c holds a backslash"},
      {[&] { put(c + "\xC0\xAF", ""); }, "state.2/drive_c holds a slash"},
      {[&] { put(c + "\xC0\xAE\xC0\xAE", ""); }, "state.2/drive_c is . or .."},
      {[&] { put(c + "Windows/C:x", ""); }, "state.2/drive_c/Windows holds a drive letter"},
      {[&] { put(c + "Windows/a?b", ""); }, "drive_c/Windows holds a character Windows refuses in names"},
      {[&] { put(c + "tab\there", ""); }, "drive_c holds a character Windows refuses in names"},
      {[&] { put(c + "\xFF.bin", ""); }, "state.2/drive_c is not UTF-8"},
      {[&] { put(c + "windows", ""); }, "two names differ only in case: " + dir + "/state.2/drive_c/"},
      {[&] { link(outside / "secret", c + "link"); }, "state.2/drive_c/link is a link"},
      {[&] { link(outside / "state.2/drive_c", "state.2/drive_d"); }, "state.2/drive_d is a link"},
      {[&] { link(outside / "state.2/registry.reg", reg); }, "state.2/registry.reg is a link"},
      {[&] { link(outside / "secret", control); }, "state.2/machine.txt is a link"},
      {[&] { link(outside / "state.2", "state.3"), link("state.3", "current"); }, "machine/state.3 is a link"},
      {[&] { link("state.2/../../outside/state.2", "current"); }, "current names no snapshot of this directory"},
      {[&] { fresh("current", "state.9\n"); }, "current names no snapshot"},
      {[&] { fresh("current", "state.99999999999999999999\n"); }, "current names no snapshot"},
      {[&] { link(outside / "lock", ".lock"); }, "machine/.lock is a link"},
      {[&] { fs::remove(d / reg), mkfifo((d / reg).c_str(), 0644); }, "state.2/registry.reg is no plain file"},
      {[&] { put("state.2/notes\x1B.txt", ""); }, "state.2/notes?.txt has no place in a saved machine"},
      {[&] { fs::remove(d / control); }, "state.2 lacks machine.txt"},
      {[&] { fresh(control, "machine format=2\n"); }, "line 1 (machine): the first line must read \"machine format=1\""},
      {[&] { fresh(control, h + "clock now-ms=12x\n"); }, "line 2 (clock): the field now-ms must be a whole number that fits"},
      {[&] { fresh(control, h + "clock speed=2\n"); }, "line 2 (clock): unknown field speed"},
      {[&] { fresh(control, h + "desktop shift=maybe\n"); }, "line 2 (desktop): the field shift must be yes or no"},
      {[&] { fresh(control, h + "desktop shift=yes shift=no\n"); }, "line 2 (desktop): the field shift is given twice"},
      {[&] { fresh(control, h + "paths module=\"a\"b\n"); }, "line 2 (paths): text follows a closing quote"},
      {[&] { fresh(control, h + "service state=running\n"); }, "line 2 (service): the field name is missing"},
      {[&] { fresh(control, h + "window-item handle=0x10 id=1 text=\"\"\n"); }, "line 2 (window-item): no window line before"},
      {[&] { fresh(control, h + "window handle=0x10\nwindow handle=0x10\n"); }, "line 3 (window): a window with this handle is"},
      {[&] { put(control, "carrier-folder path=\"C:\\\\Windows\\\\win.ini\"\n"); }, "\"C:\\Windows\\win.ini\" is no folder"},
      {[&] { put(control, "file path=\"C:\\\\Nowhere\" attributes=0x1\n"); }, "\"C:\\Nowhere\" is no file or folder on disk"},
      {[&] { put(reg, "[HKEY_LOCAL_MACHINE\\x]\n\"v\"=nonsense\n"); }, "a value must be \"text\", dword:xxxxxxxx, hex:"},
      {[&] { put(reg, "[HKEY_LOCAL_MACHINE\\xy\n"); }, "a key line must end with ]"},
      {[&] { put(reg, "[HKEY_LOCAL_MACHINE\\x]\n\"v\"=hex:1,02\n"); }, "\"1\" is not a byte in two hex digits"},
      {[&] { put(reg, "[HKEY_LOCAL_MACHINE\\x]\n\"v\"=dword:123\n"); }, "dword: needs exactly eight hex digits"},
      {[&] { put(reg, "[HKEY_LOCAL_MACHINE\\Big]\n\"v\"=\"" + std::string(1 << 19, 'x') + "\"\n"); }, "a value holds more than 1 MiB"},
      {[&] { put(reg, deepKey + "]\n"); }, "a key lies deeper than 512 levels"},
      {[&] { put(reg, "[HKEY_LOCAL_MACHINE\\a\rb]\n"); }, "a key path holds a line break"},
      {[&] { put(reg, std::string(200000, '\n')); }, "registry.reg: it has more than 200000 lines"},
      {[&] { put(control, "#" + std::string(4 << 20, 'x') + "\n"); }, "is longer than 4 MiB"},
      {[&] { fresh(control, h + std::string(20000, '\n')); }, "machine.txt: it has more than 20000 lines"},
      {[&] { put(c + "big", "", (16 << 20) + 1); }, "state.2/drive_c/big is larger than 16 MiB"},
      {[&] { for (char i : {'1', '2', '3', '4', '5'}) put(c + i, "", 13 << 20); }, "drives are larger than 64 MiB together"},
      {[&] { for (int i = 0; i < 5000; ++i) put(c + std::to_string(i), ""); }, "the drives hold more than 5000 files"},
      {[&] { put(c + deep + "x", ""); }, "/d lies deeper than 64 names below its drive"},
  };
  for (const auto& row : cases) {
    fs::remove_all(d);
    fs::copy(outside, d, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    if (row.damage) row.damage();
    const auto before = disk::Tree(d);
    const Outcome o = row.damage ? Setup("install") : Sim(row.args);
    EXPECT_EQ(o.code, row.code) << row.error << "\n" << o.err;
    EXPECT_HAS(o.err, row.error);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(disk::Tree(d), before) << row.error;
    EXPECT_EQ(disk::Tree(outside), kept) << row.error;
  }

  const Outcome help = Sim({"help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_HAS(help.out, "\ncorvane-sim kill DIR --at-call N");
}

}  // namespace
