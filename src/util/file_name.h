// The parts of a Windows path as the program splits them.
#pragma once

// The file-name part: everything after the last "\", "/" or ":" (a drive's
// colon ends a folder part too); the whole text when it has none.
const char16_t* FileNamePart(const char16_t* path);
