// What a capture has read, gathered as the parts of a machine directory
// (src/platform/sim/machine_store.h) and written in its form without
// symbolic links: DIR\current is a plain file naming DIR\state.1.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

class CaptureOutput {
 public:
  // A registry key of HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER; its parents
  // need no line of their own.
  void Key(win::HKEY root, const std::u16string& path);
  void Value(win::HKEY root, const std::u16string& path, const std::u16string& name, win::DWORD type,
             std::vector<win::BYTE> data);
  void String(win::HKEY root, const std::u16string& path, const std::u16string& name, const std::u16string& text);
  void Dword(win::HKEY root, const std::u16string& path, const std::u16string& name, win::DWORD number);
  // A file of the machine under its full Windows path.
  void File(const std::u16string& path, std::vector<win::BYTE> data, win::DWORD attributes);
  // A folder of the machine, so that it is there when empty.
  void Folder(const std::u16string& path);
  // A line of machine.txt.
  void Line(const std::string& line);
  // Something that could not be read; it ends up as a comment in machine.txt.
  void Missing(const std::string& what);
  const std::vector<std::string>& missing() const { return missing_; }

  // Writes the directory at `dir` (new, or an existing empty folder); the
  // error, or empty.
  std::string Write(const std::u16string& dir) const;

 private:
  struct Values {
    std::u16string path;
    std::vector<std::pair<std::u16string, std::pair<win::DWORD, std::vector<win::BYTE>>>> values;
  };
  std::map<std::u16string, Values> keys_;  // by root and upper-case path
  std::vector<std::pair<std::u16string, std::pair<std::vector<win::BYTE>, win::DWORD>>> files_;
  std::vector<std::u16string> folders_;
  std::vector<std::string> lines_;
  std::vector<std::string> missing_;
};

std::string Utf8Of(const std::u16string& text);
// A machine.txt field value: quoted, with \\, \" and \uXXXX escapes.
std::string Quoted(const std::u16string& text);
