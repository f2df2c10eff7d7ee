// Switches for unattended runs: words after the command word that start
// with "/". They are taken out of the words before anything counts them.
#pragma once

struct RunSwitches {
  bool Quiet = false;                 // "/quiet": the log dialog never shows
  bool Undoable = false;              // "/undoable": an uninstall journals what it deletes and keeps the journal
  const char16_t* LogPath = nullptr;  // "/log=PATH": points into the words
  const char16_t* Unknown = nullptr;  // the first other word starting with "/": the run is refused
};

// Takes the switches out of the words after the command word (words[1]),
// closing up the others in their order; returns how many words are left.
// Unknown switches are taken out too, the first one noted; names ignore ASCII case.
int TakeSwitches(int count, char16_t** words, RunSwitches& switches);
