// The ANSI code page of the simulated machine: Windows-1252, as on an English
// Windows. Backs MultiByteToWideChar for CP_ACP and code page 1252.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The UTF-16 unit for one Windows-1252 byte. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the same code
// points, as Windows does.
char16_t AnsiToWideChar(unsigned char byte);

// Converts with the rules of MultiByteToWideChar:
//  - count is the number of bytes, or -1 for up to and including the
//    terminating 0, which is then converted and counted too;
//  - outCount 0 asks for the number of characters needed (out is unused);
//  - otherwise returns the number of characters written.
// On failure returns 0 and, when `error` is given, stores the code the
// caller should pass to SetLastError: ERROR_INSUFFICIENT_BUFFER when `out`
// is too small (the part that fits has been written), ERROR_INVALID_PARAMETER
// for a null text, a count of 0 or below -1, a negative outCount, a null
// `out` with a nonzero outCount, or `out` at the same address as `text`.
// `error` is left alone on success.
int AnsiToWide(const char* text, int count, char16_t* out, int outCount,
               std::uint32_t* error = nullptr);

}  // namespace sim

namespace sim {

// UTF-16 text in the ANSI code page; characters it lacks become '?', as a
// best-fit conversion without a mapping would give.
std::string WideToAnsi(std::u16string_view text);
std::u16string AnsiToWideString(std::string_view text);
// Text data of an 8-bit call as the system stores it (UTF-16), and back.
std::vector<std::uint8_t> StoredFromAnsi(const std::vector<std::uint8_t>& ansi);
std::vector<std::uint8_t> AnsiFromStored(const std::vector<std::uint8_t>& stored);

}  // namespace sim
