#include "util/path_list.h"

#include <cstring>

#include "platform/platform.h"
#include "util/out_of_memory.h"
#include "util/wide_string.h"
#include "util/text_compare.h"

namespace {

}  // namespace

char16_t* GlobalDupText(const char16_t* text) {
  const auto n = TextLength(text);
  if (n == 0) return nullptr;
  auto* copy = static_cast<char16_t*>(win::GlobalAlloc(win::GPTR, (n + 1) * sizeof(char16_t)));
  if (copy) std::memcpy(copy, text, (n + 1) * sizeof(char16_t));
  return copy;
}

const char16_t* AddText(PathNode*& head, const char16_t* text) {
  auto* node = static_cast<PathNode*>(win::GlobalAlloc(win::GPTR, sizeof(PathNode)));
  char16_t* copy = node ? GlobalDupText(text) : nullptr;
  // A path dropped here would be neither retried nor scheduled for deletion.
  if (!copy) OutOfMemory();
  node->text = copy;
  node->next = head;
  head = node;
  return copy;
}

void AddUnique(PathNode*& head, const char16_t* path) {
  if (TextLength(path) == 0) return;
  for (PathNode* node = head; node; node = node->next)
    if (SameText(node->text, path)) return;
  AddText(head, path);
}

void RemoveNode(PathNode*& head, PathNode* node, PathNode* predecessor) {
  if (predecessor)
    predecessor->next = node->next;
  else
    head = node->next;
  node->next = nullptr;
  win::GlobalFree(node->text);
  win::GlobalFree(node);
}

void FreeAll(PathNode* node) {
  if (!node) return;
  win::GlobalFree(node->text);
  FreeAll(node->next);
  win::GlobalFree(node);
}
