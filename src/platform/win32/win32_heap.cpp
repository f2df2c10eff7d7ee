// Heaps: the C runtime heap and the Global/Local blocks some Win32 calls
// hand out.
#include "platform/platform.h"

namespace {
// Captured before <windows.h> turns these names into macros.
constexpr win::UINT kGmemFixed = win::GMEM_FIXED;
constexpr win::UINT kGmemZeroInit = win::GMEM_ZEROINIT;
constexpr win::UINT kGptr = win::GPTR;
}  // namespace

#include <windows.h>

#include <cstdlib>
#include <type_traits>

static_assert(kGmemFixed == GMEM_FIXED);
static_assert(kGmemZeroInit == GMEM_ZEROINIT);
static_assert(kGptr == GPTR);
static_assert(std::is_same_v<win::SIZE_T, ::SIZE_T>);
static_assert(std::is_same_v<win::UINT, ::UINT>);

namespace win {

void* malloc(SIZE_T size) { return std::malloc(size); }

void* realloc(void* block, SIZE_T size) { return std::realloc(block, size); }

void free(void* block) { std::free(block); }

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) { return ::GlobalAlloc(flags, bytes); }

HGLOBAL GlobalFree(HGLOBAL mem) { return ::GlobalFree(mem); }

HLOCAL LocalFree(HLOCAL mem) { return ::LocalFree(mem); }

}  // namespace win
