// Saving a simulated machine and loading it back: every piece comes back,
// what is due among them (so it still happens at its virtual time), and text
// that does not follow the formats is refused with its line, and what no
// directory could hold is not saved. A save cut short, and directories from
// elsewhere: machine_dir_test.
#include <functional>
#include <sstream>
#include <type_traits>

#include "disk_tree.h"
#include "platform/sim/machine_store.h"
#include "platform/sim/machine_text.h"
#include "platform/sim/print_store.h"
#include "platform/sim/registry_text.h"
#include "product_places.h"
#include "sim_test.h"

namespace {

namespace fs = std::filesystem;
using sim::Machine;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  return std::vector<std::uint8_t>(values.begin(), values.end());
}

const std::u16string kOddKey = u"SOFTWARE\\Corvane test";

// Values of every shape .reg text has to carry.
void AddOddValues(Machine& m) {
  auto set = [&](const char16_t* name, win::DWORD type, std::vector<std::uint8_t> data) {
    m.SetValue(win::HKEY_LOCAL_MACHINE, kOddKey, name, type, std::move(data));
  };
  set(u"multi-cut", win::REG_MULTI_SZ, Bytes({'a', 0, 0, 0, 'b', 0}));
  set(u"sz-unterminated", win::REG_SZ, Bytes({'a', 0, 'b', 0}));
  set(u"sz-odd", win::REG_SZ, Bytes({'a', 0, 'b'}));
  set(u"sz-inner-zero", win::REG_SZ, sim::StringBytes(std::u16string(u"a\0b", 3)));
  set(u"sz-empty-data", win::REG_SZ, {});
  set(u"dword-short", win::REG_DWORD, Bytes({1, 2, 3}));
  set(u"qword", 11, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
  set(u"none", win::REG_NONE, {});
  std::vector<std::uint8_t> lots(100);
  for (std::size_t i = 0; i < lots.size(); ++i) lots[i] = static_cast<std::uint8_t>(i * 7);
  set(u"binary-long", win::REG_BINARY, lots);
  m.SetString(win::HKEY_LOCAL_MACHINE, kOddKey, u"sz-lines", u"one\r\ntwo");
  m.SetString(win::HKEY_LOCAL_MACHINE, kOddKey, u"sz-clean", u"C:\\dir \"quoted\" \u00dcn\u00ef \U0001F5A8 ;=[]");
  m.SetString(win::HKEY_LOCAL_MACHINE, kOddKey, u"sz-lone", u"lone \xD800 surrogate");
  m.SetString(win::HKEY_LOCAL_MACHINE, kOddKey, u"", u"unnamed");
  m.SetString(win::HKEY_LOCAL_MACHINE, kOddKey, u"@", u"at sign");
  m.SetString(win::HKEY_LOCAL_MACHINE, kOddKey, u"\"quoted\\name\"", u"");
  m.SetString(win::HKEY_LOCAL_MACHINE, kOddKey, u"expand", u"%SystemRoot%\\x", win::REG_EXPAND_SZ);
  m.SetDword(win::HKEY_LOCAL_MACHINE, kOddKey, u"dword", 0xDEADBEEF);
  m.CreateKey(win::HKEY_LOCAL_MACHINE, kOddKey + u"\\Empty ]key[");
  m.SetValue(win::HKEY_LOCAL_MACHINE, u"", u"at the root", win::REG_BINARY, Bytes({9}));
  m.SetDword(win::HKEY_CURRENT_USER, u"Software\\Brennock\\Corvane\\Corvanes\\k1", u"deleted", 1);
}

// Everything else a machine can know, on top of an installed product.
void AddOddState(Machine& m) {
  m.Fail("DeleteFileW", win::ERROR_SHARING_VIOLATION, 2, 1, u"vexmon");
  m.Fail("malloc", 0, -1, 5000);
  m.Fail("DeletePrinter", 0, 1, 2, u"Lab").kill = true;
  m.killAtCall = 77;
  m.callCostMs["ReadFile"] = 3;
  m.nowMs = 5000;
  m.tickBase = 0xFFFFF000;
  m.HoldFile(places::kSystemMonitor, 500, win::FILE_SHARE_READ, "a virus scanner");
  m.HoldFile(places::kSetupDir + u"vexhelp.chm", UINT64_MAX);
  m.holds.back().image = true;
  m.AddHelpWindow(120);
  m.AddHelpWindow(0, false);
  sim::Window& plain = m.AddWindow(u"Notepad", u"notes \"1\"\n\x01");
  plain.items[7] = u"x\ty";
  plain.alive = false;
  plain.session = 2;
  m.dialogActions = {sim::DialogClose::EscapeKey, sim::DialogClose::Ignore};
  m.companionBehaviour = {2000, 3000, false, true, 250};
  sim::DeliverPosted(m, *m.FindWindowByHandle(m.companion.window), sim::CompanionExitMessage, 0);
  m.BeginServiceStop(*m.FindService(u"Spooler"));
  m.services.push_back({u"Other", win::SERVICE_STOPPED, 1, 2, true, false, 1058});
  m.mutexes[sim::MutexKey(3, u"x")] = {u"x", sim::NamedMutex::Owner::Program, true, 2, false, 3};
  m.companion.asSystem = true;
  m.AddHandle(std::make_shared<sim::HandleObject>(
      sim::HandleObject{sim::HandleKind::File, Machine::Key(places::kTray), nullptr, win::GENERIC_READ, 1, 17}));
  m.AddHandle(std::make_shared<sim::HandleObject>(
      sim::HandleObject{sim::HandleKind::RegistryKey, u"SOFTWARE", win::HKEY_LOCAL_MACHINE, 0xF003F, 0, 0}));
  m.osMajor = 6;
  m.osMinor = 1;
  m.osBuild = 7601;
  m.englishMessages = false;
  m.diskFreeBytes = 123456789;
  m.shiftHeld = true;
  m.dialogTemplatePresent = false;
  m.session = 0;
  m.runsAsSystem = true;
  m.modulePath = u"D:\\Media\\corvane-setup.exe";

  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  m.AddFile(u"D:\\Data\\\u00dcn\u00efcode name, with spaces.txt", all);
  m.AddFile(u"C:\\Empty.bin", {});
  m.FindFile(places::kSetupDir + u"vexhelp.chm")->attributes |= win::FILE_ATTRIBUTE_READONLY;
  m.AddDirectory(u"C:\\Empty folder");
  m.FindFile(u"C:\\Empty folder")->attributes |= 0x2;  // hidden
  m.AddFile(u"C:\\WINDOWS\\SYSTEM32\\upper.dll", Bytes({1}));  // spelled otherwise than its folder
  m.AddFile(u"c:\\lower.txt", Bytes({2}));
  sim::FileNode orphan{u"E:\\Lost\\found.txt", false, win::FILE_ATTRIBUTE_ARCHIVE, Bytes({3}), 1, {}};
  m.files[Machine::Key(orphan.path)] = orphan;  // its folders are no nodes
  m.FindFile(u"C:\\Empty.bin")->links = 2;
  m.AddFile(u"C:\\link.log", {});
  m.FindFile(u"C:\\link.log")->attributes |= win::FILE_ATTRIBUTE_REPARSE_POINT;
  m.FindFile(u"C:\\link.log")->linkTarget = u"C:\\Windows\\win.ini";
  AddOddValues(m);
}

// One line of fields, each followed by a space: UTF-16 text as UTF-8, enums
// as numbers, bytes as they are.
template <typename... Fields>
void Put(std::ostringstream& out, const Fields&... fields) {
  auto put = [&out](const auto& field) {
    using Field = std::decay_t<decltype(field)>;
    if constexpr (std::is_same_v<Field, std::u16string>) {
      out << sim::Utf8(field) << ' ';
    } else if constexpr (std::is_same_v<Field, std::vector<std::uint8_t>>) {
      out << std::string(field.begin(), field.end()) << ' ';
    } else if constexpr (std::is_enum_v<Field>) {
      out << static_cast<int>(field) << ' ';
    } else {
      out << field << ' ';
    }
  };
  (put(fields), ...);
  out << '\n';
}

void DescribeKey(std::ostringstream& out, const sim::RegistryKey& key, const std::string& path) {
  Put(out, "key", path);
  for (const auto& [upper, v] : key.values) Put(out, "value", upper, v.name, v.type, v.data);
  for (const auto& [upper, sub] : key.subkeys) DescribeKey(out, *sub, path + "\\" + sim::Utf8(sub->name));
}

// All a machine knows, told independently of the saved formats.
std::string Describe(const Machine& m) {
  std::ostringstream out;
  Put(out, m.nowMs, m.tickBase, m.hangLimitMs, m.eventSeq, m.nextHandle, m.nextWindow, m.osMajor, m.osMinor, m.osBuild,
      m.osPlatform, m.englishMessages, m.shiftHeld, m.dialogTemplatePresent, m.diskFreeBytes, m.session,
      m.runsAsSystem);
  Put(out, m.modulePath, m.currentDir, m.systemDir, m.driverRoot);
  for (auto a : m.dialogActions) Put(out, "action", a);
  for (const auto& [call, ms] : m.callCostMs) Put(out, "cost", call, ms);
  for (const auto& f : m.faults) Put(out, "fault", f.call, f.error, f.skip, f.count, f.match, f.kill);
  Put(out, "kill", m.killAtCall);
  for (const auto& s : m.services)
    Put(out, "service", s.name, s.state, s.stopDelayMs, s.startDelayMs, s.stopHangs, s.startHangs, s.startError);
  for (const auto& h : m.holds) Put(out, "hold", h.key, h.access, h.share, h.untilMs, h.holder, h.image);
  const auto& c = m.companion;
  const auto& b = m.companionBehaviour;
  Put(out, "companion", c.running, c.image, c.window, c.starts, c.exitRequests, b.windowDelayMs, b.exitDelayMs,
      b.ignoresExitRequest, b.abandonsMutex, b.imageReleaseMs, c.session, c.asSystem);
  for (const auto& [key, x] : m.mutexes)
    Put(out, "mutex", key, x.name, x.owner, x.abandoned, x.programHandles, x.companionHandle, x.session);
  for (const auto& w : m.windows) {
    Put(out, "window", w->handle, w->className, w->title, w->alive, w->dialog, w->owner, w->dialogEnded,
        w->dialogResult, w->role, w->closeDelayMs, w->closes, w->session);
    for (const auto& [id, text] : w->items) Put(out, "item", id, text);
  }
  for (const auto& [value, h] : m.handles)
    Put(out, "handle", value, h->kind, h->name, h->root, h->access, h->share, h->position);
  for (const auto& e : m.events) Put(out, "event", e.atMs, e.seq, e.kind, e.name, e.window, e.from, e.to);
  for (const auto& [key, node] : m.files) Put(out, "file", key, node.path, node.directory, node.attributes, node.data, node.links, node.linkTarget);
  DescribeKey(out, m.hklm, "HKLM");
  DescribeKey(out, m.hkcu, "HKCU");
  return out.str();
}

class MachineStoreTest : public SimTest {
 protected:
  disk::TempDir temp;

  // Saves the machine and loads it into `loaded`, both without a fault.
  void SaveAndLoad(Machine& loaded, const std::string& name = "a") {
    ASSERT_EQ(sim::SaveSnapshot(machine, temp.path() / name), "");
    ASSERT_EQ(sim::LoadSnapshot(loaded, temp.path() / name), "");
  }
};

TEST_F(MachineStoreTest, EverythingTheMachineKnowsComesBackUnchanged) {
  ASSERT_EQ(Run(u"install"), 1);
  sim::AddJob(machine, u"Corvane");
  AddOddState(machine);
  Machine loaded;
  SaveAndLoad(loaded);
  EXPECT_EQ(Describe(loaded), Describe(machine));
  ASSERT_EQ(sim::SaveSnapshot(loaded, temp.path() / "b"), "");
  EXPECT_EQ(disk::Tree(temp.path() / "a"), disk::Tree(temp.path() / "b"));

  // The files lie where a reader looks for them.
  const fs::path a = temp.path() / "a";
  const auto& monitor = machine.FindFile(places::kSetupDir + u"vexmon64.dll")->data;
  EXPECT_EQ(disk::Read(a / "drive_c/Program Files/Corvane/Setup/vexmon64.dll"), std::string(monitor.begin(), monitor.end()));
  EXPECT_TRUE(fs::is_regular_file(a / "drive_c/Windows/system32/upper.dll")) << "kept in its folder's spelling";
  EXPECT_TRUE(fs::is_regular_file(a / "drive_d/Data/\u00dcn\u00efcode name, with spaces.txt"));
  EXPECT_TRUE(fs::is_regular_file(a / "drive_e/Lost/found.txt"));
}

TEST_F(MachineStoreTest, RegistryValuesAreWrittenInTheirPlainestFaithfulForm) {
  AddOddValues(machine);
  std::string error;
  const std::string text = sim::RegistryText(machine, error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
  for (const char* line : {
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane test]\n",
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane test\\Empty ]key[]\n",
           "\n\"sz-clean\"=\"C:\\\\dir \\\"quoted\\\" \xC3\x9Cn\xC3\xAF \xF0\x9F\x96\xA8 ;=[]\"\n",
           "\n@=\"unnamed\"\n",
           "\n\"@\"=\"at sign\"\n",
           "\n\"\\\"quoted\\\\name\\\"\"=\"\"\n",
           "\n\"dword\"=dword:deadbeef\n",
           "\n\"multi-cut\"=hex(7):61,00,00,00,62,00\n",
           "\n\"sz-unterminated\"=hex(1):61,00,62,00\n",
           "\n\"sz-lone\"=hex(1):6c,00,6f,00,6e,00,65,00,20,00,00,d8,20,00,",
           "\n\"sz-lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,00,00\n",
           "\n\"dword-short\"=hex(4):01,02,03\n",
           "\n\"qword\"=hex(b):01,02,03,04,05,06,07,08\n",
           "\n\"expand\"=hex(2):25,00,",
           "\n\"binary-long\"=hex:00,07,0e,",
           "\n[HKEY_CURRENT_USER\\Software\\Brennock\\Corvane\\Corvanes\\k1]\n\"deleted\"=dword:00000001\n",
       })
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_NE(text.find(",\\\n  "), std::string::npos) << "long hex data goes on over lines";

  Machine loaded;
  ASSERT_EQ(sim::ReadRegistryText(text, loaded), "");
  EXPECT_EQ(Describe(loaded).substr(Describe(loaded).find("key HKLM")),
            Describe(machine).substr(Describe(machine).find("key HKLM")));
}

TEST_F(MachineStoreTest, RegistryTextAsRegeditWritesItIsRead) {
  const std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "; exported by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n"
      "\"Long\"=hex:01,02,\\\r\n  03,04\r\n"
      "\"Path\"=\"C:\\\\x\"\r\n"
      "[hkey_current_user\\Software]\r\n"
      "@=dword:0000002A\r\n";
  ASSERT_EQ(sim::ReadRegistryText(text, machine), "");
  EXPECT_EQ(machine.FindValue(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test", u"Long")->data, Bytes({1, 2, 3, 4}));
  EXPECT_EQ(machine.String(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test", u"Path"), u"C:\\x");
  EXPECT_EQ(machine.FindValue(win::HKEY_CURRENT_USER, u"Software", u"")->data, Bytes({42, 0, 0, 0}));
  EXPECT_EQ(machine.FindKey(win::HKEY_LOCAL_MACHINE, sim::MonitorsKey), nullptr) << "the text replaces the registry";
}

// What the next load would refuse is not saved, and a name that would lead
// out of its folder makes nothing beside the snapshot.
TEST_F(MachineStoreTest, AMachineNoDirectoryMayHoldIsNotSaved) {
  std::u16string deep = u"C:";
  for (int i = 0; i < 65; ++i) deep += u"\\d";
  auto files = [](Machine& m, int count, std::size_t bytes) {
    for (int i = 0; i < count; ++i) m.AddFile(u"C:\\" + sim::FromUtf8(std::to_string(i)), std::vector<std::uint8_t>(bytes));
  };
  const struct {
    std::function<void(Machine&)> change;
    std::string error;
  } cases[] = {
      {[](Machine& m) { m.files[u"C:\\..\\..\\X"].path = u"C:\\..\\..\\x"; }, "the path \"C:\\..\\..\\x\" is . or .."},
      {[&](Machine& m) { m.files[deep].path = deep; }, "lies deeper than 64 names below its drive"},
      {[&](Machine& m) { files(m, 1, (16 << 20) + 1); }, "the file \"C:\\0\" is larger than 16 MiB"},
      {[&](Machine& m) { files(m, 5, 13 << 20); }, "the machine's files are larger than 64 MiB together"},
      {[&](Machine& m) { files(m, 5000, 0); }, "the machine holds more than 5000 files and folders"},
      {[](Machine& m) { m.SetValue(win::HKEY_LOCAL_MACHINE, u"B", u"v", 3, std::vector<std::uint8_t>(1 << 20 | 1)); },
       "a value of the registry key \"HKEY_LOCAL_MACHINE\\B\" holds more than 1 MiB"},
      {[](Machine& m) { for (int i = 0; i < 20000; ++i) m.callCostMs[std::to_string(i)] = 1; }, "more than 20000 lines"},
  };
  for (const auto& c : cases) {
    Machine m;
    c.change(m);
    const std::string error = sim::SaveSnapshot(m, temp.path() / "s");
    EXPECT_HAS(error, c.error);
    fs::remove_all(temp.path() / "s");
    EXPECT_EQ(disk::Tree(temp.path()), (std::map<std::string, std::string>{})) << c.error;
  }
}

}  // namespace
