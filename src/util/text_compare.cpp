#include "util/text_compare.h"

namespace {

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

template <class Fold>
bool Same(const char16_t* a, const char16_t* b, Fold fold) {
  if (!a || !b) return false;
  for (; *a && *b; ++a, ++b)
    if (fold(*a) != fold(*b)) return false;
  return *a == *b;
}

}  // namespace

bool SameText(const char16_t* a, const char16_t* b) {
  return Same(a, b, [](char16_t c) { return c; });
}

bool SameTextIgnoringAsciiCase(const char16_t* a, const char16_t* b) { return Same(a, b, FoldAscii); }

const char16_t* AfterPrefixIgnoringAsciiCase(const char16_t* text, const char16_t* prefix) {
  if (!text || !prefix) return nullptr;
  for (; *prefix; ++text, ++prefix)
    if (FoldAscii(*text) != FoldAscii(*prefix)) return nullptr;
  return text;
}
