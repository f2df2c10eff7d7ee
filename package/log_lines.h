// The lines of corvane-setup.exe's log file, once turned into UTF-16: the
// byte-order mark dropped, CR LF (or a bare LF) ending each line.
#pragma once

#include <cstddef>

// Calls line(text, length) for each line, in order; a last line without
// its end counts too.
template <class Char, class Line>
void ForEachLogLine(const Char* text, std::size_t length, Line line) {
  std::size_t start = length > 0 && text[0] == 0xFEFF ? 1 : 0;
  while (start < length) {
    std::size_t end = start;
    while (end < length && text[end] != '\n') ++end;
    const std::size_t next = end + 1;
    if (end > start && text[end - 1] == '\r') --end;
    line(text + start, end - start);
    start = next;
  }
}
