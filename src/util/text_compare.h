// Whole-text comparisons of zero-terminated UTF-16 texts. A null text
// equals nothing.
#pragma once

// Code unit by code unit, letter case included.
bool SameText(const char16_t* a, const char16_t* b);
// Folding only the ASCII letters A to Z, as command words and file names
// are compared here.
bool SameTextIgnoringAsciiCase(const char16_t* a, const char16_t* b);
