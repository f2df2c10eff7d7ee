// Temporary folders and whole-tree reads for the machine directory tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace disk {

namespace fs = std::filesystem;

// A folder of its own for one test, removed with it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "corvane-machine-XXXXXX").string();
    if (!mkdtemp(pattern.data())) ADD_FAILURE() << "cannot make a temporary folder";
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

inline std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void Write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Everything below `root`: files with their bytes, folders as "name/",
// links as "name -> target", pipes and the like unread.
inline std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = fs::relative(it->path(), root).string();
    if (it->is_symlink())
      tree[name] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      tree[name + "/"] = "";
    else
      tree[name] = it->is_regular_file() ? Read(it->path()) : "<not a file>";
  }
  return tree;
}

}  // namespace disk
