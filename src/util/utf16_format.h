// printf-style formatting into UTF-16 text, with the conventions of the
// Windows wide printf family (swprintf), so that log lines read the same on
// both builds; wchar_t cannot serve here because it is 32-bit on Linux.
//
// Output is cut short silently: at most capacity-1 characters are written,
// always followed by a terminating 0 (capacity 0 writes nothing). Nothing is
// allocated.
//
// Conversions:
//   %s %ls %ws  wide text, const char16_t*     %S %hs %hS  8-bit text, const char*
//   %c %lc %wc  wide character (int)           %C %hc      8-bit character (int)
//   %d %i       signed        %u %o %x %X  unsigned        %p  pointer
//   %%          a percent sign
// A null text pointer prints "(null)". 8-bit text is widened byte by byte
// (bytes 0x80-0xFF become U+0080-U+00FF), as the C locale does.
// %p prints the pointer as 16 upper-case hex digits, as Windows does on x64
// (with # a nonzero pointer also gets 0X).
//
// Integer sizes: none = int; hh = char; h = short; l = 32 bits, as on
// Windows where long is 32-bit (so a DWORD, which is unsigned int here, can
// go with %lu); ll, I64 and j = 64 bits; I32 = 32 bits; I, z and t =
// pointer-sized. A value wider than 32 bits needs ll, I64 or z.
//
// Flags - + space # 0, field width and precision (digits or *) work as in C.
// As on Windows, the 0 flag also pads text conversions with zeros.
// Floating-point conversions are not formatted: their argument is consumed
// (double, or long double with L) and the conversion is copied as written.
// Any other unknown conversion is copied as written and consumes nothing.
#pragma once

#include <cstdarg>
#include <cstddef>

// Returns the number of characters written, without the terminator.
std::size_t FormatUtf16V(char16_t* buffer, std::size_t capacity, const char16_t* format,
                         va_list args);
std::size_t FormatUtf16(char16_t* buffer, std::size_t capacity, const char16_t* format, ...);
