// Any bytes as the Session Manager's pending operations value: the table is
// read without leaving the value's block, and released whole.
#include <cstddef>
#include <cstdint>

#include "fuzz_machine.h"
#include "spooler/pending_file_operations.h"
#include "util/wide_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sim::Machine& m = fuzz::ReusedMachine();
  m.AddFile(u"C:\\Windows\\Temp\\a.tmp", {1});
  m.SetValue(win::HKEY_LOCAL_MACHINE, sim::SessionManagerKey, sim::PendingOperationsValue, win::REG_MULTI_SZ,
             std::vector<std::uint8_t>(data, data + size));
  PendingRenameTable table = ReadPendingRenames();
  std::uint64_t characters = 0;
  for (std::int32_t i = 0; i < 2 * table.pairCount; ++i)
    if (table.entries[i]) characters += TextLength(PendingPath(table.entries[i]));
  if (characters > size) std::abort();  // more text than the value held
  ReleasePendingRenames(table);
  fuzz::RequireNothingHeld(m);
  return 0;
}
