#include "platform/sim/registry_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

constexpr char Header[] = "Windows Registry Editor Version 5.00";
constexpr std::size_t HexBytesPerLine = 24;
// Windows' own limits: a value's data in the registry's standard format, and
// the depth of a key's path (which also bounds the recursion over keys).
constexpr std::size_t MaxValueBytes = 1 << 20;
constexpr std::size_t MaxKeyDepth = 512;

bool HasLineBreak(std::u16string_view text) { return text.find_first_of(u"\r\n") != std::u16string_view::npos; }

// Whether the text has a surrogate without its partner, which UTF-8 cannot
// carry.
bool HasLoneSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool high = text[i] >= 0xD800 && text[i] < 0xDC00;
    const bool low = text[i] >= 0xDC00 && text[i] < 0xE000;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      ++i;
    else if (high || low)
      return true;
  }
  return false;
}

std::string Quoted(std::u16string_view text) {
  std::string out = "\"";
  for (char c : Utf8(text)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The text of a REG_SZ that .reg can write as a string, or nothing.
std::optional<std::u16string> CleanString(const RegistryValue& value) {
  const auto& data = value.data;
  if (value.type != win::REG_SZ || data.size() < 2 || data.size() % 2) return std::nullopt;
  std::u16string text(data.size() / 2, u'\0');
  std::memcpy(text.data(), data.data(), data.size());
  if (text.back() != 0) return std::nullopt;
  text.pop_back();
  if (text.find(u'\0') != std::u16string::npos || HasLineBreak(text) || HasLoneSurrogate(text)) return std::nullopt;
  return text;
}

std::string ValueData(const RegistryValue& value) {
  if (auto text = CleanString(value)) return Quoted(*text);
  char buffer[32];
  if (value.type == win::REG_DWORD && value.data.size() == 4) {
    DWORD number;
    std::memcpy(&number, value.data.data(), 4);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
    return buffer;
  }
  std::string out;
  if (value.type == win::REG_BINARY)
    out = "hex:";
  else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
    out = buffer;
  }
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", value.data[i]);
    out += buffer;
    if (i + 1 == value.data.size()) break;
    out += ',';
    if ((i + 1) % HexBytesPerLine == 0) out += "\\\n  ";
  }
  return out;
}

bool WriteKey(const RegistryKey& key, const std::u16string& path, std::string& out, std::string& error) {
  if (HasLineBreak(key.name)) {
    error = "the registry key \"" + Utf8(path) + "\" has a line break in its name";
    return false;
  }
  out += "\n[" + Utf8(path) + "]\n";
  for (const auto& [upper, value] : key.values) {
    if (HasLineBreak(value.name)) {
      error = "a value of the registry key \"" + Utf8(path) + "\" has a line break in its name";
      return false;
    }
    if (value.data.size() > MaxValueBytes) {
      error = "a value of the registry key \"" + Utf8(path) + "\" holds more than 1 MiB";
      return false;
    }
    out += (value.name.empty() ? std::string("@") : Quoted(value.name)) + "=" + ValueData(value) + "\n";
  }
  for (const auto& [upper, sub] : key.subkeys)
    if (!WriteKey(*sub, path + u"\\" + sub->name, out, error)) return false;
  return true;
}

// ---- Reading ------------------------------------------------------------------

struct Reader {
  std::string_view text;
  std::size_t at = 0;
  int line = 0;

  bool Next(std::string_view& out) {
    if (at >= text.size()) return false;
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    out = text.substr(at, end - at);
    if (!out.empty() && out.back() == '\r') out.remove_suffix(1);
    at = end + 1;
    ++line;
    return true;
  }
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A "..." string at the start of `s` with \\ and \" escapes; `s` is left
// after it.
bool TakeQuoted(std::string_view& s, std::string& out, std::string& error) {
  if (s.empty() || s.front() != '"') {
    error = "expected a text in double quotes";
    return false;
  }
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '"') {
      s.remove_prefix(i + 1);
      return true;
    }
    if (s[i] == '\\') {
      if (i + 1 == s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) {
        error = "a backslash in a text must come before \\ or \"";
        return false;
      }
      ++i;
    }
    out += s[i];
  }
  error = "a text in double quotes is not closed";
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHexNumber(std::string_view s, std::size_t maxDigits, DWORD& out) {
  if (s.empty() || s.size() > maxDigits) return false;
  out = 0;
  for (char c : s) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    out = out * 16 + static_cast<DWORD>(d);
  }
  return true;
}

bool ParseHexBytes(std::string_view s, std::vector<std::uint8_t>& out, std::string& error) {
  s = Trim(s);
  if (s.empty()) return true;
  for (;;) {
    const std::size_t comma = s.find(',');
    const std::string_view byte = Trim(s.substr(0, comma));
    DWORD value = 0;
    if (byte.size() != 2 || !ParseHexNumber(byte, 2, value)) {
      error = "\"" + std::string(byte) + "\" is not a byte in two hex digits";
      return false;
    }
    out.push_back(static_cast<std::uint8_t>(value));
    if (comma == std::string_view::npos) return true;
    s.remove_prefix(comma + 1);
  }
}

// The data after "name=", continuation lines joined for hex data.
bool ParseData(Reader& reader, std::string_view data, RegistryValue& value, std::string& error) {
  if (data == "-") {
    error = "removing values (=-) is not supported";
    return false;
  }
  if (!data.empty() && data.front() == '"') {
    std::string text;
    if (!TakeQuoted(data, text, error)) return false;
    if (!Trim(data).empty()) {
      error = "unexpected text after the closing quote";
      return false;
    }
    value.type = win::REG_SZ;
    value.data = StringBytes(FromUtf8(text));
    return true;
  }
  if (data.rfind("dword:", 0) == 0) {
    DWORD number = 0;
    if (data.size() != 14 || !ParseHexNumber(data.substr(6), 8, number)) {
      error = "dword: needs exactly eight hex digits";
      return false;
    }
    value.type = win::REG_DWORD;
    value.data.resize(4);
    std::memcpy(value.data.data(), &number, 4);
    return true;
  }
  std::string_view bytes;
  if (data.rfind("hex:", 0) == 0) {
    value.type = win::REG_BINARY;
    bytes = data.substr(4);
  } else if (data.rfind("hex(", 0) == 0 && data.find("):") != std::string_view::npos) {
    const std::size_t close = data.find("):");
    if (!ParseHexNumber(data.substr(4, close - 4), 8, value.type)) {
      error = "hex(N): needs the type N in hex";
      return false;
    }
    bytes = data.substr(close + 2);
  } else {
    error = "a value must be \"text\", dword:xxxxxxxx, hex:... or hex(N):...";
    return false;
  }
  std::string joined(Trim(bytes));
  while (!joined.empty() && joined.back() == '\\') {
    joined.pop_back();
    std::string_view more;
    if (!reader.Next(more)) {
      error = "the hex data ends with \\ but no line follows";
      return false;
    }
    joined += Trim(more);
  }
  return ParseHexBytes(joined, value.data, error);
}

// The root and the key a [path] line names, created as needed.
RegistryKey* KeyOf(std::string_view path, RegistryKey& hklm, RegistryKey& hkcu, std::string& error) {
  const std::u16string wide = FromUtf8(path);
  // Only a carriage return can be inside a line; a save could not write it back.
  if (HasLineBreak(wide)) {
    error = "a key path holds a line break";
    return nullptr;
  }
  const std::size_t slash = wide.find(u'\\');
  const std::u16string root = ToUpperAscii(wide.substr(0, slash));
  const std::u16string rest = slash == std::u16string::npos ? u"" : wide.substr(slash + 1);
  RegistryKey* base = root == u"HKEY_LOCAL_MACHINE" ? &hklm : root == u"HKEY_CURRENT_USER" ? &hkcu : nullptr;
  if (!base) {
    error = "keys must lie below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER";
    return nullptr;
  }
  if (slash != std::u16string::npos &&
      (rest.empty() || rest.front() == u'\\' || rest.back() == u'\\' || rest.find(u"\\\\") != std::u16string::npos)) {
    error = "a key path has an empty part";
    return nullptr;
  }
  if (std::count(rest.begin(), rest.end(), u'\\') >= static_cast<std::ptrdiff_t>(MaxKeyDepth)) {
    error = "a key lies deeper than " + std::to_string(MaxKeyDepth) + " levels";
    return nullptr;
  }
  return &base->Create(rest);
}

}  // namespace

std::string RegistryText(const Machine& machine, std::string& error) {
  std::string out = Header;
  out += "\n";
  if (!WriteKey(machine.hklm, machine.hklm.name, out, error) || !WriteKey(machine.hkcu, machine.hkcu.name, out, error))
    return {};
  return out;
}

std::string ReadRegistryText(std::string_view text, Machine& machine) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.remove_prefix(3);
  RegistryKey hklm{machine.hklm.name};
  RegistryKey hkcu{machine.hkcu.name};
  Reader reader{text};
  RegistryKey* key = nullptr;
  bool headerSeen = false;
  std::string_view line;
  std::string error;
  auto fail = [&](const std::string& what) { return "line " + std::to_string(reader.line) + ": " + what; };
  while (reader.Next(line)) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') continue;
    if (!headerSeen) {
      if (trimmed != Header) return fail(std::string("the first line must read \"") + Header + "\"");
      headerSeen = true;
      continue;
    }
    if (trimmed.front() == '[') {
      if (trimmed.back() != ']') return fail("a key line must end with ]");
      const std::string_view path = trimmed.substr(1, trimmed.size() - 2);
      if (!path.empty() && path.front() == '-') return fail("removing keys ([-...]) is not supported");
      key = KeyOf(path, hklm, hkcu, error);
      if (!key) return fail(error);
      continue;
    }
    if (!key) return fail("a value comes before any [key] line");
    RegistryValue value;
    std::string_view rest = trimmed;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else {
      std::string name;
      if (!TakeQuoted(rest, name, error)) return fail(error);
      value.name = FromUtf8(name);
      if (HasLineBreak(value.name)) return fail("a value name holds a line break");
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != '=') return fail("expected = after the value name");
    if (!ParseData(reader, Trim(rest.substr(1)), value, error)) return fail(error);
    if (value.data.size() > MaxValueBytes) return fail("a value holds more than 1 MiB");
    key->values[ToUpperAscii(value.name)] = std::move(value);
  }
  if (!headerSeen) return fail(std::string("the text is empty; it must start with \"") + Header + "\"");
  machine.hklm.subkeys = std::move(hklm.subkeys);
  machine.hklm.values = std::move(hklm.values);
  machine.hkcu.subkeys = std::move(hkcu.subkeys);
  machine.hkcu.values = std::move(hkcu.values);
  return {};
}

}  // namespace sim
