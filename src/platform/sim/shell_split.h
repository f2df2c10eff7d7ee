// Splitting a command line into words the way shell32's CommandLineToArgvW
// does, for the simulated machine.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The words of `commandLine`. An empty command line gives one word, the
// program's own path, as CommandLineToArgvW does.
//
// The first word is the program name and follows its own rule: when it
// starts with a double quote it runs to the next double quote, else to the
// first space or tab; backslashes and quotes have no other meaning in it.
// A line starting with a space therefore has an empty first word. A word may
// follow the closing quote of the program name without a space between.
//
// The other words are separated by spaces and tabs, and:
//  - backslashes are literal unless a double quote follows them;
//  - 2n backslashes and a quote give n backslashes, and the quote opens or
//    closes a quoted part (where spaces and tabs do not separate words);
//  - 2n+1 backslashes and a quote give n backslashes and a literal quote;
//  - inside a quoted part, two quotes in a row give a literal quote and end
//    the quoted part (the C runtime since 2008 stays quoted instead; shell32
//    kept the old rule). Put another way, a run of quotes counts together
//    with the quote that opened the quoted part, if any: every third quote
//    gives a literal quote, and a count of 1 modulo 3 leaves the word
//    quoted. Three quotes in a row give one literal quote and leave the
//    quoting as it was.
//  - a quoted part left open runs to the end of the line.
// Trailing spaces and tabs give no empty word; an empty quoted part ("")
// is an empty word.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine,
                                             std::u16string_view programPath);

}  // namespace sim
