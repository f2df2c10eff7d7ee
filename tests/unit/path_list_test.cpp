#include "sim_test.h"
#include "util/path_list.h"

namespace {

class PathListTest : public SimTest {
 protected:
  PathNode* head = nullptr;
  std::vector<std::u16string> Listed() const {
    std::vector<std::u16string> paths;
    for (PathNode* n = head; n; n = n->next) paths.push_back(n->text);
    return paths;
  }
};

using Paths = std::vector<std::u16string>;

TEST_F(PathListTest, NewestFirstWithoutDuplicates) {
  AddUnique(head, u"A");
  AddUnique(head, u"B");
  AddUnique(head, u"C");
  AddUnique(head, u"B");
  AddUnique(head, u"a");
  AddUnique(head, u"");
  EXPECT_EQ(Listed(), (Paths{u"a", u"C", u"B", u"A"}));
  EXPECT_EQ(machine.globalBlocks.size(), 8u);
  FreeAll(head);
  EXPECT_TRUE(machine.globalBlocks.empty());
}

TEST_F(PathListTest, RemovingRelinksTheList) {
  AddUnique(head, u"3");
  AddUnique(head, u"2");
  AddUnique(head, u"1");
  RemoveNode(head, head->next, head);  // middle
  EXPECT_EQ(Listed(), (Paths{u"1", u"3"}));
  RemoveNode(head, head, nullptr);  // first
  EXPECT_EQ(Listed(), (Paths{u"3"}));
  RemoveNode(head, head, nullptr);  // only
  EXPECT_EQ(head, nullptr);
  EXPECT_TRUE(machine.globalBlocks.empty());
}

TEST_F(PathListTest, DupOfEmptyTextAllocatesNothing) {
  EXPECT_EQ(GlobalDupText(u""), nullptr);
  EXPECT_EQ(GlobalDupText(nullptr), nullptr);
  EXPECT_EQ(machine.Count("GlobalAlloc"), 0);
  char16_t* copy = GlobalDupText(u"C:\\x.dll");
  EXPECT_EQ(machine.globalBlocks.at(copy), 18u);
  EXPECT_EQ(std::u16string(copy), u"C:\\x.dll");
  win::GlobalFree(copy);
}

TEST_F(PathListTest, AFileThatCannotBeListedEndsTheRunWithErrors) {
  EXPECT_EXIT(
      {
        machine.Fail("GlobalAlloc", win::ERROR_NOT_ENOUGH_MEMORY, 1, 1);
        AddUnique(head, u"C:\\Windows\\system32\\vexmon64.dll");
      },
      ::testing::ExitedWithCode(100), "");
}

}  // namespace
