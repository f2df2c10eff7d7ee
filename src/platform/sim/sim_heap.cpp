// Heaps of the simulated machine: every block is tracked, so tests can see
// sizes and leaks, and any allocation can be made to fail.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sim/machine.h"

namespace {

[[noreturn]] void Corrupt(const char* what, void* block) {
  std::fprintf(stderr, "simulated machine: %s of a block it does not own (%p)\n", what, block);
  std::abort();
}

// Frees a block of one of the machine's heaps: null on success, the block
// itself when the heap does not own it.
void* FreeTracked(std::map<void*, std::size_t>& blocks, void* mem) {
  if (!mem) return nullptr;
  if (!blocks.erase(mem)) {
    sim::Current().lastError = win::ERROR_INVALID_HANDLE;
    return mem;
  }
  std::free(mem);
  return nullptr;
}

}  // namespace

namespace win {

void* malloc(SIZE_T size) {
  auto& m = sim::Current();
  if (m.Fails("malloc")) return nullptr;
  void* block = std::malloc(size ? size : 1);
  if (!block) return nullptr;
  m.crtBlocks[block] = size;
  m.crtSizesSeen.push_back(size);
  return block;
}

void* realloc(void* block, SIZE_T size) {
  auto& m = sim::Current();
  if (!block) return win::malloc(size);
  if (!m.crtBlocks.count(block)) Corrupt("realloc", block);
  if (m.Fails("realloc")) return nullptr;
  void* moved = std::realloc(block, size ? size : 1);
  if (!moved) return nullptr;
  m.crtBlocks.erase(block);
  m.crtBlocks[moved] = size;
  m.crtSizesSeen.push_back(size);
  return moved;
}

void free(void* block) {
  if (!block) return;
  auto& m = sim::Current();
  if (!m.crtBlocks.erase(block)) Corrupt("free", block);
  std::free(block);
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  auto& m = sim::Current();
  if (m.Enter("GlobalAlloc")) return nullptr;
  void* block = std::malloc(bytes ? bytes : 1);
  if (!block) {
    m.lastError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  // Uninitialised memory is made visible rather than accidentally zero.
  std::memset(block, (flags & GMEM_ZEROINIT) ? 0 : 0xCD, bytes ? bytes : 1);
  m.globalBlocks[block] = bytes;
  return block;
}

HGLOBAL GlobalFree(HGLOBAL mem) { return FreeTracked(sim::Current().globalBlocks, mem); }

HLOCAL LocalFree(HLOCAL mem) { return FreeTracked(sim::Current().localBlocks, mem); }

}  // namespace win

namespace sim {

void* LocalAllocZeroed(std::size_t bytes) {
  void* block = std::calloc(1, bytes ? bytes : 1);
  if (block) Current().localBlocks[block] = bytes;
  return block;
}

}  // namespace sim
