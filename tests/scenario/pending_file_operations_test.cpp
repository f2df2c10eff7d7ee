// The Session Manager's pending operations read back, the retry of files a
// run could not delete, and their scheduling for the next restart.
#include <cstring>

#include "run/log.h"
#include "product_places.h"
#include "sim_test.h"
#include "spooler/pending_file_operations.h"

namespace {

const std::u16string kDir = u"C:\\Windows\\system32\\";

class PendingOperationsTest : public StateTest {
 protected:
  static std::vector<std::uint8_t> Bytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes(text.size() * 2);
    std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
  }
  static std::u16string Entry(const PendingRenameTable& t, int i) {
    return t.entries[i] ? std::u16string(t.entries[i]) : u"<null>";
  }
  void List(std::initializer_list<const char16_t*> files) {
    for (const char16_t* f : files) AddUnique(state.Undeletable, (kDir + f).c_str());
  }
};

TEST_F(PendingOperationsTest, DeletionAndRenamePairsWithTheirFlags) {
  machine.AddFile(kDir + u"old.dll", {1});
  machine.AddFile(kDir + u"moved.dll", {1});
  places::SetPending(machine, {u"\\??\\" + kDir + u"old.dll", u"", u"\\??\\" + kDir + u"moved.dll",
                               u"!\\??\\" + kDir + u"new.dll", u"\\??\\C:\\Windows", u"", u"\\??\\C:\\gone.dll", u""});
  PendingRenameTable table = ReadPendingRenames();
  ASSERT_EQ(table.pairCount, 4);
  EXPECT_EQ(Entry(table, 0), u"\\??\\" + kDir + u"old.dll");
  EXPECT_EQ(Entry(table, 1), u"<null>");
  EXPECT_EQ(Entry(table, 3), u"!\\??\\" + kDir + u"new.dll");
  EXPECT_EQ(std::vector<int>(table.flags, table.flags + 8), (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0}))
      << "directories and missing files are not flagged";
  EXPECT_EQ(std::u16string(PendingPath(table.entries[0])), kDir + u"old.dll");
  ReleasePendingRenames(table);
  EXPECT_EQ(table.pairCount, 0);
  EXPECT_EQ(table.entries, nullptr);
}

TEST_F(PendingOperationsTest, MissingOrMalformedValuesNeverReadPastTheirBlock) {
  EXPECT_EQ(ReadPendingRenames().pairCount, 0) << "no value";
  machine.hklm.Remove(sim::SessionManagerKey);
  EXPECT_EQ(ReadPendingRenames().pairCount, 0) << "no key";
  auto oddBytes = sim::MultiStringBytes({u"x", u"y"});
  oddBytes.push_back(0x7F);
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int pairs;
  } cases[] = {
      {"one byte", {0x41}, 0},
      {"two bytes", {0x41, 0}, 0},
      {"odd string count", sim::MultiStringBytes({u"a", u"", u"orphan"}), 1},
      {"no final zero", Bytes(std::u16string(u"C:\\a\0C:\\b\0", 10)), 1},
      {"last string cut", Bytes(std::u16string(u"C:\\a\0C:\\bcdef", 13)), 1},
      {"odd byte count", oddBytes, 1},
      {"empty strings", sim::MultiStringBytes({u"", u"", u"", u""}), 2},
  };
  for (const auto& c : cases) {
    places::SetPendingBytes(machine, c.bytes);
    PendingRenameTable table = ReadPendingRenames();
    EXPECT_EQ(table.pairCount, c.pairs) << c.what;
    // The last zero is never walked: the cut string loses its final character.
    if (std::string(c.what) == "last string cut") {
      EXPECT_EQ(Entry(table, 1), u"C:\\bcde");
    }
    ReleasePendingRenames(table);
  }
}

TEST_F(PendingOperationsTest, ShortMemoryGivesNoTableRatherThanAWrongOne) {
  machine.AddFile(kDir + u"a.dll", {1});
  places::SetPending(machine, {u"\\??\\" + kDir + u"a.dll", u"\\??\\" + kDir + u"b.dll"});
  // The value, both arrays and the source copy succeed; the target copy fails.
  machine.Fail("GlobalAlloc", win::ERROR_NOT_ENOUGH_MEMORY, 1, 4);
  PendingRenameTable table = ReadPendingRenames();
  EXPECT_EQ(table.pairCount, 0) << "a lost target would read as a deletion";
  EXPECT_EQ(table.entries, nullptr);
}

// Short memory while taking the product's files off the list is counted, and
// the list stays as it was.
TEST_F(PendingOperationsTest, ShortMemoryWhileCancellingDeletionsIsAnErrorAndChangesNothing) {
  const std::u16string ours = kDir + u"vexmon64.dll";
  places::SetPending(machine, {u"\\??\\C:\\Temp\\theirs.tmp", u"", u"\\??\\" + ours, u""});
  const auto before = places::Pending(machine)->data;
  PathNode* keep = nullptr;
  AddUnique(keep, ours.c_str());
  for (const int skip : {0, 1}) {  // the value's copy, then the block for what is kept
    SCOPED_TRACE(skip);
    const int errors = state.ErrorCount;
    machine.Fail("GlobalAlloc", win::ERROR_NOT_ENOUGH_MEMORY, 1, skip);
    CancelPendingDeletions(state, keep);
    EXPECT_EQ(state.ErrorCount, errors + 1);
    EXPECT_EQ(places::PendingData(machine), before);
  }
  FreeAll(keep);
}

TEST_F(PendingOperationsTest, RetryKeepsWhatStillFailsInOrder) {
  for (const char16_t* f : {u"a.dll", u"b.dll", u"c.dll", u"d.dll"}) machine.AddFile(kDir + f, {1});
  machine.HoldFile(kDir + u"a.dll", UINT64_MAX);
  machine.HoldFile(kDir + u"c.dll", UINT64_MAX);
  // A module loaded as an image refuses deletion with another code; it is kept all the same.
  machine.HoldFile(kDir + u"d.dll", UINT64_MAX, win::FILE_SHARE_READ);
  machine.holds.back().image = true;
  List({u"d.dll", u"a.dll", u"gone.dll", u"b.dll", u"c.dll"});
  DeleteFileTry(state);
  EXPECT_EQ(Paths(state.Undeletable), (Texts{kDir + u"c.dll", kDir + u"a.dll", kDir + u"d.dll"}));
  EXPECT_EQ(machine.FindFile(kDir + u"b.dll"), nullptr);
  EXPECT_EQ(LogOf(state), u"DeleteFile-try\r\n");
  EXPECT_EQ(state.ErrorCount, 0);
}

}  // namespace
