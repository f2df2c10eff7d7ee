#include "platform/sim/machine_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <utility>

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

// What a snapshot may hold, the same for a save as for a load, so that what
// one run saves the next one loads, and a directory sent from elsewhere can
// make a run take neither all memory nor all time. The README names them.
constexpr std::uint64_t MaxFileBytes = 16 << 20;     // one file, registry.reg and machine.txt too
constexpr std::uint64_t MaxContentBytes = 64 << 20;  // the files of all drives together
constexpr std::size_t MaxNodes = 5000;               // files and folders of all drives
constexpr std::size_t MaxDepth = 64;                 // names in a path below its drive
constexpr std::size_t MaxLineBytes = 4 << 20;
constexpr std::size_t MaxRegistryLines = 200000;
constexpr std::size_t MaxControlLines = 20000;
constexpr std::size_t MaxCurrentBytes = 64;

// Nothing inside the directory is opened through a link: a link there is
// refused, not followed, even when it appears between a look and the open.
constexpr int NoLink = O_NOFOLLOW | O_CLOEXEC;

std::string Mib(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

std::string SystemError(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

std::string OpenFault(const std::string& shown, int error) {
  if (error == ELOOP) return shown + " is a link";
  if (error == ENOTDIR) return shown + " is no folder";
  return SystemError("cannot open", shown, error);
}

// A descriptor, closed with its owner.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

// A folder's open fails on a link with ELOOP, as a file's does.
Fd OpenFolder(int at, const char* name) {
  Fd fd(::openat(at, name, O_RDONLY | O_DIRECTORY | NoLink));
  struct stat status {};
  if (!fd.ok() && errno == ENOTDIR && ::fstatat(at, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode))
    errno = ELOOP;
  return fd;
}

// Writes a new file `name` in the folder `at`; `shown` names it in messages.
bool WriteWhole(int at, const char* name, const std::string& shown, std::string_view data, std::string& error) {
  const int fd = ::openat(at, name, O_WRONLY | O_CREAT | O_EXCL | NoLink, 0644);
  if (fd < 0) {
    error = SystemError("cannot create", shown, errno);
    return false;
  }
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = SystemError("cannot write", shown, errno);
      ::close(fd);
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::close(fd) != 0) {
    error = SystemError("cannot write", shown, errno);
    return false;
  }
  return true;
}

// Reads the plain file `name` of the folder `at`, of at most `cap` bytes. A
// pipe or device is refused before it is read, as it could block or never end.
bool ReadWhole(int at, const char* name, const std::string& shown, std::uint64_t cap, std::string& out,
               std::string& error) {
  const Fd fd(::openat(at, name, O_RDONLY | O_NONBLOCK | NoLink));
  struct stat status {};
  if (!fd.ok()) {
    error = OpenFault(shown, errno);
    return false;
  }
  if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    error = shown + " is no plain file";
    return false;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = SystemError("cannot read", shown, errno);
      return false;
    }
    if (n == 0) return true;
    out.append(buffer, static_cast<std::size_t>(n));
    if (out.size() > cap) {
      error = shown + " is larger than " + Mib(cap);
      return false;
    }
  }
}

// The lines of a text against their caps: what is past them, or empty.
std::string TextFault(std::string_view text, std::size_t maxLines) {
  std::size_t lines = 0;
  for (std::size_t at = 0; at < text.size(); ++lines) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    if (end - at > MaxLineBytes) return "line " + std::to_string(lines + 1) + " is longer than " + Mib(MaxLineBytes);
    if (lines == maxLines) return "it has more than " + std::to_string(maxLines) + " lines";
    at = end + 1;
  }
  return {};
}

bool ReadText(int at, const char* name, const std::string& shown, std::size_t maxLines, std::string& out,
              std::string& error) {
  if (!ReadWhole(at, name, shown, MaxFileBytes, out, error)) return false;
  error = TextFault(out, maxLines);
  if (!error.empty()) error = shown + ": " + error;
  return error.empty();
}

bool WriteText(int at, const char* name, const std::string& shown, std::string_view text, std::size_t maxLines,
               std::string& error) {
  error = text.size() > MaxFileBytes ? "it is larger than " + Mib(MaxFileBytes) : TextFault(text, maxLines);
  if (!error.empty()) {
    error = shown + ": " + error;
    return false;
  }
  return WriteWhole(at, name, shown, text, error);
}

// Hands each name in a folder but "." and ".." to `visit` until it fails,
// setting `error`. Names are met as listed, never all held at once.
template <typename Visit>
bool ForEachName(int folder, const std::string& shown, std::string& error, Visit visit) {
  DIR* listing = ::fdopendir(::dup(folder));
  if (!listing) {
    error = SystemError("cannot list", shown, errno);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing);
    if (!entry && errno) error = SystemError("cannot list", shown, errno);
    if (!entry) break;
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && !visit(name)) break;
  }
  ::closedir(listing);
  return error.empty();
}

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Why Windows could have no file or folder of this name, or null. A name that
// passes cannot lead out of its folder.
const char* NameFault(std::u16string_view name) {
  if (name == u"." || name == u"..") return "is . or ..";
  if (name.find(u'\\') != name.npos) return "holds a backslash";
  if (name.find(u'/') != name.npos) return "holds a slash";
  if (name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == u':') return "holds a drive letter";
  for (char16_t c : name)
    if (c < 0x20 || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos)
      return "holds a character Windows refuses in names";
  return nullptr;
}

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
    if (parts.size() - 1 > MaxDepth) {
      error = "the file \"" + Utf8(path) + "\" lies deeper than " + std::to_string(MaxDepth) + " names below its drive";
      return false;
    }
    const std::u16string drive = ToUpperAscii(parts[0]) + u"\\";
    place = Known(drive, [&] {
      return Place{DrivePrefix + std::string(1, static_cast<char>(parts[0][0] | 0x20)), drive};
    });
    std::u16string prefix = drive;
    for (std::size_t i = 1; i < parts.size(); ++i) {
      if (const char* fault = NameFault(parts[i])) {
        error = "a name in the path \"" + Utf8(path) + "\" " + fault;
        return false;
      }
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

// Makes a node's place below the snapshot folder `root`, folder by folder,
// never through a link; `shown` names the place in messages.
bool WriteNode(int root, const std::string& disk, const FileNode& node, const std::string& shown, std::string& error) {
  Fd folder(::dup(root));
  for (std::size_t start = 0; start <= disk.size();) {
    const std::size_t end = std::min(disk.find('/', start), disk.size());
    const std::string name = disk.substr(start, end - start);
    start = end + 1;
    if (start > disk.size() && !node.directory)
      return WriteWhole(folder.get(), name.c_str(), shown,
                        std::string_view(reinterpret_cast<const char*>(node.data.data()), node.data.size()), error);
    if (::mkdirat(folder.get(), name.c_str(), 0755) != 0 && errno != EEXIST) {
      error = SystemError("cannot create", shown, errno);
      return false;
    }
    Fd next = OpenFolder(folder.get(), name.c_str());
    if (!next.ok()) {
      error = OpenFault(shown, errno);
      return false;
    }
    folder = std::move(next);
  }
  return true;
}

// Reads the folders of a snapshot's drives into the machine, within the caps.
class DriveReader {
 public:
  explicit DriveReader(Machine& m) : m_(m) {}

  // `shown` names the folder in messages; `depth` is the number of names of
  // its path below the drive.
  bool Folder(int fd, const std::string& shown, const std::u16string& windowsPath, std::size_t depth,
              std::string& error) {
    FileNode* self = Node(windowsPath, error);
    if (!self) return false;
    self->directory = true;
    self->attributes = win::FILE_ATTRIBUTE_DIRECTORY;
    return ForEachName(fd, shown, error, [&](const std::string& name) {
      return Entry(fd, shown, windowsPath, depth, name, error);
    });
  }

 private:
  bool Entry(int fd, const std::string& shown, const std::u16string& windowsPath, std::size_t depth,
             const std::string& name, std::string& error) {
    const std::u16string wide = FromUtf8(name);
    const char* fault = NameFault(wide);
    if (!fault && Utf8(wide) != name) fault = "is not UTF-8";
    if (fault) return Fail("a name in " + shown + " " + fault, error);
    const std::string at = shown + "/" + name;
    const std::u16string path = Join(windowsPath, wide);
    if (const auto known = m_.files.find(Machine::Key(path)); known != m_.files.end())
      return Fail("two names differ only in case: " + at + " and " + Utf8(known->second.path), error);
    if (depth == MaxDepth)
      return Fail(at + " lies deeper than " + std::to_string(MaxDepth) + " names below its drive", error);
    struct stat status {};
    if (::fstatat(fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
      return Fail(SystemError("cannot look at", at, errno), error);
    if (S_ISDIR(status.st_mode)) {
      const Fd sub = OpenFolder(fd, name.c_str());
      return sub.ok() ? Folder(sub.get(), at, path, depth + 1, error) : Fail(OpenFault(at, errno), error);
    }
    // Anything else is not even opened: opening a device may act on it.
    if (!S_ISREG(status.st_mode))
      return Fail(at + (S_ISLNK(status.st_mode) ? " is a link" : " is neither a file nor a folder"), error);
    std::string data;
    if (!ReadWhole(fd, name.c_str(), at, MaxFileBytes, data, error)) return false;
    content_ += data.size();
    if (content_ > MaxContentBytes)
      return Fail("the files of the drives are larger than " + Mib(MaxContentBytes) + " together", error);
    FileNode* node = Node(path, error);
    if (node) node->data.assign(data.begin(), data.end());
    return node != nullptr;
  }

  static bool Fail(const std::string& what, std::string& error) {
    error = what;
    return false;
  }
  FileNode* Node(const std::u16string& path, std::string& error) {
    if (m_.files.size() == MaxNodes)
      return Fail("the drives hold more than " + std::to_string(MaxNodes) + " files and folders", error), nullptr;
    FileNode& node = m_.files[Machine::Key(path)];
    node.path = path;
    return &node;
  }
  Machine& m_;
  std::uint64_t content_ = 0;
};

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
std::uint64_t Generation(std::string_view name) {
  if (name.substr(0, std::strlen(SnapshotPrefix)) != SnapshotPrefix) return 0;
  std::uint64_t n = 0;
  const char* end = name.data() + name.size();
  const auto [stop, fault] = std::from_chars(name.data() + std::strlen(SnapshotPrefix), end, n);
  return fault == std::errc() && stop == end ? n : 0;
}

// A message about a directory from elsewhere shows its control characters as "?".
std::string Printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

std::string LoadInto(Machine& m, const fs::path& folder) {
  const std::string shown = folder.string();
  const Fd fd = OpenFolder(AT_FDCWD, folder.c_str());
  if (!fd.ok()) return OpenFault(shown, errno);
  std::string error;
  bool registrySeen = false, controlSeen = false;
  DriveReader drives(m);
  const bool listed = ForEachName(fd.get(), shown, error, [&](const std::string& name) {
    if (name == RegistryFile || name == ControlFile) {
      (name == RegistryFile ? registrySeen : controlSeen) = true;
      return true;
    }
    const std::string at = shown + "/" + name;
    const bool drive = name.size() == std::strlen(DrivePrefix) + 1 && name.rfind(DrivePrefix, 0) == 0 &&
                       name.back() >= 'a' && name.back() <= 'z';
    const Fd root = drive ? OpenFolder(fd.get(), name.c_str()) : Fd(-1);
    if (!root.ok()) {
      error = !drive || errno == ENOTDIR ? at + " has no place in a saved machine" : OpenFault(at, errno);
      return false;
    }
    const std::u16string windowsPath = {static_cast<char16_t>(name.back() - 'a' + 'A'), u':', u'\\'};
    return drives.Folder(root.get(), at, windowsPath, 0, error);
  });
  if (!listed) return error;
  if (!registrySeen || !controlSeen) return shown + " lacks " + (registrySeen ? ControlFile : RegistryFile);
  std::string text;
  std::vector<FileFact> facts;
  const std::string control = shown + "/" + ControlFile, registry = shown + "/" + RegistryFile;
  if (!ReadText(fd.get(), ControlFile, control, MaxControlLines, text, error)) return error;
  error = ReadMachineText(text, m, facts);
  if (error.empty() && !ApplyFacts(m, facts, error)) error = "file facts: " + error;
  if (!error.empty()) return control + ": " + error;
  text.clear();
  if (!ReadText(fd.get(), RegistryFile, registry, MaxRegistryLines, text, error)) return error;
  error = ReadRegistryText(text, m);
  return error.empty() ? error : registry + ": " + error;
}

}  // namespace

std::string SaveSnapshot(const Machine& m, const fs::path& folder) {
  const std::string shown = folder.string();
  if (::mkdir(folder.c_str(), 0755) != 0)
    return errno == EEXIST ? shown + " exists already" : SystemError("cannot create", shown, errno);
  const Fd root = OpenFolder(AT_FDCWD, folder.c_str());
  if (!root.ok()) return OpenFault(shown, errno);
  // Every place and cap is checked before anything is written.
  Layout layout(m);
  std::string error;
  std::uint64_t content = 0;
  std::vector<std::pair<const FileNode*, Layout::Place>> places;
  for (const auto& [key, node] : m.files) {
    Layout::Place place;
    if (!layout.PlaceOf(node.path, place, error)) return error;
    content += node.data.size();
    if (node.data.size() > MaxFileBytes) return "the file \"" + Utf8(node.path) + "\" is larger than " + Mib(MaxFileBytes);
    if (content > MaxContentBytes) return "the machine's files are larger than " + Mib(MaxContentBytes) + " together";
    places.emplace_back(&node, place);
  }
  if (m.files.size() + std::count_if(layout.facts.begin(), layout.facts.end(), [](const FileFact& f) { return f.carrier; }) >
      MaxNodes)
    return "the machine holds more than " + std::to_string(MaxNodes) + " files and folders";
  for (const auto& [node, place] : places) {
    if (!WriteNode(root.get(), place.disk, *node, shown + "/" + place.disk, error)) return error;
    const DWORD usual = node->directory ? win::FILE_ATTRIBUTE_DIRECTORY : win::FILE_ATTRIBUTE_ARCHIVE;
    if (node->path != place.spelled || node->attributes != usual || node->links != 1 || !node->linkTarget.empty())
      layout.facts.push_back({node->path, node->attributes == usual ? std::nullopt : std::optional(node->attributes),
                              false, node->links, node->linkTarget});
  }
  const std::string registry = RegistryText(m, error);
  if (!error.empty()) return error;
  if (!WriteText(root.get(), RegistryFile, shown + "/" + RegistryFile, registry, MaxRegistryLines, error)) return error;
  if (!WriteText(root.get(), ControlFile, shown + "/" + ControlFile, MachineText(m, layout.facts), MaxControlLines, error))
    return error;
  return {};
}

std::string LoadSnapshot(Machine& m, const fs::path& folder) { return Printable(LoadInto(m, folder)); }

// ---- The machine directory -------------------------------------------------------------

MachineDirectory::~MachineDirectory() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

std::string MachineDirectory::Lock(Access access, std::uint64_t waitMs) {
  const std::string path = (dir_ / LockFile).string();
  lockFd_ = ::open(path.c_str(), O_RDWR | O_CREAT | NoLink, 0644);
  // A reader may look at a directory it cannot write to.
  if (lockFd_ < 0 && access == Access::Read) lockFd_ = ::open(path.c_str(), O_RDONLY | NoLink);
  if (lockFd_ < 0) return OpenFault(path, errno);
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
  // A link, or (a directory written on Windows) a plain file holding the
  // name; either way the name of one of this directory's own snapshots.
  const std::string link = (dir_ / CurrentLink).string();
  char target[MaxCurrentBytes];
  std::string name, error;
  if (const ssize_t n = ::readlink(link.c_str(), target, sizeof target); n >= 0)
    name.assign(target, static_cast<std::size_t>(n));
  else if (!ReadWhole(AT_FDCWD, link.c_str(), link, MaxCurrentBytes, name, error))
    return {};
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  return Generation(name) ? dir_ / name : fs::path();
}

std::string MachineDirectory::Load(Machine& machine) const {
  const fs::path snapshot = CurrentSnapshot();
  struct stat status {};
  if (snapshot.empty() || ::lstat(snapshot.c_str(), &status) != 0)
    return (dir_ / CurrentLink).string() + " names no snapshot of this directory";
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
    if (ec) error = SystemError("cannot rename", partial.string(), ec.value());
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
  if (ec) return SystemError("cannot switch to", (dir_ / name).string(), ec.value());
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
