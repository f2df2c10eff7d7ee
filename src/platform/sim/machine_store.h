// A simulated machine kept on disk between runs, in plain files:
//
//   DIR/.lock         locked with flock: exclusively by a run that changes the
//                     machine, shared by one that only reads it
//   DIR/current       symbolic link to the snapshot in force, "state.N", or
//                     (a directory written where links cannot be made) a
//                     plain file holding that name; a save makes it a link
//   DIR/state.N/      a snapshot:
//       registry.reg  HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER (registry_text.h)
//       machine.txt   everything else the simulator knows (machine_text.h)
//       drive_c/...   the files of drive C: under their Windows names, case
//                     kept; drive_d/ for D: and so on
//
// A save writes state.N+1 whole, then renames a fresh link over `current`;
// a run that dies at any moment leaves the state in force whole, and the
// next save clears what it left behind.
//
// A directory may come from elsewhere: nothing below DIR is opened through a
// link, a name Windows could not have is refused, and both a load and a save
// keep to caps on sizes and counts (machine_store.cpp, the README).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/sim/machine.h"

namespace sim {

// Writes a snapshot into `folder`, which must not exist; the error, or empty.
std::string SaveSnapshot(const Machine& machine, const std::filesystem::path& folder);
// Fills a fresh machine from a snapshot; the error, or empty. A machine a
// load failed on is to be thrown away.
std::string LoadSnapshot(Machine& machine, const std::filesystem::path& folder);

class MachineDirectory {
 public:
  enum class Access { Read, Change };

  MachineDirectory() = default;
  ~MachineDirectory();
  MachineDirectory(const MachineDirectory&) = delete;
  MachineDirectory& operator=(const MachineDirectory&) = delete;

  // Locks an existing machine directory, waiting up to `waitMs` while
  // another run holds it; the error, or empty.
  std::string Open(const std::filesystem::path& dir, Access access, std::uint64_t waitMs);
  std::string Load(Machine& machine) const;
  // Switches to a new snapshot of the machine. `beforeSwitch` runs once the
  // snapshot is complete and not yet in force.
  std::string Save(const Machine& machine, const std::function<void()>& beforeSwitch = {});
  // Makes `dir`, new or empty, a machine directory holding `machine`.
  std::string Create(const std::filesystem::path& dir, const Machine& machine, std::uint64_t waitMs);
  // The snapshot in force.
  std::filesystem::path CurrentSnapshot() const;

 private:
  std::string Lock(Access access, std::uint64_t waitMs);
  std::filesystem::path dir_;
  int lockFd_ = -1;
};

}  // namespace sim
