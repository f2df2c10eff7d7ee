// Singly linked list of file paths, newest first, without duplicates. Nodes
// and texts live on the global heap.
#pragma once

struct PathNode {
  char16_t* text;  // own global block; null only for an empty text
  PathNode* next;
};

// A global-heap copy of the text, or null for a null or empty text (and when
// the heap is exhausted).
char16_t* GlobalDupText(const char16_t* text);
// Adds a global copy of the text at the front, duplicates allowed, and gives
// the copy. The run ends with exit code 100 when memory runs out.
const char16_t* AddText(PathNode*& head, const char16_t* text);
// Adds the path at the front unless an equal one (case-sensitive) is listed.
// An empty path is refused.
void AddUnique(PathNode*& head, const char16_t* path);
// Unlinks the node (predecessor null for the first) and frees it.
void RemoveNode(PathNode*& head, PathNode* node, PathNode* predecessor);
// Frees the node and every node after it, with their texts.
void FreeAll(PathNode* node);
