// The log of an unattended run as a file: UTF-8 with a byte-order mark and
// CR LF line ends, headed by the dialog's title.
#pragma once

#include "platform/platform.h"
#include "util/wide_string.h"

// Creates the file or empties it; INVALID_HANDLE_VALUE when it cannot.
win::HANDLE CreateLogFile(const char16_t* path);
// Writes the title as the first line, then the log. A failed write ends the
// writing; the run's outcome does not depend on it.
void WriteLogFile(win::HANDLE file, const char16_t* title, const WideString& log);
