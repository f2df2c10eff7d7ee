// Whole-text comparisons of zero-terminated UTF-16 texts. A null text
// equals nothing.
#pragma once

// Code unit by code unit, letter case included.
bool SameText(const char16_t* a, const char16_t* b);
// Folding only the ASCII letters A to Z, as command words and file names
// are compared here.
bool SameTextIgnoringAsciiCase(const char16_t* a, const char16_t* b);
// The rest of `text` after `prefix` (ASCII letter case folded), or null
// when the text does not start with it.
const char16_t* AfterPrefixIgnoringAsciiCase(const char16_t* text, const char16_t* prefix);
