// The simulated registry as .reg text, the format regedit exports
// ("Windows Registry Editor Version 5.00"), in UTF-8 with LF line ends.
//
// Every key gets its own [HKEY_...\path] line, so empty keys are kept. A
// value is written as
//   "text"          REG_SZ holding one terminated string without line breaks
//                   or other zeros (\\ and \" escaped);
//   dword:0000002a  REG_DWORD of exactly four bytes;
//   hex(2):..., hex(7):..., hex:... and hex(N):... (N the type in hex) for
//                   everything else, bytes as written, so that malformed
//                   multi-strings and unterminated strings come back byte
//                   for byte. Long hex lines continue with "\" at the end.
// "@" names the unnamed value. Lines starting with ";" are comments.
#pragma once

#include <string>
#include <string_view>

#include "platform/sim/machine.h"

namespace sim {

// The text of both roots, or an empty text and `error` set for a name that
// the format cannot carry (one with a line break).
std::string RegistryText(const Machine& machine, std::string& error);

// Replaces the machine's registry with the one the text describes. On a
// fault returns "line N: what is wrong" and leaves the registry as it was.
std::string ReadRegistryText(std::string_view text, Machine& machine);

}  // namespace sim
