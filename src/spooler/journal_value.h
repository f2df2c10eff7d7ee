// A value of the product's machine key that keeps, for the next run, what a
// run must put back: UTF-16 texts back to back, each ending with its zero,
// as REG_BINARY. It is read and written whole, and every write is flushed,
// so a run that ends while writing leaves the old value or the new one.
#pragma once

#include <cstddef>

#include "platform/platform.h"
#include "spooler/product_key.h"
#include "util/wide_string.h"


struct JournalTexts {
  char16_t* texts;  // global block; null when there is nothing to trust
  std::size_t units;
  // ERROR_SUCCESS when the value was read, is absent or is not texts of
  // this kind (wrong type, odd size, empty); else why it could not be read.
  win::DWORD failure;
};

JournalTexts ReadJournalValue(const char16_t* name);
void ReleaseJournalTexts(JournalTexts& journal);
// Replaces the value with `texts`, or removes it when they are empty.
// False, with the cause as the thread's last error, when that failed.
bool WriteJournalValue(const char16_t* name, const WideString& texts);
// Appends the text (an absent one as empty) with its zero.
void AppendJournalText(WideString& out, const char16_t* text);
// The text at `cursor`, which then points past its zero.
const char16_t* NextJournalText(const char16_t*& cursor);
