// Shared by the simulated spooler's calls: the record layout of its
// answers and the checks every call starts with.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/sim/machine.h"
#include "platform/sim/print_store.h"

namespace sim {

// Lays out records at the front of a caller's buffer and their strings
// behind them, as the spooler does. Measures first; writes only when the
// whole result fits.
class RecordPacker {
 public:
  RecordPacker(win::BYTE* buffer, DWORD size, std::size_t recordBytes, std::size_t count)
      : buffer_(buffer), size_(size), stringsAt_(recordBytes * count) {}
  void Measure(std::u16string_view text) { stringBytes_ += (text.size() + 1) * 2; }
  DWORD Needed() const { return static_cast<DWORD>(stringsAt_ + stringBytes_); }
  bool Fits() const { return Needed() == 0 || (buffer_ && size_ >= Needed()); }
  char16_t* Put(std::u16string_view text) {
    auto* out = reinterpret_cast<char16_t*>(buffer_ + stringsAt_);
    std::memcpy(out, text.data(), text.size() * 2);
    out[text.size()] = 0;
    stringsAt_ += (text.size() + 1) * 2;
    return out;
  }
  win::BYTE* Record(std::size_t index, std::size_t recordBytes) { return buffer_ + index * recordBytes; }

 private:
  win::BYTE* buffer_;
  DWORD size_;
  std::size_t stringsAt_;
  std::size_t stringBytes_ = 0;
};

// The common start of every spooler call: journal, fault, running service.
// The arguments are noted as passed, before anything is checked.
inline bool EnterSpooler(Machine& m, const char* call, std::u16string_view detail, CallArguments args = {}) {
  const bool fails = m.Enter(call, detail);
  m.Note(std::move(args));
  if (fails) return false;
  if (!m.SpoolerRunning()) {
    m.lastError = win::RPC_S_SERVER_UNAVAILABLE;
    return false;
  }
  return true;
}

inline win::BOOL Refuse(Machine& m, DWORD error) {
  m.lastError = error;
  return win::FALSE;
}

inline std::u16string Text(const char16_t* text) { return text ? text : u""; }

// The environment a call names, the local one when none.
inline std::u16string EnvironmentOf(const char16_t* environment) {
  return environment && *environment ? environment : u"Windows x64";
}

inline std::u16string BaseName(std::u16string_view path) {
  const auto slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

inline PrinterRecord* PrinterOf(Machine& m, win::HANDLE printer, PrinterRecord& record) {
  const HandleObject* object = m.FindHandle(reinterpret_cast<std::uintptr_t>(printer));
  if (!object || object->kind != HandleKind::Printer) return nullptr;
  return FindPrinter(m, object->name, record) ? &record : nullptr;
}

inline bool ReturnPacked(Machine& m, RecordPacker& packer, DWORD* needed) {
  if (needed) *needed = packer.Needed();
  if (!packer.Fits()) {
    m.lastError = win::ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  return true;
}

}  // namespace sim
