#include "sim_test.h"
#include "util/path_list.h"

namespace {

using PathListTest = SimTest;

TEST_F(PathListTest, NewestFirstWithoutDuplicatesAndRelinkedOnRemoval) {
  PathNode* head = nullptr;
  for (const char16_t* path : {u"A", u"B", u"C", u"B", u"A", u"a", u""}) AddUnique(head, path);
  EXPECT_EQ(Paths(head), (Texts{u"a", u"C", u"B", u"A"}));
  EXPECT_EQ(machine.globalBlocks.size(), 8u);
  FreeAll(head);
  EXPECT_TRUE(machine.globalBlocks.empty());

  head = nullptr;
  for (const char16_t* path : {u"3", u"2", u"1"}) AddUnique(head, path);
  RemoveNode(head, head->next, head);  // middle
  EXPECT_EQ(Paths(head), (Texts{u"1", u"3"}));
  RemoveNode(head, head, nullptr);  // first
  EXPECT_EQ(Paths(head), (Texts{u"3"}));
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

}  // namespace
