// Growable, length-prefixed UTF-16 string: one pointer to one block of the
// ordinary heap, or null for the empty string. The block holds the length
// (64-bit) followed by the characters, sized to a multiple of 32 characters
// derived from the length alone, so callers may write characters directly
// after SetLength.
#pragma once

#include <cstdint>

struct WideString {
  void* block = nullptr;
};

std::uint64_t Length(const WideString& s);
// The characters, always zero-terminated; an empty literal for an empty string.
const char16_t* Text(const WideString& s);
// The characters for direct writes; null for an empty string.
char16_t* Chars(WideString& s);
// Bytes of the block the rule gives for a length (0 for length 0).
std::uint64_t BlockSize(std::uint64_t length);

void SetLength(WideString& s, std::uint64_t length);
WideString FromAnsi(const char* text);
void Assign(WideString& s, const char16_t* text);
void Append(WideString& s, const char16_t* text);
void AppendAnsi(WideString& s, const char* text);
void Format(WideString& s, const char16_t* format, ...);
WideString ParentDir(const WideString& s);
WideString Copy(const WideString& s);
void Release(WideString& s);

// Length of a zero-terminated wide text.
std::uint64_t TextLength(const char16_t* text);
