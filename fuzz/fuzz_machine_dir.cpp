// A machine directory from elsewhere, given as an archive of lines: "=d PATH"
// a folder, "=l PATH TARGET" a link, "=f PATH" a file holding the lines up to
// the next "=" line. Whatever it holds, a run on it makes nothing beside it,
// and what loads saves and loads again.
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/sim/machine_store.h"

namespace fs = std::filesystem;

// Leaves out a path with "." or "..", and one that an earlier link leads through.
static void Unpack(std::string_view archive, const fs::path& root) {
  std::error_code ec;
  std::ofstream file;
  for (std::size_t at = 0, end; at < archive.size(); at = end + 1) {
    end = std::min(archive.find('\n', at), archive.size());
    const std::string line(archive.substr(at, end - at)), rest = line.substr(std::min<std::size_t>(line.size(), 3));
    if (line.size() < 3 || line[0] != '=' || line[2] != ' ') {
      file << line << '\n';
      continue;
    }
    file.close();
    const std::string path = line[1] == 'l' ? rest.substr(0, rest.find(' ')) : rest;
    bool inside = !path.empty() && !fs::path(path).has_root_path();
    fs::path place = root;
    for (const auto& part : fs::path(path))
      inside = inside && part != "." && part != ".." && !fs::is_symlink(fs::symlink_status(place /= part, ec));
    if (!inside) continue;
    fs::create_directories(place.parent_path(), ec);
    if (line[1] == 'd') fs::create_directory(place, ec);
    if (line[1] == 'f') file.open(place, std::ios::binary);
    if (line[1] == 'l' && path.size() < rest.size()) fs::create_symlink(rest.substr(path.size() + 1), place, ec);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::string pattern = (fs::temp_directory_path() / "fuzz-machine-XXXXXX").string();
  static const fs::path base = mkdtemp(pattern.data()), dir = base / "machine";
  static const struct Clean { ~Clean() { fs::remove_all(base); } } clean;
  fs::remove_all(dir);
  fs::create_directory(dir);
  Unpack(std::string_view(reinterpret_cast<const char*>(data), size), dir);
  sim::Machine machine, again;
  sim::MachineDirectory store;
  if (store.Open(dir, sim::MachineDirectory::Access::Change, 0).empty() && store.Load(machine).empty() &&
      (!store.Save(machine).empty() || !store.Load(again).empty()))
    abort();
  if (std::distance(fs::directory_iterator(base), {}) != 1) abort();  // nothing made beside the directory
  return 0;
}
