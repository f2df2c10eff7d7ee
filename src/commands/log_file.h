// The log of an unattended run as a file: UTF-8 with a byte-order mark and
// CR LF line ends, headed by the dialog's title.
#pragma once

#include "platform/platform.h"
#include "util/wide_string.h"

// Creates the file or empties it; INVALID_HANDLE_VALUE when it cannot, or
// when the path is a link or a file with another name: those are refused
// with nothing written.
win::HANDLE CreateLogFile(const char16_t* path);
// The whole file of a refused run: one line, `reason` and then the word
// refused.
void WriteRefusal(win::HANDLE file, const char16_t* reason, const char16_t* word);
// Writes the text as UTF-8 without a byte-order mark, as a console or a
// script reading the output takes it.
void WriteText(win::HANDLE file, const WideString& text);
// Writes the title as the first line, then the log. A failed write ends the
// writing; the run's outcome does not depend on it.
void WriteLogFile(win::HANDLE file, const char16_t* title, const WideString& log);
