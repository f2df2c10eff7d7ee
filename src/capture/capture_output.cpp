#include "capture/capture_output.h"

#include <cstdio>

#include "util/utf8.h"

namespace {

constexpr char16_t SnapshotName[] = u"state.1";

std::u16string Upper(std::u16string text) {
  for (auto& c : text)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return text;
}

std::u16string RootName(win::HKEY root) {
  return root == win::HKEY_LOCAL_MACHINE ? u"HKEY_LOCAL_MACHINE" : u"HKEY_CURRENT_USER";
}

std::string RegName(const std::u16string& name) {
  if (name.empty()) return "@";
  std::string out = "\"";
  for (char c : Utf8Of(name)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Every value as hex(N): bytes come back as read, whatever their shape.
std::string RegData(win::DWORD type, const std::vector<win::BYTE>& data) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(type));
  std::string out = buffer;
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", data[i]);
    out += buffer;
  }
  return out;
}

bool MakeFolder(const std::u16string& path) {
  return win::CreateDirectoryW(path.c_str(), nullptr) || win::GetLastError() == win::ERROR_ALREADY_EXISTS;
}

std::string Failed(const char* what, const std::u16string& path) {
  return std::string("cannot ") + what + " " + Utf8Of(path) + " (error " + std::to_string(win::GetLastError()) + ")";
}

// Creates the file anew with `data`; the error, or empty.
std::string WriteFileWhole(const std::u16string& path, const void* data, std::size_t size) {
  win::HANDLE file = win::CreateFileW(path.c_str(), win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == win::INVALID_HANDLE_VALUE) return Failed("create", path);
  win::DWORD written = 0;
  const bool ok = size == 0 || (win::WriteFile(file, data, static_cast<win::DWORD>(size), &written, nullptr) &&
                                written == size);
  std::string error = ok ? std::string() : Failed("write", path);
  if (!win::CloseHandle(file) && error.empty()) error = Failed("write", path);
  return error;
}

// Makes every folder of `path` below `base`.
bool MakeFolders(const std::u16string& base, const std::u16string& relative) {
  for (std::size_t at = relative.find(u'\\'); at != std::u16string::npos; at = relative.find(u'\\', at + 1))
    if (!MakeFolder(base + u"\\" + relative.substr(0, at))) return false;
  return true;
}

// Where a path of drive X: lies in a snapshot ("drive_x\\..."); empty for
// any other path.
std::u16string OnDisk(const std::u16string& path) {
  if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') return {};
  return std::u16string(u"drive_") + static_cast<char16_t>(path[0] | 0x20) + path.substr(2);
}

}  // namespace

std::string Utf8Of(const std::u16string& text) {
  std::string out;
  char bytes[Utf8MaxBytes];
  for (std::size_t pos = 0; pos < text.size();) out.append(bytes, EncodeUtf8(text.data(), text.size(), pos, bytes));
  return out;
}

std::string Quoted(const std::u16string& text) {
  std::string out = "\"";
  for (std::size_t pos = 0; pos < text.size();) {
    const char16_t c = text[pos];
    if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF && !(c < 0xDC00 && pos + 1 < text.size() &&
                                                      text[pos + 1] >= 0xDC00 && text[pos + 1] <= 0xDFFF))) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
      out += buffer;
      ++pos;
      continue;
    }
    if (c == u'\\' || c == u'"') out += '\\';
    char bytes[Utf8MaxBytes];
    out.append(bytes, EncodeUtf8(text.data(), text.size(), pos, bytes));
  }
  return out + "\"";
}

void CaptureOutput::Key(win::HKEY root, const std::u16string& path) {
  Values& key = keys_[RootName(root) + u"\\" + Upper(path)];
  if (key.path.empty()) key.path = RootName(root) + u"\\" + path;
}

void CaptureOutput::Value(win::HKEY root, const std::u16string& path, const std::u16string& name, win::DWORD type,
                          std::vector<win::BYTE> data) {
  Key(root, path);
  keys_[RootName(root) + u"\\" + Upper(path)].values.push_back({name, {type, std::move(data)}});
}

void CaptureOutput::String(win::HKEY root, const std::u16string& path, const std::u16string& name,
                           const std::u16string& text) {
  const auto* bytes = reinterpret_cast<const win::BYTE*>(text.c_str());
  Value(root, path, name, win::REG_SZ, std::vector<win::BYTE>(bytes, bytes + (text.size() + 1) * 2));
}

void CaptureOutput::Dword(win::HKEY root, const std::u16string& path, const std::u16string& name,
                          win::DWORD number) {
  const auto* bytes = reinterpret_cast<const win::BYTE*>(&number);
  Value(root, path, name, win::REG_DWORD, std::vector<win::BYTE>(bytes, bytes + 4));
}

void CaptureOutput::File(const std::u16string& path, std::vector<win::BYTE> data, win::DWORD attributes) {
  for (const auto& [known, file] : files_)
    if (Upper(known) == Upper(path)) return;
  files_.push_back({path, {std::move(data), attributes}});
}

void CaptureOutput::Folder(const std::u16string& path) { folders_.push_back(path); }

void CaptureOutput::Line(const std::string& line) { lines_.push_back(line); }

void CaptureOutput::Missing(const std::string& what) { missing_.push_back(what); }

std::string CaptureOutput::Write(const std::u16string& dir) const {
  if (!MakeFolder(dir)) return Failed("create", dir);
  const std::u16string snapshot = dir + u"\\" + SnapshotName;
  if (!win::CreateDirectoryW(snapshot.c_str(), nullptr)) return Failed("create", snapshot) + "; the capture needs a new or empty folder";
  std::string registry = "Windows Registry Editor Version 5.00\n";
  for (const auto& [upper, key] : keys_) {
    registry += "\n[" + Utf8Of(key.path) + "]\n";
    for (const auto& [name, value] : key.values) registry += RegName(name) + "=" + RegData(value.first, value.second) + "\n";
  }
  std::string machine = "# A machine captured by corvane-capture.\n";
  for (const auto& what : missing_) machine += "# not captured: " + what + "\n";
  for (const auto& line : lines_) machine += line + "\n";
  for (const auto& [path, file] : files_)
    if (file.second != win::FILE_ATTRIBUTE_ARCHIVE) {
      char attributes[16];
      std::snprintf(attributes, sizeof attributes, "0x%x", static_cast<unsigned>(file.second));
      machine += "file path=" + Quoted(path) + " attributes=" + attributes + "\n";
    }
  for (const auto& folder : folders_)
    if (const std::u16string relative = OnDisk(folder); !relative.empty() && !MakeFolders(snapshot, relative + u"\\"))
      return Failed("create the folders of", snapshot + u"\\" + relative);
  for (const auto& [path, file] : files_) {
    const std::u16string relative = OnDisk(path);
    if (relative.empty()) continue;
    if (!MakeFolders(snapshot, relative)) return Failed("create the folders of", snapshot + u"\\" + relative);
    if (std::string error = WriteFileWhole(snapshot + u"\\" + relative, file.first.data(), file.first.size());
        !error.empty())
      return error;
  }
  for (const auto& [name, text] : {std::pair{u"registry.reg", &registry}, std::pair{u"machine.txt", &machine}})
    if (std::string error = WriteFileWhole(snapshot + u"\\" + name, text->data(), text->size()); !error.empty())
      return error;
  // Last, so that a directory cut off half-way names no snapshot.
  const std::string current = Utf8Of(SnapshotName) + "\n";
  return WriteFileWhole(dir + u"\\current", current.data(), current.size());
}
