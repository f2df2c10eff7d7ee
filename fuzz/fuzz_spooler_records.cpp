// Records and printer data from a hostile spooler: names long, empty,
// pointing anywhere, unterminated. What the program accepts it reads only
// inside the block; what it reads back as a settings key name is always a
// terminated text of at most 63 characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "run/install_state.h"
#include "fuzz_machine.h"
#include "platform/sim/print_store.h"
#include "monitor/port_monitor_install.h"
#include "driver/printer_driver.h"
#include "printers/printer_queues.h"
#include "printers/printer_settings.h"
#include "spooler/spooler_records.h"

namespace {

// Lays `count` records of `layout` at the front of a global block whose
// strings come from the input, and points each string field at an offset
// the input chooses (inside the block, just past it, or null).
win::BYTE* HostileBlock(const std::uint8_t*& data, std::size_t& size, const RecordLayout& layout,
                        std::size_t count, std::size_t& blockSize) {
  const std::size_t textBytes = size > 64 ? 64 : size;
  blockSize = count * layout.recordSize + textBytes;
  auto* block = static_cast<win::BYTE*>(win::GlobalAlloc(win::GPTR, blockSize));
  std::memcpy(block + count * layout.recordSize, data, textBytes);
  data += textBytes;
  size -= textBytes;
  for (std::size_t i = 0; i < count; ++i)
    for (std::size_t s = 0; s < layout.stringCount; ++s) {
      std::uintptr_t text = 0;
      if (size) {
        const std::size_t offset = *data++ % (blockSize + 4);
        --size;
        text = offset == blockSize + 3 ? 0 : reinterpret_cast<std::uintptr_t>(block) + offset;
      }
      std::memcpy(block + i * layout.recordSize + layout.stringOffsets[s], &text, sizeof text);
    }
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  sim::Machine& m = fuzz::ReusedMachine();
  const std::size_t count = 1 + data[0] % 3;
  const std::uint8_t kind = data[1] % 4;
  data += 2;
  size -= 2;
  InstallState state{};
  state.Environment = u"Windows x64";
  std::size_t blockSize = 0;
  const RecordLayout& layout = kind == 0   ? MonitorInfo2Layout
                               : kind == 1 ? DriverInfo6Layout
                                           : PrinterInfo2Layout;
  win::BYTE* block = HostileBlock(data, size, layout, count, blockSize);
  if (RecordsWithinBlock(block, blockSize, count, layout)) {
    if (kind == 0) {
      const MonitorList monitors{block, 2, static_cast<win::DWORD>(count)};
      FindPortMonitor(monitors);
      LogPortMonitors(state, monitors);
    } else if (kind == 1) {
      RemovePrinterDriver(state, DriverList{block, 6, static_cast<win::DWORD>(count)});
    } else {
      state.Printers = PrinterList{reinterpret_cast<win::PRINTER_INFO_2W*>(block), static_cast<win::DWORD>(count)};
      block = nullptr;  // the state owns it now
      DeleteAllPrinterQueues(state);
    }
  }
  win::GlobalFree(block);

  // A settings key name of any type, length and content.
  sim::WritePrinter(m, {u"Hostile", u"Corvane printer", u"LPT1:", u"", u"", 0});
  const win::DWORD type = size ? *data % 8 : win::REG_SZ;
  m.SetValue(win::HKEY_LOCAL_MACHINE, sim::PrinterDataKey(u"Hostile", u""), u"SubKey", type,
             std::vector<std::uint8_t>(data, data + size));
  win::HANDLE printer = nullptr;
  if (win::OpenPrinterW(const_cast<char16_t*>(u"Hostile"), &printer, nullptr)) {
    char name[SettingsKeyCapacity + 8];
    std::memset(name, 0x55, sizeof name);
    ReadSettingsKeyName(printer, name);
    if (!std::memchr(name, 0, SettingsKeyCapacity)) std::abort();
    for (std::size_t i = SettingsKeyCapacity; i < sizeof name; ++i)
      if (name[i] != 0x55) std::abort();
    win::ClosePrinter(printer);
  }
  sim::RemovePrinter(m, u"Hostile");
  ReleaseInstallState(state);
  fuzz::RequireNothingHeld(m);
  return 0;
}
