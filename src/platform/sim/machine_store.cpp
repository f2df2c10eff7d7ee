#include "platform/sim/machine_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "platform/sim/machine_text.h"
#include "platform/sim/registry_text.h"

namespace fs = std::filesystem;

namespace sim {

namespace {

constexpr char RegistryFile[] = "registry.reg";
constexpr char ControlFile[] = "machine.txt";
constexpr char DrivePrefix[] = "drive_";
constexpr char CurrentLink[] = "current";
constexpr char NextLink[] = "current.next";
constexpr char LockFile[] = ".lock";
constexpr char SnapshotPrefix[] = "state.";
constexpr char PartialSuffix[] = ".partial";
constexpr auto LockPoll = std::chrono::milliseconds(20);

std::string SystemError(const std::string& what, const fs::path& path, int error) {
  return what + " " + path.string() + ": " + std::strerror(error);
}

bool WriteWhole(const fs::path& path, std::string_view data, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = SystemError("cannot create", path, errno);
    return false;
  }
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = SystemError("cannot write", path, errno);
      ::close(fd);
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::close(fd) != 0) {
    error = SystemError("cannot write", path, errno);
    return false;
  }
  return true;
}

bool ReadWhole(const fs::path& path, std::string& out, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = SystemError("cannot read", path, errno);
    return false;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = SystemError("cannot read", path, errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

std::u16string LastComponent(const std::u16string& path) {
  std::u16string p = path;
  while (p.size() > 3 && p.back() == u'\\') p.pop_back();
  const auto slash = p.rfind(u'\\');
  return slash == std::u16string::npos || p.size() <= 3 ? p : p.substr(slash + 1);
}

std::u16string Join(const std::u16string& folder, const std::u16string& name) {
  return folder.back() == u'\\' ? folder + name : folder + u"\\" + name;
}

// Where each file node goes on disk. A folder's spelling is its own node's
// (or, for a folder that is no node, the first spelling met), so that every
// path below it shares one folder on disk.
class Layout {
 public:
  explicit Layout(const Machine& m) : m_(m) {}
  std::vector<FileFact> facts;

  struct Place {
    std::string disk;       // relative to the snapshot
    std::u16string spelled;  // the Windows path a load gives back
  };

  bool PlaceOf(const std::u16string& path, Place& place, std::string& error) {
    std::vector<std::u16string> parts;
    for (std::size_t start = 0; start <= path.size();) {
      std::size_t end = path.find(u'\\', start);
      if (end == std::u16string::npos) end = path.size();
      if (end > start) parts.push_back(path.substr(start, end - start));
      start = end + 1;
    }
    if (parts.empty() || parts[0].size() != 2 || parts[0][1] != u':' || !IsAsciiLetter(parts[0][0])) {
      error = "the file \"" + Utf8(path) + "\" lies on no drive letter";
      return false;
    }
    const std::u16string drive = ToUpperAscii(parts[0]) + u"\\";
    place = Known(drive, [&] {
      return Place{DrivePrefix + std::string(1, static_cast<char>(parts[0][0] | 0x20)), drive};
    });
    std::u16string prefix = drive;
    for (std::size_t i = 1; i < parts.size(); ++i) {
      prefix = Join(prefix, parts[i]);
      const Place parent = place;
      place = Known(Machine::Key(prefix), [&] {
        const auto node = m_.files.find(Machine::Key(prefix));
        const std::u16string name = node == m_.files.end() ? parts[i] : LastComponent(node->second.path);
        return Place{parent.disk + "/" + Utf8(name), Join(parent.spelled, name)};
      });
    }
    return true;
  }

 private:
  template <typename Make>
  Place Known(const std::u16string& key, Make make) {
    auto it = known_.find(key);
    if (it != known_.end()) return it->second;
    Place place = make();
    if (!m_.files.count(key)) facts.push_back({place.spelled, std::nullopt, true, 1, {}});
    known_[key] = place;
    return place;
  }
  const Machine& m_;
  std::map<std::u16string, Place> known_;
};

bool LoadFolder(Machine& m, const fs::path& folder, const std::u16string& windowsPath, std::string& error) {
  std::error_code ec;
  FileNode& self = m.files[Machine::Key(windowsPath)];
  self.path = windowsPath;
  self.directory = true;
  self.attributes = win::FILE_ATTRIBUTE_DIRECTORY;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::u16string wide = FromUtf8(name);
    if (Utf8(wide) != name) {
      error = "the name of " + it->path().string() + " is not UTF-8";
      return false;
    }
    const std::u16string path = Join(windowsPath, wide);
    if (m.files.count(Machine::Key(path))) {
      error = "two names differ only in case: " + it->path().string() + " and " + Utf8(m.files[Machine::Key(path)].path);
      return false;
    }
    const fs::file_status status = it->symlink_status(ec);
    if (ec) break;
    if (status.type() == fs::file_type::directory) {
      if (!LoadFolder(m, it->path(), path, error)) return false;
    } else if (status.type() == fs::file_type::regular) {
      std::string data;
      if (!ReadWhole(it->path(), data, error)) return false;
      FileNode& node = m.files[Machine::Key(path)];
      node.path = path;
      node.data.assign(data.begin(), data.end());
    } else {
      error = it->path().string() + " is neither a file nor a folder";
      return false;
    }
  }
  if (ec) {
    error = SystemError("cannot list", folder, ec.value());
    return false;
  }
  return true;
}

bool ApplyFacts(Machine& m, const std::vector<FileFact>& facts, std::string& error) {
  for (const auto& fact : facts) {
    auto it = m.files.find(Machine::Key(fact.path));
    if (it == m.files.end() || (fact.carrier && !it->second.directory)) {
      error = "\"" + Utf8(fact.path) + "\" is no " + (fact.carrier ? "folder" : "file or folder") + " on disk";
      return false;
    }
    if (fact.carrier) {
      m.files.erase(it);
      continue;
    }
    it->second.path = fact.path;
    if (fact.attributes) it->second.attributes = *fact.attributes;
    it->second.links = fact.links;
    it->second.linkTarget = fact.linkTarget;
  }
  return true;
}

// N of a "state.N" name, or 0.
std::uint64_t Generation(const std::string& name) {
  if (name.rfind(SnapshotPrefix, 0) != 0) return 0;
  const std::string digits = name.substr(std::strlen(SnapshotPrefix));
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoull(digits);
}

}  // namespace

std::string SaveSnapshot(const Machine& m, const fs::path& folder) {
  std::error_code ec;
  if (!fs::create_directory(folder, ec)) return ec ? SystemError("cannot create", folder, ec.value()) : folder.string() + " exists already";
  Layout layout(m);
  std::string error;
  for (const auto& [key, node] : m.files) {
    Layout::Place place;
    if (!layout.PlaceOf(node.path, place, error)) return error;
    const fs::path target = folder / place.disk;
    fs::create_directories(node.directory ? target : target.parent_path(), ec);
    if (ec) return SystemError("cannot create", target, ec.value());
    if (!node.directory &&
        !WriteWhole(target, std::string_view(reinterpret_cast<const char*>(node.data.data()), node.data.size()), error))
      return error;
    const DWORD usual = node.directory ? win::FILE_ATTRIBUTE_DIRECTORY : win::FILE_ATTRIBUTE_ARCHIVE;
    if (node.path != place.spelled || node.attributes != usual || node.links != 1 || !node.linkTarget.empty())
      layout.facts.push_back({node.path, node.attributes == usual ? std::nullopt : std::optional(node.attributes), false,
                              node.links, node.linkTarget});
  }
  const std::string registry = RegistryText(m, error);
  if (!error.empty()) return error;
  if (!WriteWhole(folder / RegistryFile, registry, error)) return error;
  if (!WriteWhole(folder / ControlFile, MachineText(m, layout.facts), error)) return error;
  return {};
}

std::string LoadSnapshot(Machine& m, const fs::path& folder) {
  std::error_code ec;
  std::string error;
  bool registrySeen = false, controlSeen = false;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name == RegistryFile || name == ControlFile) {
      (name == RegistryFile ? registrySeen : controlSeen) = true;
      continue;
    }
    const bool drive = name.size() == std::strlen(DrivePrefix) + 1 && name.rfind(DrivePrefix, 0) == 0 &&
                       name.back() >= 'a' && name.back() <= 'z';
    if (!drive || it->symlink_status(ec).type() != fs::file_type::directory) return it->path().string() + " has no place in a saved machine";
    const std::u16string root = std::u16string(1, static_cast<char16_t>(name.back() - 'a' + 'A')) + u":\\";
    if (!LoadFolder(m, it->path(), root, error)) return error;
  }
  if (ec) return SystemError("cannot list", folder, ec.value());
  if (!registrySeen || !controlSeen)
    return folder.string() + " lacks " + (registrySeen ? ControlFile : RegistryFile);
  std::string text;
  std::vector<FileFact> facts;
  if (!ReadWhole(folder / ControlFile, text, error)) return error;
  error = ReadMachineText(text, m, facts);
  if (error.empty() && !ApplyFacts(m, facts, error)) error = "file facts: " + error;
  if (!error.empty()) return (folder / ControlFile).string() + ": " + error;
  text.clear();
  if (!ReadWhole(folder / RegistryFile, text, error)) return error;
  error = ReadRegistryText(text, m);
  if (!error.empty()) return (folder / RegistryFile).string() + ": " + error;
  return {};
}

// ---- The machine directory -------------------------------------------------------------

MachineDirectory::~MachineDirectory() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

std::string MachineDirectory::Lock(Access access, std::uint64_t waitMs) {
  const fs::path path = dir_ / LockFile;
  lockFd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  // A reader may look at a directory it cannot write to.
  if (lockFd_ < 0 && access == Access::Read) lockFd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (lockFd_ < 0) return SystemError("cannot open the lock", path, errno);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  const int mode = (access == Access::Change ? LOCK_EX : LOCK_SH) | LOCK_NB;
  while (::flock(lockFd_, mode) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return SystemError("cannot lock", path, errno);
    if (std::chrono::steady_clock::now() >= deadline)
      return dir_.string() + " is in use by another run; gave up waiting after " + std::to_string(waitMs) + " ms";
    std::this_thread::sleep_for(LockPoll);
  }
  return {};
}

std::string MachineDirectory::Open(const fs::path& dir, Access access, std::uint64_t waitMs) {
  dir_ = dir;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return dir.string() + " is no directory (corvane-sim new " + dir.string() + " makes one)";
  const fs::file_type current = fs::symlink_status(dir / CurrentLink, ec).type();
  if (current != fs::file_type::symlink && current != fs::file_type::regular)
    return dir.string() + " holds no simulated machine (corvane-sim new " + dir.string() + " makes one)";
  return Lock(access, waitMs);
}

fs::path MachineDirectory::CurrentSnapshot() const {
  std::error_code ec;
  const fs::path link = dir_ / CurrentLink;
  if (fs::symlink_status(link, ec).type() == fs::file_type::symlink) {
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? fs::path() : dir_ / target.filename();
  }
  // The form without links (a directory written on Windows): the file holds
  // the snapshot's name, which must be one of this directory's own.
  std::string name, error;
  if (!ReadWhole(link, name, error)) return {};
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  return Generation(name) ? dir_ / name : fs::path();
}

std::string MachineDirectory::Load(Machine& machine) const {
  const fs::path snapshot = CurrentSnapshot();
  std::error_code ec;
  if (snapshot.empty() || !fs::is_directory(snapshot, ec))
    return (dir_ / CurrentLink).string() + " names no snapshot";
  return LoadSnapshot(machine, snapshot);
}

std::string MachineDirectory::Save(const Machine& machine, const std::function<void()>& beforeSwitch) {
  std::error_code ec;
  const fs::path current = CurrentSnapshot();
  const std::string name = SnapshotPrefix + std::to_string(Generation(current.filename().string()) + 1);
  const fs::path partial = dir_ / (name + PartialSuffix);
  fs::remove_all(partial, ec);
  fs::remove_all(dir_ / name, ec);
  std::string error = SaveSnapshot(machine, partial);
  if (error.empty()) {
    fs::rename(partial, dir_ / name, ec);
    if (ec) error = SystemError("cannot rename", partial, ec.value());
  }
  if (!error.empty()) {
    fs::remove_all(partial, ec);
    return error;
  }
  if (beforeSwitch) beforeSwitch();
  const fs::path next = dir_ / NextLink;
  fs::remove(next, ec);
  fs::create_symlink(name, next, ec);
  if (!ec) fs::rename(next, dir_ / CurrentLink, ec);
  if (ec) return SystemError("cannot switch to", dir_ / name, ec.value());
  // What earlier saves or runs that died left behind.
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (entry != name && entry.rfind(SnapshotPrefix, 0) == 0) stale.push_back(it->path());
  }
  for (const auto& path : stale) fs::remove_all(path, ec);
  return {};
}

std::string MachineDirectory::Create(const fs::path& dir, const Machine& machine, std::uint64_t waitMs) {
  dir_ = dir;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec)) return dir.string() + " cannot be made a directory";
  if (std::string error = Lock(Access::Change, waitMs); !error.empty()) return error;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename() != LockFile)
      return dir.string() + " is not empty; a new machine needs a new or empty directory";
  return Save(machine);
}

}  // namespace sim
