// The control file of a saved machine (machine.txt): what the simulator
// knows besides the registry and the files' contents, one fact a line.
//
// A line is a word and then name=value fields; a value is a bare word or a
// text in double quotes with the escapes \\ \" \n \r \t and \uXXXX (UTF-16
// units that are controls or unpaired surrogates); numbers are decimal or
// 0x hex; flags are yes or no; "#" starts a comment line. Fields left out
// keep the simulator's defaults. The words, in the order written:
//
//   machine format=1
//   clock now-ms tick-base hang-limit-ms next-event-seq next-handle next-window
//   system os-major os-minor os-build os-platform english-messages disk-free(max|bytes)
//   paths module current-dir system-dir driver-root
//   desktop shift dialog-template
//   session id as-system            where the program's next runs start, and whether as SYSTEM
//   dialog-action close(close-button|enter-key|escape-key|close-box|ignore)  one per line, in order
//   call-cost call ms
//   fault call error skip count(-1: every call) match kill(the program is killed at the call)
//   kill at-call                   the next run is killed as it makes its Nth journaled call
//   service name state(stopped|start-pending|stop-pending|running|...) stop-delay-ms
//           start-delay-ms stop-hangs start-hangs start-error
//   hold key(the file's upper-case path) access share until-ms(never|ms) holder image by-spooler
//   companion running image window starts exit-requests session as-system
//   companion-behaviour window-delay-ms exit-delay-ms ignores-exit-request abandons-mutex image-release-ms
//   mutex name owner(none|program|companion) abandoned program-handles companion-handle session
//   window handle class title alive dialog owner ended result role(plain|help|companion)
//          close-delay-ms closes session
//   window-item handle id text
//   handle value kind(file|sc-manager|service|registry-key|printer|mutex|process|thread|token)
//          name root access share position
//   event at-ms seq kind(service-state|hold-release|companion-window|companion-exit|window-close)
//         name window from to
//   file path attributes links target  a file or folder spelled otherwise than on disk, with
//                                  attributes other than archive (files) or directory (folders),
//                                  more names than one (hard links) or, for a symbolic link,
//                                  the path it leads to (attributes then hold 0x400)
//   carrier-folder path            a folder on disk that only carries the files below it
//
// Not kept: what belongs to one run of the program (its call journal, heap
// blocks and the sizes asked of them, last error, command line, the dialogs
// it showed and the processes it started) and how the host that runs it
// draws dialogs and ends the process.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine.h"

namespace sim {

// A fact about one file node that its place on disk does not tell.
struct FileFact {
  std::u16string path;
  std::optional<DWORD> attributes;
  bool carrier = false;  // a folder on disk that is no node of the machine
  DWORD links = 1;
  std::u16string linkTarget;
};

std::string MachineText(const Machine& machine, const std::vector<FileFact>& facts);

// Fills a fresh machine from the text; on a fault returns "line N (word):
// what is wrong".
std::string ReadMachineText(std::string_view text, Machine& machine, std::vector<FileFact>& facts);

}  // namespace sim
