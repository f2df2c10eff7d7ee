#include "platform/sim/shell_split.h"

#include <cstddef>

namespace sim {

namespace {
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view line,
                                             std::u16string_view programPath) {
  if (line.empty()) return {std::u16string(programPath)};

  std::vector<std::u16string> words;
  const std::size_t n = line.size();
  std::size_t i = 0;

  // The program name: a path, so backslashes are plain characters in it.
  std::u16string program;
  if (line[0] == u'"') {
    for (i = 1; i < n && line[i] != u'"'; ++i) program += line[i];
    if (i < n) ++i;  // the closing quote
  } else {
    for (; i < n && !IsBlank(line[i]); ++i) program += line[i];
  }
  words.push_back(std::move(program));

  for (;;) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i >= n) break;

    std::u16string word;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(line[i]))) {
      if (line[i] == u'\\') {
        std::size_t slashes = 0;
        for (; i < n && line[i] == u'\\'; ++i) ++slashes;
        if (i < n && line[i] == u'"') {
          word.append(slashes / 2, u'\\');
          if (slashes % 2 == 1) {
            word += u'"';
            ++i;
          }
          // With an even count the quote is dealt with as any other quote.
        } else {
          word.append(slashes, u'\\');
        }
      } else if (line[i] == u'"') {
        if (quoted && i + 1 < n && line[i + 1] == u'"') {
          word += u'"';  // "" inside quotes: a literal quote, and quoting ends
          i += 2;
          quoted = false;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        word += line[i++];
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace sim
