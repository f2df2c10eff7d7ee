// Variable-sized spooler records, fetched by the two-call protocol: ask for
// the size, then fill a fixed, zero-filled global block of that size. Any
// failure gives no block, never a partial one.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Where a kind of record keeps its string pointers, so that what the
// spooler hands back can be checked before anything reads it.
struct RecordLayout {
  std::size_t recordSize;
  const std::size_t* stringOffsets;
  std::size_t stringCount;
};

extern const RecordLayout MonitorInfo2Layout;
extern const RecordLayout DriverInfo2Layout;
extern const RecordLayout DriverInfo6Layout;
extern const RecordLayout PrinterInfo2Layout;

// True when `count` records fit the block and every string they point to
// lies inside it, terminated.
bool RecordsWithinBlock(const win::BYTE* block, std::size_t blockSize, std::size_t count,
                        const RecordLayout& layout);

enum class FetchOutcome {
  NothingToList,  // the size query succeeded: there are no records
  QueryFailed,    // the size query failed with something else than a short buffer
  NoMemory,       // the block could not be had (last error E_OUTOFMEMORY)
  FetchFailed,    // the second call failed, or gave records that point outside the block
  Fetched,
};

struct FetchedRecords {
  win::BYTE* block;  // global block, the caller frees it; null unless Fetched
  win::DWORD count;
  FetchOutcome outcome;
  win::DWORD error;  // the failing call's last error
};

// `call(buffer, size, &needed, &returned)` is one spooler call giving records
// of `layout` (one record when `single`); the block is `extraBytes` larger
// than the spooler asks for.
template <class Call>
FetchedRecords FetchRecords(Call call, const RecordLayout& layout, bool single = false,
                            win::DWORD extraBytes = 0) {
  FetchedRecords result{nullptr, 0, FetchOutcome::NothingToList, 0};
  win::DWORD needed = 0;
  win::DWORD returned = 0;
  if (call(nullptr, 0, &needed, &returned)) return result;
  result.error = win::GetLastError();
  if (result.error != win::ERROR_INSUFFICIENT_BUFFER) {
    result.outcome = FetchOutcome::QueryFailed;
    return result;
  }
  auto* block = static_cast<win::BYTE*>(win::GlobalAlloc(win::GPTR, needed + extraBytes));
  if (!block) {
    win::SetLastError(win::E_OUTOFMEMORY_CODE);
    result.error = win::E_OUTOFMEMORY_CODE;
    result.outcome = FetchOutcome::NoMemory;
    return result;
  }
  const win::DWORD blockSize = needed + extraBytes;
  const bool fetched = call(block, needed, &needed, &returned);
  if (fetched && single) returned = 1;
  if (!fetched || !RecordsWithinBlock(block, blockSize, returned, layout)) {
    result.error = fetched ? win::ERROR_INVALID_DATA : win::GetLastError();
    win::GlobalFree(block);
    win::SetLastError(result.error);
    result.outcome = FetchOutcome::FetchFailed;
    return result;
  }
  result.block = block;
  result.count = returned;
  result.outcome = FetchOutcome::Fetched;
  return result;
}
