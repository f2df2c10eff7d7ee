#include "commands/run_switches.h"

#include "util/text_compare.h"

int TakeSwitches(int count, char16_t** words, RunSwitches& switches) {
  int kept = count < 2 ? count : 2;
  for (int i = 2; i < count; ++i) {
    char16_t* word = words[i];
    if (word[0] != u'/') {
      words[kept++] = word;
      continue;
    }
    if (SameTextIgnoringAsciiCase(word, u"/quiet"))
      switches.Quiet = true;
    else if (SameTextIgnoringAsciiCase(word, u"/undoable"))
      switches.Undoable = true;
    else if (const char16_t* path = AfterPrefixIgnoringAsciiCase(word, u"/log="))
      switches.LogPath = path;
    else if (!switches.Unknown)
      switches.Unknown = word;
  }
  return kept;
}
