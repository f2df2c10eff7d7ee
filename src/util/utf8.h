// UTF-16 to UTF-8, one character at a time, so a writer can stream a long
// text through a small buffer. An unpaired surrogate becomes U+FFFD, as the
// system's own conversion makes it.
#pragma once

#include <cstddef>

// Longest encoding of one character.
constexpr std::size_t Utf8MaxBytes = 4;

// Encodes the character at text[pos] (pos < length) into `out`, which has
// room for Utf8MaxBytes; moves pos past it and returns the bytes written.
std::size_t EncodeUtf8(const char16_t* text, std::size_t length, std::size_t& pos, char* out);
