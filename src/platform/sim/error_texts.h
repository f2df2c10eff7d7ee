// The system message texts of the simulated machine: what FormatMessageW
// with FORMAT_MESSAGE_FROM_SYSTEM gives on an English (United States)
// Windows 10/11, word for word and with the "\r\n" every such text ends with.
#pragma once

#include <cstdint>

namespace sim {

// The text for a Win32 error code or an HRESULT, or nullptr when the system
// has none. An HRESULT made from a Win32 code (0x8007xxxx) reads as that code.
const char16_t* SystemErrorText(std::uint32_t code);

}  // namespace sim
